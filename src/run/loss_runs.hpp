#pragma once
// plattor-lines' losses: the options of a line over frequency, and the runs on a structure or a
// cross-section file.
#include "lines/loss_options.hpp"
#include "section/board_file.hpp"
#include "section/structure_arguments.hpp"

namespace plattor {

// Takes the option argv[k] (and its value, k moved past it) where it is one of the loss
// options; false where it is not. Raises RunError for an option given twice or without a value.
bool takeLossOption(LossOptions& options, int argc, char** argv, int& k);

// The losses of a checked structure (lengths with units) and of a cross-section file: the
// line's quantities and, per frequency, its losses (text at one frequency, CSV over a range, or
// JSON); the Touchstone file and the W-element table where asked.
void runStructureLosses(const StructureInput& input, const LossOptions& options, bool json);
void runFileLosses(const BoardFile& file, const LossOptions& options, bool json);

// The loss options' lines of the usage and of the help.
extern const char* const lossUsage;
extern const char* const lossHelp;

}  // namespace plattor
