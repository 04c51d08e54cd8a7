#pragma once
// Stopping a long solve from outside: a signal handler, or a host such as Python whose user
// pressed Ctrl-C, asks for an interrupt; the solver looks at the points where it may stop (each
// rung, every few rows of a kernel) and raises Interrupted there.
#include "base/error.hpp"

namespace plattor {

// A solve stopped on request; a RunError, so that whoever catches the user's failures sees it.
class Interrupted : public RunError {
public:
    Interrupted() : RunError("interrupted") {}
};

// Asks every solve in the process to stop. Safe in a signal handler.
void requestInterrupt() noexcept;
// Whether an interrupt was asked for (and not cleared since).
bool interruptRequested() noexcept;
// Forgets a request, before the next piece of work that should run to its end.
void clearInterrupt() noexcept;

// A host's own test for an interrupt, called from the thread that solves at most every 20 ms
// while it solves; returning true stops that solve (Python's Ctrl-C reaches the thread that
// called, not the others of a pool). nullptr: none (the default).
using InterruptPoll = bool (*)();
void setInterruptPoll(InterruptPoll poll) noexcept;

// Raises Interrupted where an interrupt was asked for or the host's poll says stop.
void checkInterrupt();

}  // namespace plattor
