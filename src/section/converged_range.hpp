#pragma once
// The proportions the cross-section solver is meant for. Within them it answers with bars of at
// most 10 ppm in a bounded time and memory; far beyond them the difference of mode capacitances
// that a weak coupling is falls below the rounding of the logarithmic kernel, and the mesh would
// have to resolve scales it cannot tell apart.
#include <string>
#include <vector>

namespace plattor {

// Every ratio between two of the lengths that shape a cross-section, and between its lengths and
// the differences of them that the mesh resolves (a film over a trace, a clearance), must lie
// in this range.
inline constexpr double smallestRatio = 1e-6;
inline constexpr double largestRatio = 1e6;

// A length, or a difference of lengths, that shapes a cross-section, with what it is called.
struct NamedLength {
    std::string name;
    double value;
};

// Empty where every ratio between two of the lengths lies from smallestRatio to largestRatio
// (lengths that are 0 or not finite are absent and skipped); else, for the first pair out of
// range, the later one named against the earlier, with its ratio in as many digits as show it
// outside, and the range: "the height is 1e-7 of the trace width; <who> resolves 1e-6 … 1e6".
std::string ratioOutOfRange(const std::vector<NamedLength>& lengths, const std::string& who);

// The ratio in the fewest significant digits (at least three) that show it outside the range,
// e.g. 1.000001e6 for 1000001: "1e6" would seem to lie inside.
std::string outsideRatioText(double ratio);

// ratioOutOfRange for plattor's strip pair (ground-plane width g, 0: no plane; strip width w;
// centre distance c; height h), by "the converged solver". The lengths compared: w, the gap
// between the strips |c| − w and, with a plane, g and |h| (or, at height 0, the gap between the
// plane and a strip beside it). Precondition: lengths the input checks accept.
std::string convergedRangeProblem(double g, double w, double c, double h);

}  // namespace plattor
