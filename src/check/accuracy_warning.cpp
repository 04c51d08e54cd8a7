#include "check/accuracy_warning.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <tuple>

#include "check/closed_forms.hpp"
#include "section/converged_range.hpp"
#include "lines/quantities.hpp"
#include "base/error.hpp"
#include "base/text.hpp"
#include "physics/constants.hpp"
#include "report/report.hpp"
#include "section/pair_sections.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

// Calibrated on 3 358 random inputs (plane width 1e−3…1e4, height ±1e−3…1e3 and 0, gap
// 1e−3…1e3 strip widths, a fifth without a plane) against the converged values: no input more
// than 1 % off escaped these limits, while the example (plane segments 0.12·h) stays below them.
constexpr double planeSegmentPerHeight = 0.2;
constexpr double stripSegmentPerGap = 0.06;
constexpr double stripSegmentPerHeight = 0.08;
// Coplanar strips 1e8 widths apart (offsets of 1e10 segments) are within 0.02 % in every unit
// from 1e-148 to 1e140, 3e10 apart up to 0.7 % off, 1e11 apart 8 %. Within the converged
// solver's range the offsets stay below 3e8 segments, so this screen never sends an input there.
constexpr double lostDigitsOffsets = 1e10;
// Printed values further than this from the reference are reported.
constexpr double tolerance = 0.01;
constexpr double picofarad = 1e12;

// What the printed values are compared with: the values (F/m, strip to ground NaN without a
// plane) and their text for the warning, or why there is none.
struct Reference {
    std::string unavailable;  // empty where the values below can be used
    double stripToStrip = 0.0;
    double stripToGround = 0.0;
    std::string text;  // "converged: strip to strip … (plattor-lines)"
};

Reference closedForm(const PrintedCapacitances& p) {
    Reference r;
    r.stripToStrip = coplanarStripsCapacitance(p.stripWidth, p.centreDistance);
    r.text = "closed form ε0·K(k′)/K(k): strip to strip " + formatted("%.*g", 10, r.stripToStrip * picofarad) + " pF/m";
    return r;
}

// A converged value the warning may quote: finite, positive and larger than its bar.
bool holds(double value, double error) {
    return std::isfinite(value) && value > 0.0 && std::isfinite(error) && error < value;
}

Reference converged(const PrintedCapacitances& p) {
    Reference r;
    r.unavailable = convergedRangeProblem(p.groundWidth, p.stripWidth, p.centreDistance, p.stripHeight);
    if (!r.unavailable.empty()) return r;
    using Q = Quantity;
    ConvergedQuantities c;
    try {
        c = convergedQuantities(stripPairSection(p.groundWidth, p.stripWidth, p.centreDistance, p.stripHeight));
    } catch (const std::bad_alloc&) {
        r.unavailable = "the converged solver ran out of memory";
        return r;
    } catch (const std::exception& e) {
        r.unavailable = std::string("the converged solver failed: ") + e.what();
        return r;
    }
    // The converged values under plattor's ε0, what its printed capacitances should have been.
    const double scale = plattorVacuumPermittivity / vacuumPermittivity;
    const double ss = scale * c.value[Q::stripToStripCapacitance], ssError = scale * c.error[Q::stripToStripCapacitance];
    const double sg = scale * c.value[Q::stripToGroundCapacitance], sgError = scale * c.error[Q::stripToGroundCapacitance];
    for (const auto& [name, value, error] : {std::tuple{"strip to strip", ss, ssError},
                                             std::tuple{"strip to ground", sg, sgError}}) {
        if (!holds(value, error)) {
            r.unavailable = std::string("the converged solver gave ") + name + " " +
                            formatted("%.*g", 3, value * picofarad) + " ± " + formatted("%.*g", 2, error * picofarad) +
                            " pF/m, not a positive value larger than its bar";
            return r;
        }
    }
    r.stripToStrip = ss;
    r.stripToGround = sg;
    r.text = "converged: strip to strip " + valueWithBar(ss, ssError, Unit::capacitance) + ", strip to ground " +
             valueWithBar(sg, sgError, Unit::capacitance) + " (plattor-lines)";
    return r;
}

