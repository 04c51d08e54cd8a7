#pragma once
// The options of a structure as a user writes them, on the command line or in a batch's cells:
// decimal numbers, lengths bare or each with a unit.
#include <string>
#include <string_view>
#include <vector>

#include "section/structures.hpp"

namespace plattor {

// A length of 0 is 0 in every unit: bare or with a unit, it goes with either kind of length and
// chooses no unit.
struct StructureInput {
    Structure structure;
    // The unit the structure is shown in (a solved length, a picture's axes): the suffix most of
    // the lengths carried, the first of those on a tie; "" for bare numbers, else m, mm, um or mil.
    std::string lengthUnit;
    bool lengthSeen = false;              // a length other than 0, bare or with a unit
    std::vector<std::string> unitsGiven;  // the suffix of each length other than 0 that had one
};

// A value of an option as written: the number, and the metres of its unit (1 for a bare length
// or a number); the value is number·metres.
struct OptionValue {
    double number;
    double metres;
};

// A length as written: a decimal number, bare (metres 1) or followed by one of the units m, mm,
// um, mil, whose suffix goes to `unit` where given. Raises RunError naming the option `name`
// ("--gap") for anything else.
OptionValue readLength(const std::string& name, std::string_view text, std::string* unit = nullptr);

// Reads `option`'s value from its text as setStructureOption does, without setting it; a length
// other than 0, with or without a unit, is recorded in `input` for the check that units are not
// mixed and for its length unit.
// Raises RunError naming the option for a malformed value or lengths with and without a unit mixed.
OptionValue readStructureOption(StructureInput& input, const StructureOption& option, std::string_view text);

// Reads a length from its text as readStructureOption does, the value called `name` in a
// refusal ("--w", "layers[0].thickness").
OptionValue readLength(StructureInput& input, const std::string& name, std::string_view text);

// Sets `option` from its text: a number in the input file's decimal notation, for a length
// bare or followed by one of the units m, mm, um, mil (then in metres).
// Raises RunError naming the option for a malformed value, an option given twice, or lengths
// with and without a unit mixed.
void setStructureOption(StructureInput& input, const StructureOption& option, std::string_view text);

// The metres of a length unit ("mm": 1e−3); 1 for "" (lengths as given) and for "m".
double lengthUnitMetres(const std::string& unit);
// Whether `unit` is one of the length units m, mm, um, mil.
bool isLengthUnit(std::string_view unit);

}  // namespace plattor
