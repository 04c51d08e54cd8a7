#pragma once
// The loss options as a user writes them (plattor-lines' --freq, --sigma, …; the library and the
// Python module write their numbers as the shortest text that reads back), checked here once
// into a request, and the line's files they ask for.
#include <optional>
#include <string>
#include <string_view>

#include "lines/line_losses.hpp"

namespace plattor {

// The loss options as given (each once); `any` where one was.
struct LossOptions {
    std::optional<std::string> freq, dkModel, dkFreq, sigma, roughness, rq, rz, length, touchstone, zRef, rlgc;
    bool any() const;
};

// The member of the option named `name` as on the command line ("--freq"); null for any other.
std::optional<std::string> LossOptions::*lossOption(std::string_view name);

// The request the options make, every value checked: frequencies above 0 (Hz, kHz, MHz, GHz;
// F1,F2,… increasing; FROM:TO:COUNT logarithmic), a conductivity above 0, a roughness with its
// height, a length with a Touchstone file. Raises RunError in one line naming the option.
LossRequest lossRequest(const LossOptions& options);

// Raises RunError where the Touchstone file's name does not end in .s2p for a line of one mode
// (a single trace) or .s4p for two (a pair): told before the solve.
void checkTouchstoneName(const LossOptions& options, std::size_t modes);

// The files the options ask for: the S-parameters of --length of the line at every frequency of
// its table, referred to --z-ref (50 ohm), as a Touchstone file named *.s2p (a single trace) or
// *.s4p (a pair); the W-element table as --rlgc. Reads the table's frequencies and matrices and
// the W-element model alone. Raises RunError naming the option or the file.
void writeLossFiles(const LineLosses& losses, const LossOptions& options);

}  // namespace plattor
