#pragma once
// plattor's capacitances come from fixed segment counts: a plane of any width gets at most 102
// equal segments, a strip at least 50. Where the charge varies on a scale finer than that (a
// strip low over a wide plane, a narrow gap) the printed values are off, even negative. This
// decides, cheaply first, whether they are, and words the warning.
#include <string>

#include "moment/assembly/conductors.hpp"

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

// The moment-method matrix takes each entry as a difference of antiderivatives u·ln|u| at the
// two ends of a source segment, u the offset from the field point: an entry loses about
// log10(|u| / segment width) of its digits. The largest offset in the matrix (the extent of the
// conductors) over the narrowest segment.
double offsetsInSegmentWidths(const ConductorModel& model);

// True where offsetsInSegmentWidths exceeds 1e10: from there on the printed values may lose
// more than a few parts in ten thousand (two strips 1e11 widths apart are 8 % off in some units).
bool digitsMayBeLost(const ConductorModel& model);

// The warning for standard error (without the program's name), or empty. Where a screen fires
// (countsMayBeTooCoarse, digitsMayBeLost) a reference decides: without a plane the closed form,
// with one the converged values, used only where convergedRangeProblem is empty and they are
// finite and positive with a bar below them. A printed value more than 1 % off it, or a finite
// value between conductors that touch, is reported with by how much and the reference in pF/m;
// where no reference can be had, the warning says why. Bounded (0.12 s, 14 MB at most) and never
// throws: a check that cannot be made says nothing, so the run's outcome never depends on it.
std::string accuracyWarning(const PrintedCapacitances& printed, const ConductorModel& model) noexcept;

}  // namespace plattor
