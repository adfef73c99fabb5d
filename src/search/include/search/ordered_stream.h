// RunOrdered for items that arrive while the work goes on: a producer thread
// puts items into a feed of bounded size, a few threads turn them into
// results, and consume(i, result) gets them on the calling thread strictly in
// the order they were put, while the producer is still at work.  The feed and
// the results waiting ahead of the consumer are bounded, so memory does not
// depend on how many items there are.
#pragma once

#include <search/ordered_pool.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace search {

template <class In>
class OrderedFeed {
public:
    // Items the producer may put ahead of the workers before it waits.
    static constexpr std::size_t kCapacity = 4096;

    // Producer thread.  False when the run was stopped: put nothing more.
    bool Put(In item) {
        std::unique_lock lock(m_);
        if (queue_.size() >= kCapacity) {
            ++producerWaiting_;
            space_.wait(lock, [&] { return stop_ || queue_.size() < kCapacity; });
            --producerWaiting_;
        }
        if (stop_) return false;
        queue_.push_back(std::move(item));
        ++put_;
        if (workersWaiting_ > 0) work_.notify_one();
        return true;
    }
    // Producer thread: nothing more comes.
    void Close() {
        {
            std::lock_guard lock(m_);
            closed_ = true;
        }
        work_.notify_all();
        ready_.notify_all();
    }
    bool Stopped() const {
        std::lock_guard lock(m_);
        return stop_;
    }

private:
    template <class T, class I, class Produce, class Consume, class Idle>
    friend void RunOrderedStream(OrderedFeed<I>&, int, Produce, Consume, Idle);

    mutable std::mutex m_;
    std::condition_variable work_;   // items arrived, room in the window, or the end
    std::condition_variable space_;  // the feed has room again
    std::condition_variable ready_;  // the result the consumer waits for arrived
    std::deque<In> queue_;
    std::size_t put_ = 0;     // items put so far
    std::size_t next_ = 0;    // index of the queue's front item
    bool closed_ = false;
    bool stop_ = false;
    std::size_t workersWaiting_ = 0;
    std::size_t producerWaiting_ = 0;
};

// Runs produce(i, item) on `jobs` threads (0: DefaultJobs()) for the items the
// feed receives and hands consume(i, result) the results in order.  Returns
// when the feed is closed and every item consumed, or when consume returned
// false (the feed then refuses further items; running items are dropped).
// idle() is called on the calling thread when the consumer has waited a
// while for the next result (a slow walk): the moment to flush what it wrote.
template <class T, class In, class Produce, class Consume, class Idle>
void RunOrderedStream(OrderedFeed<In>& feed, int jobs, Produce produce, Consume consume, Idle idle) {
    if (jobs <= 0) jobs = DefaultJobs();
    const std::size_t window = std::max<std::size_t>(256, static_cast<std::size_t>(jobs) * 64);
    std::vector<std::optional<T>> slots(window);
    std::size_t consumed = 0;
    bool consumerWaiting = false;
    constexpr auto kPromptly = std::chrono::milliseconds(2);
    constexpr auto kIdleAfter = std::chrono::milliseconds(20);
    constexpr std::size_t kBatch = 16;

    auto worker = [&] {
        std::vector<In> items;
        for (;;) {
            std::size_t first = 0;
            items.clear();
            {
                std::unique_lock lock(feed.m_);
                ++feed.workersWaiting_;
                feed.work_.wait(lock, [&] {
                    return feed.stop_ || (feed.closed_ && feed.queue_.empty()) ||
                           (!feed.queue_.empty() && feed.next_ < consumed + window);
                });
                --feed.workersWaiting_;
                if (feed.stop_ || feed.queue_.empty()) return;
                // Small batches while the feed is short, so that every job
                // has work as soon as there is some.
                const std::size_t share =
                    std::clamp<std::size_t>(feed.queue_.size() / (static_cast<std::size_t>(jobs) * 2), 1, kBatch);
                const std::size_t take = std::min(share, consumed + window - feed.next_);
                first = feed.next_;
                for (std::size_t k = 0; k < take; ++k) {
                    items.push_back(std::move(feed.queue_.front()));
                    feed.queue_.pop_front();
                }
                feed.next_ += take;
                if (feed.producerWaiting_ > 0) feed.space_.notify_one();
            }
            for (std::size_t k = 0; k < items.size(); ++k) {
                const std::size_t i = first + k;
                T value = produce(i, items[k]);
                const bool late = k + 1 == items.size();
                bool wake = false;
                {
                    std::lock_guard lock(feed.m_);
                    if (feed.stop_) return;
                    slots[i % window].emplace(std::move(value));
                    wake = late && consumerWaiting && consumed >= first && consumed <= i;
                }
                if (wake) feed.ready_.notify_one();
            }
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(jobs));
    for (int t = 0; t < jobs; ++t) threads.emplace_back(worker);

    for (;;) {
        T value;
        {
            std::unique_lock lock(feed.m_);
            auto& slot = slots[consumed % window];
            if (!slot.has_value()) {
                consumerWaiting = true;
                const auto since = std::chrono::steady_clock::now();
                bool told = false;
                while (!slot.has_value() && !(feed.closed_ && consumed >= feed.put_)) {
                    feed.ready_.wait_for(lock, kPromptly);
                    if (!told && std::chrono::steady_clock::now() - since >= kIdleAfter) {
                        told = true;
                        lock.unlock();
                        idle();
                        lock.lock();
                    }
                }
                consumerWaiting = false;
                if (!slot.has_value()) break;  // all consumed
            }
            value = std::move(*slot);
            slot.reset();
        }
        const bool go_on = consume(consumed, std::move(value));
        bool wake = false;
        {
            std::lock_guard lock(feed.m_);
            // Workers wait for room only when the window was full.
            wake = feed.workersWaiting_ > 0 && !feed.queue_.empty() && feed.next_ >= consumed + window;
            ++consumed;
            if (!go_on) feed.stop_ = true;
        }
        if (!go_on) break;
        if (wake) feed.work_.notify_all();
    }
    {
        std::lock_guard lock(feed.m_);
        feed.stop_ = true;  // the feed takes nothing more once its consumer is gone
    }
    feed.work_.notify_all();
    feed.space_.notify_all();
    for (auto& t : threads) t.join();
}

}  // namespace search
