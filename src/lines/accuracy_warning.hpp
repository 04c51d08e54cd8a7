#pragma once
// plattor's capacitances come from fixed segment counts: a plane of any width gets at most 102
// equal segments, a strip at least 50. Where the charge varies on a scale finer than that (a
// strip low over a wide plane, a narrow gap) the printed values are off, even negative. This
// decides, cheaply first, whether they are, and words the warning.
#include <string>

#include "assembly/conductors.hpp"

namespace plattor {

// The input lengths in one unit (groundWidth 0: no plane) and the capacitances printed at the
// fixed counts, F/m (stripToGround NaN without a plane).
struct PrintedCapacitances {
    double groundWidth;
    double stripWidth;
    double centreDistance;
    double stripHeight;
    double stripToStrip;
    double stripToGround;
};

// The cheap screen, true when the counts may leave a printed value more than 1 % off: a plane
// segment wider than 0.2·|h|, a strip segment wider than 0.06 of the gap between the strips or
// (over a plane) than 0.08·|h|, or a printed value that is not a positive finite number.
bool countsMayBeTooCoarse(const PrintedCapacitances& printed, const ConductorModel& model);

// The warning for standard error (without the program's name), or empty: where the screen
// fires, the converged values decide; a printed value more than 1 % off them, or a finite value
// between conductors that touch, is reported with by how much and the converged values in pF/m.
std::string accuracyWarning(const PrintedCapacitances& printed, const ConductorModel& model);

}  // namespace plattor
