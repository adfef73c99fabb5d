#include "routes/qpdfbudget.h"

#include <malloc.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace brastel {

namespace {
struct State {
    std::mutex mutex;
    std::condition_variable freed;
    std::size_t large = 0;
    std::size_t peak = 0;
};
State& Shared() {
    static State s;
    return s;
}
}  // namespace

QpdfBudget::QpdfBudget(std::int64_t fileBytes) : large_(fileBytes > kFreeBytes) {
    if (!large_) return;
    State& s = Shared();
    std::unique_lock lock(s.mutex);
    s.freed.wait(lock, [&] { return s.large == 0; });
    ++s.large;
    s.peak = std::max(s.peak, s.large);
}

QpdfBudget::~QpdfBudget() {
    if (!large_) return;
    // What libqpdf freed stays with the allocator's arena of this thread,
    // and every job's thread would keep its own: given back before the
    // next large count starts.
    malloc_trim(0);
    State& s = Shared();
    {
        std::lock_guard lock(s.mutex);
        --s.large;
    }
    s.freed.notify_one();
}

std::size_t QpdfBudget::PeakLarge() {
    State& s = Shared();
    std::lock_guard lock(s.mutex);
    return s.peak;
}

}  // namespace brastel
