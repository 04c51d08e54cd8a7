#include "run/signals.hpp"

#include <signal.h>

#include <atomic>

#include "solver/interrupt.hpp"

namespace plattor {

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void onStopSignal(int signal) {
    received.store(signal, std::memory_order_relaxed);
    requestInterrupt();
}

}  // namespace

void stopOnSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
}

int stopSignal() noexcept { return received.load(std::memory_order_relaxed); }

void endByStopSignal() {
    const int signal = stopSignal();
    if (signal == 0) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
}

}  // namespace plattor
