#pragma once
// The options of a structure as a user writes them, on the command line or in a batch's cells:
// decimal numbers, lengths bare or each with a unit.
#include <string>
#include <string_view>

#include "section/structures.hpp"

namespace plattor {

struct StructureInput {
    Structure structure;
    std::string lengthUnit;  // the suffix the lengths carried: "" for bare numbers, else m, mm, um or mil
    bool lengthSeen = false;
};

// Sets `option` from its text: a number in the input file's decimal notation, for a length
// bare or followed by one of the units m, mm, um, mil (then in metres).
// Raises RunError naming the option for a malformed value, an option given twice, or lengths
// with and without a unit mixed.
void setStructureOption(StructureInput& input, const StructureOption& option, std::string_view text);

}  // namespace plattor