std::string percentOff(double off) {
    return std::isfinite(off) ? formatted("%.*g", 3, 100 * off) + " %" : std::string("an unknown amount");
}

std::string warning(const PrintedCapacitances& p, const ConductorModel& model) {
    const bool coarse = countsMayBeTooCoarse(p, model);
    const bool digits = digitsMayBeLost(model);
    if (!coarse && !digits) return {};
    const bool plane = p.groundWidth != 0.0;
    const std::string touching = touchingConductors(p.groundWidth, p.stripWidth, p.centreDistance, p.stripHeight);
    if (!touching.empty()) return "warning: " + touching + ", not the finite value printed above";
    std::string cause;
    if (coarse) cause = "come from too few segments for this geometry";
    if (coarse && digits) cause += " and ";
    if (digits)
        cause += "lose digits in the moment-method matrix, whose offsets reach " +
                 ratioText(offsetsInSegmentWidths(model)) + " segment widths,";
    const std::string text = "warning: the capacitances above " + cause;

    const Reference reference = plane ? converged(p) : closedForm(p);
    if (!reference.unavailable.empty())
        return text + " and may be off; no converged value is available (" + reference.unavailable + ")";
    const double offSs = std::fabs(p.stripToStrip - reference.stripToStrip) / reference.stripToStrip;
    const double offSg = plane ? std::fabs(p.stripToGround - reference.stripToGround) / reference.stripToGround : 0.0;
    // A printed NaN fails both comparisons and is reported.
    if (offSs <= tolerance && offSg <= tolerance) return {};
    std::string off = " and are off by " + percentOff(offSs) + " (strip to strip)";
    if (plane) off += " and " + percentOff(offSg) + " (strip to ground)";
    return text + off + "; " + reference.text;
}

}  // namespace

bool countsMayBeTooCoarse(const PrintedCapacitances& p, const ConductorModel& model) {
    const bool plane = p.groundWidth != 0.0;
    const double height = std::fabs(p.stripHeight);
    const double gap = std::fabs(p.centreDistance) - p.stripWidth;
    const double stripSegment = model.segmentWidths[plane ? 1 : 0];
    if (!(p.stripToStrip > 0.0) || !std::isfinite(p.stripToStrip)) return true;
    if (stripSegment > stripSegmentPerGap * gap) return true;
    if (!plane) return false;
    if (!(p.stripToGround > 0.0) || !std::isfinite(p.stripToGround)) return true;
    return model.segmentWidths[0] > planeSegmentPerHeight * height || stripSegment > stripSegmentPerHeight * height;
}

double offsetsInSegmentWidths(const ConductorModel& model) {
    double left = HUGE_VAL, right = -HUGE_VAL, low = HUGE_VAL, high = -HUGE_VAL, narrowest = HUGE_VAL;
    for (std::size_t k = 0; k < model.conductorCount(); ++k) {
        left = std::min(left, model.conductorX[k] - model.conductorWidths[k] / 2);
        right = std::max(right, model.conductorX[k] + model.conductorWidths[k] / 2);
        low = std::min(low, model.conductorY[k]);
        high = std::max(high, model.conductorY[k]);
        narrowest = std::min(narrowest, model.segmentWidths[k]);
    }
    // Each part divided alone: their sum could overflow a double where 1e150 meets 1e-150.
    return (right - left) / narrowest + (high - low) / narrowest;
}

bool digitsMayBeLost(const ConductorModel& model) { return offsetsInSegmentWidths(model) > lostDigitsOffsets; }

std::string accuracyWarning(const PrintedCapacitances& p, const ConductorModel& model) noexcept {
    try {
        return warning(p, model);
    } catch (...) {
        return {};  // out of memory for the text itself: no warning rather than a changed run
    }
}

}  // namespace plattor
