#pragma once
// The inverse question of a line calculator: the length of a structure that gives a quantity
// its target value ("which width gives 50 ohm on this stack-up?").
#include <string>

#include <functional>
#include <string>

#include "lines/quantities.hpp"
#include "section/structures.hpp"

namespace plattor {

// The interval a length option may take with every other option of `s` held: within the
// resolved ratios of the other lengths (1e−6 … 1e6 of the trace width, of every length for
// the width itself) and inside the limits the others set: a stripline's trace below its
// upper plane, a cover no thinner than the traces, a top no wider than the bottom. NaN ends
// where an option the limits depend on is absent.
struct DimensionRange {
    double lo;
    double hi;
};
DimensionRange dimensionRange(const Structure& s, const StructureOption& dimension);

// The solved length (in the unit of the structure's lengths), its uncertainty, the structure
// with it, and every quantity there with its bar.
struct SolvedDimension {
    double value;
    double error;
    Structure structure;
    ConvergedQuantities quantities;
};

// The length `dimension` of `s` at which `quantity` (in SI units: ohm for an impedance) equals
// `target`; `s` need not give that length (where it does, the search starts there). A sign
// change is bracketed along the secant of ln(length) on the cheapest rung of the ladder, closed
// in by Brent's method, and finished on the whole ladder by steps along that rung's slope until
// the quantity is within a tenth of its bar of the target. The uncertainty is what the
// quantity's bar and the miss left make of the length through the local slope.
// With `tied`, that length moves with the solved one, equal to it throughout (a pair whose gap is
// its traces' width); the uncertainty is then along that joint change.
// Raises RunError naming the culprit for what checkStructure refuses, a quantity the structure
// does not report, an option that is no length, and a target outside the values the length
// reaches over its range ("cannot reach …: reachable range … to … ohm").
SolvedDimension solveDimension(const Structure& s, const StructureOption& dimension, Quantity quantity, double target,
                               const StructureOption* tied = nullptr);

// A length to solve for, of any cross-section: who refuses and the length's name in a refusal
// ("microstrip", "--w"), the range it may take and where the search starts, and the checked
// cross-section at a value of it (a RunError from it ends the search).
struct LengthSearch {
    std::string who;
    std::string name;
    double lo, hi, start;
    std::function<CrossSection(double)> sectionAt;
};

// The length, its uncertainty and every quantity there, as solveDimension finds them; the
// quantity one of a line's (the cross-section one trace or a pair of mirror images).
struct SolvedLength {
    double value;
    double error;
    ConvergedQuantities quantities;
};
SolvedLength solveLength(const LengthSearch& search, Quantity quantity, double target);

// The interval around `start` (> 0) where `check` raises no RunError, out to 1e−6 and 1e6 of it
// (its ends found by bisection in ln(value), pulled inside by 1e−9 of themselves); an interval of
// acceptance containing start is assumed.
DimensionRange acceptedRange(double start, const std::function<void(double)>& check);

// The quantity a --target names ("differentialImpedance=100"): one of the impedances, its value
// in ohm. Raises RunError quoting the text otherwise.
void parseTarget(const std::string& text, Quantity& quantity, double& target);

}  // namespace plattor
