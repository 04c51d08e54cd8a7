#pragma once
// The proportions the cross-section solver is meant for with plattor's strip pair. Within them
// it answers with bars of at most 10 ppm in a bounded time; far beyond them the difference of
// mode capacitances that a weak coupling is falls below the rounding of the logarithmic kernel.
#include <string>

namespace plattor {

// Every ratio between two of the lengths that shape the pair must lie in this range.
inline constexpr double convergedRatioMin = 1e-6;
inline constexpr double convergedRatioMax = 1e6;

// Empty where every ratio between the lengths of the pair (ground-plane width g, 0: no plane;
// strip width w; centre distance c; height h) lies from convergedRatioMin to convergedRatioMax;
// else one line naming the first ratio out of range, those to the strip width first, e.g. "the height is 1e-16 of the strip width;
// the converged solver resolves 1e-6 … 1e6". The lengths compared: w, the gap between the
// strips |c| − w and, with a plane, g and |h| (or, at height 0, the gap between the plane and a
// strip beside it). Precondition: lengths the input checks accept.
std::string convergedRangeProblem(double g, double w, double c, double h);

}  // namespace plattor
