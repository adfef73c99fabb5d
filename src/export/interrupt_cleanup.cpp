#include "export/interrupt_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>

namespace exporting {
namespace {

// The handler may run at any moment on any thread, so the registry is fixed
// memory read without locks: a slot's path is complete before its state says
// so, and cleared only after its state says it is free.
constexpr int kSlots = 8;
enum SlotState : int { kFree = 0, kWriting = 1, kReady = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
Slot g_slots[kSlots];

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

void OnSignal(int sig) {
    const int saved = errno;
    for (Slot& s : g_slots)
        if (s.state.load(std::memory_order_acquire) == kReady) ::unlink(s.path);
    // Take the signal's former course: the default action ends the process
    // once this handler returns (the signal is blocked until then).
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] == sig) ::sigaction(sig, &g_previous[i], nullptr);
    ::raise(sig);
    errno = saved;
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int i = 0; i < 3; ++i) {
            ::sigaction(kSignals[i], nullptr, &g_previous[i]);
            if (g_previous[i].sa_handler == SIG_IGN) continue;
            struct sigaction sa {};
            sa.sa_handler = OnSignal;
            sigemptyset(&sa.sa_mask);
            for (int s : kSignals) sigaddset(&sa.sa_mask, s);  // one cleanup at a time
            sa.sa_flags = SA_RESTART;
            ::sigaction(kSignals[i], &sa, nullptr);
        }
    });
}

int InterruptibleTemporary::Create(std::string& pattern) {
    Release();
    if (pattern.size() < PATH_MAX) {
        for (int i = 0; i < kSlots; ++i) {
            int expected = kFree;
            if (!g_slots[i].state.compare_exchange_strong(expected, kWriting, std::memory_order_acq_rel)) continue;
            std::memcpy(g_slots[i].path, pattern.c_str(), pattern.size() + 1);
            g_slots[i].state.store(kReady, std::memory_order_release);
            slot_ = i;
            // mkstemp writes each name it tries into the slot before creating
            // it; a signal meanwhile removes at most a name not yet created.
            const int fd = ::mkstemp(g_slots[i].path);
            const int e = errno;
            pattern = g_slots[i].path;
            if (fd < 0) Release();
            errno = e;
            return fd;
        }
    }
    return ::mkstemp(pattern.data());
}

void InterruptibleTemporary::Release() {
    if (slot_ >= 0) g_slots[slot_].state.store(kFree, std::memory_order_release);
    slot_ = -1;
}

InterruptibleTemporary::~InterruptibleTemporary() { Release(); }

}  // namespace exporting
