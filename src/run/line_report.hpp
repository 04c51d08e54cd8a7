#pragma once
// The report of plattor-lines: one quantity per line as text, or one JSON object.
#include <string>
#include <vector>

#include "lines/line_parameters.hpp"

namespace plattor {

// One line per quantity that applies: a name padded to a fixed column, the value, "± " and
// the error, the unit (pF/m, ohm; nothing for the coupling coefficient). The capacitances at
// N are printed exactly as plattor prints them (left out where plattor cannot solve); every other value to the decimal place of the
// second significant digit of its error, and the error to the same place.
std::vector<std::string> lineReportText(const LineParameters& p);

// The same quantities as one JSON object, values and errors in SI units (F/m, ohm) with 17
// significant digits, plattor's segment counts N and the panels and unknowns of each level.
std::string lineReportJson(const LineParameters& p);

}  // namespace plattor
