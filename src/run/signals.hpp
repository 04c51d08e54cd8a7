#pragma once
// SIGINT and SIGTERM turned into a request to stop: the solver stops at its next check, a batch
// after its last complete row, a picture's gnuplot is killed and its scratch removed; main then
// says so and ends by the same signal.
namespace plattor {

// Installs the handlers (without SA_RESTART, so that a blocking read returns EINTR).
void stopOnSignals();

// The signal that asked to stop, or 0.
int stopSignal() noexcept;

// Ends the process by the signal that asked to stop, as if its default action had been left in
// place (the parent sees the signal); returns only where none did.
void endByStopSignal();

}  // namespace plattor
