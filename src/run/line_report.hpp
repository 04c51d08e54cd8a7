#pragma once
// The report of plattor-lines: one quantity per line as text, or one JSON object.
#include <string>
#include <vector>

#include "lines/line_parameters.hpp"
#include "lines/substrate.hpp"

namespace plattor {

// One line per quantity that applies: a name padded to a fixed column, the value, "± " and
// the error, the unit (pF/m, ohm; nothing for the coupling coefficient). The capacitances at
// N are printed exactly as plattor prints them (left out where plattor cannot solve); every other value to the decimal place of the
// second significant digit of its error, and the error to the same place.
std::vector<std::string> lineReportText(const LineParameters& p);

// The same quantities as one JSON object, values and errors in SI units (F/m, ohm) as the
// shortest text that reads back to the same double, plattor's segment counts N and the panels
// and unknowns of each level.
std::string lineReportJson(const LineParameters& p);

// The report of a pair on a substrate, in the same form: with the substrate and in air, the
// Maxwell matrix and partial capacitances, per mode the capacitances, ε_eff and impedance, and
// the differential and common-mode impedances and the coupling coefficient.
std::vector<std::string> substrateReportText(const SubstrateParameters& p);

// The same as one JSON object; `air` supplies plattor's N and the free-space ladder.
std::string substrateReportJson(const SubstrateParameters& p, const LineParameters& air);

}  // namespace plattor
