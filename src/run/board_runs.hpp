#pragma once
// plattor-lines on a cross-section file, and the file a structure is the short form of.
#include <optional>
#include <string>

#include "section/board_file.hpp"
#include "section/structure_arguments.hpp"

namespace plattor {

// The cross-section file FILE read whole ("-": standard input) and checked; RunError naming it
// where it cannot be read, is larger than a cross-section file can be, or is refused.
BoardFile readBoardFile(const std::string& fileName);

// The file's board solved up the ladder and reported: a single trace's or a pair's quantities as
// a structure's, N signal conductors' matrices, modes and crosstalk; text, or one JSON object
// with the board echoed as "crossSection". With `picture` its cross-section is drawn there with
// the field of `excite` ("p=1,n=-1": conductors by name at volts from -1 to 1, every other at
// 0 V; empty: a marked pair's odd mode, else the first signal conductor at 1 V).
void runBoardFile(const BoardFile& file, bool json, const std::optional<std::string>& picture,
                  const std::string& excite);

// STRUCTURE … --describe: the cross-section file of the checked structure, lengths in its unit.
void describeStructure(const StructureInput& input);

}  // namespace plattor
