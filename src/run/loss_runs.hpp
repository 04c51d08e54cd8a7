#pragma once
// plattor-lines' losses: the options of a line over frequency, and the runs on a structure or a
// cross-section file.
#include <optional>
#include <string>
#include <vector>

#include "lines/line_losses.hpp"
#include "section/board_file.hpp"
#include "section/structure_arguments.hpp"

namespace plattor {

// The loss options as given (each once); `any` where one was.
struct LossOptions {
    std::optional<std::string> freq, dkModel, dkFreq, sigma, roughness, rq, rz, length, touchstone, zRef, rlgc;
    bool any() const;
};

// Takes the option argv[k] (and its value, k moved past it) where it is one of the loss
// options; false where it is not. Raises RunError for an option given twice or without a value.
bool takeLossOption(LossOptions& options, int argc, char** argv, int& k);

// The request the options make, every value checked: frequencies above 0 (Hz, kHz, MHz, GHz;
// FROM:TO:COUNT logarithmic), a conductivity above 0, a roughness with its height, a length with
// a Touchstone file. Raises RunError in one line naming the option.
LossRequest lossRequest(const LossOptions& options);

// The losses of a checked structure (lengths with units) and of a cross-section file: the
// line's quantities and, per frequency, its losses (text at one frequency, CSV over a range, or
// JSON); the Touchstone file and the W-element table where asked.
void runStructureLosses(const StructureInput& input, const LossOptions& options, bool json);
void runFileLosses(const BoardFile& file, const LossOptions& options, bool json);

// The loss options' lines of the usage and of the help.
extern const char* const lossUsage;
extern const char* const lossHelp;

}  // namespace plattor
