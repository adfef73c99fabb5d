// Runs produce(i) for i in [0, n) on a few threads and hands the results to
// consume(i, result) on the calling thread, strictly in index order.  At most
// `window` results wait ahead of the consumer, so memory stays bounded.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace search {

// Counting waits on file reads as much as on the processor (more so on a
// network share), so two counts per core keep the cores busy.
inline int DefaultJobs() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 4 : static_cast<int>(std::min(2 * n, 16u));
}

// consume returns false to stop: no further items are started, those running
// are finished and dropped.
template <class T, class Produce, class Consume>
void RunOrdered(std::size_t n, int jobs, Produce produce, Consume consume) {
    if (n == 0) return;
    if (jobs <= 0) jobs = DefaultJobs();
    if (jobs == 1 || n == 1) {
        for (std::size_t i = 0; i < n; ++i)
            if (!consume(i, produce(i))) return;
        return;
    }
    // Room for every job's batch several times over: with less, workers that
    // run ahead of a slow batch sleep until the consumer catches up.
    const std::size_t window = std::max<std::size_t>(256, static_cast<std::size_t>(jobs) * 64);
    std::vector<std::optional<T>> slots(window);
    std::mutex m;
    std::condition_variable ready;   // the result the consumer waits for arrived
    std::condition_variable room;    // the consumer moved on
    std::size_t next = 0;            // next index to produce
    std::size_t consumed = 0;        // next index to consume
    bool stop = false;
    bool consumerWaiting = false;
    std::size_t workersWaiting = 0;
    // A small file is counted in microseconds, less than a thread's wake-up
    // costs: workers claim a few items at a time and wake a thread only when
    // it waits for them.  Batches shrink towards the end so that every job
    // has work until the last item.
    constexpr auto kPromptly = std::chrono::milliseconds(2);
    const auto batch = [&] {
        return std::clamp<std::size_t>((n - next) / (static_cast<std::size_t>(jobs) * 8), 1, 16);
    };

    auto worker = [&] {
        for (;;) {
            std::size_t first, last;
            {
                std::unique_lock lock(m);
                ++workersWaiting;
                room.wait(lock, [&] { return stop || next >= n || next < consumed + window; });
                --workersWaiting;
                if (stop || next >= n) return;
                first = next;
                last = std::min({n, next + batch(), consumed + window});
                next = last;
            }
            for (std::size_t i = first; i < last; ++i) {
                T value = produce(i);
                // A consumer waiting for a result of this batch is woken once,
                // when the batch is done; it looks by itself every few
                // milliseconds, so a slow item after its result delays nothing.
                const bool late = i + 1 == last;
                bool wake = false;
                {
                    std::lock_guard lock(m);
                    if (stop) return;
                    slots[i % window].emplace(std::move(value));
                    wake = late && consumerWaiting && consumed >= first && consumed <= i;
                }
                if (wake) ready.notify_one();
            }
        }
    };
    std::vector<std::thread> threads;
    const int count = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(jobs), n));
    threads.reserve(count);
    for (int t = 0; t < count; ++t) threads.emplace_back(worker);

    while (consumed < n) {
        T value;
        {
            std::unique_lock lock(m);
            auto& slot = slots[consumed % window];
            if (!slot.has_value()) {
                consumerWaiting = true;
                while (!slot.has_value()) ready.wait_for(lock, kPromptly);
                consumerWaiting = false;
            }
            value = std::move(*slot);
            slot.reset();
        }
        const bool go_on = consume(consumed, std::move(value));
        bool wake = false;
        {
            std::lock_guard lock(m);
            ++consumed;
            if (!go_on) stop = true;
            wake = workersWaiting > 0;
        }
        if (wake) room.notify_all();
        if (!go_on) break;
    }
    for (auto& t : threads) t.join();
}

}  // namespace search
