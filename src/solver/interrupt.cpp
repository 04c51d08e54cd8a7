#include "solver/interrupt.hpp"

#include <atomic>
#include <chrono>

namespace plattor {

namespace {

std::atomic<bool> requested{false};
std::atomic<InterruptPoll> hostPoll{nullptr};
// The poll may take a host's lock (Python's GIL): asked at most every pollInterval from each
// thread, a few times within the 0.1 s a user waits for Ctrl-C.
constexpr auto pollInterval = std::chrono::milliseconds(20);
thread_local std::chrono::steady_clock::time_point lastPoll{};

static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

}  // namespace

void requestInterrupt() noexcept { requested.store(true, std::memory_order_relaxed); }

bool interruptRequested() noexcept { return requested.load(std::memory_order_relaxed); }

void clearInterrupt() noexcept { requested.store(false, std::memory_order_relaxed); }

void setInterruptPoll(InterruptPoll poll) noexcept { hostPoll.store(poll); }

void checkInterrupt() {
    if (const InterruptPoll poll = hostPoll.load(std::memory_order_relaxed)) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPoll >= pollInterval) {
            lastPoll = now;
            if (poll()) throw Interrupted();
        }
    }
    if (interruptRequested()) throw Interrupted();
}

}  // namespace plattor
