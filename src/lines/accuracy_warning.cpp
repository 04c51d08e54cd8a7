#include "lines/accuracy_warning.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lines/quantities.hpp"
#include "matrix/error.hpp"
#include "report/report.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

// Calibrated on 3 358 random inputs (plane width 1e−3…1e4, height ±1e−3…1e3 and 0, gap
// 1e−3…1e3 strip widths, a fifth without a plane) against the converged values: no input more
// than 1 % off escaped these limits, while the example (plane segments 0.12·h) stays below them.
constexpr double planeSegmentPerHeight = 0.2;
constexpr double stripSegmentPerGap = 0.06;
constexpr double stripSegmentPerHeight = 0.08;
// Printed values further than this from the converged ones are reported.
constexpr double tolerance = 0.01;

std::string printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
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

std::string accuracyWarning(const PrintedCapacitances& p, const ConductorModel& model) {
    if (!countsMayBeTooCoarse(p, model)) return {};
    const std::string touching = touchingConductors(p.groundWidth, p.stripWidth, p.centreDistance, p.stripHeight);
    if (!touching.empty()) return "warning: " + touching + ", not the finite value printed above";
    using Q = Quantity;
    const ConvergedQuantities c =
        convergedQuantities(stripPairSection(p.groundWidth, p.stripWidth, p.centreDistance, p.stripHeight));
    const bool plane = p.groundWidth != 0.0;
    const double ss = c.value[Q::stripToStripCapacitance], sg = c.value[Q::stripToGroundCapacitance];
    const double offSs = std::fabs(p.stripToStrip - ss) / std::fabs(ss);
    const double offSg = plane ? std::fabs(p.stripToGround - sg) / std::fabs(sg) : 0.0;
    // A NaN printed value compares false: the negated test reports it.
    if (!(offSs > tolerance || offSg > tolerance)) return {};

    std::string text = "warning: the capacitances above come from too few segments for this geometry and are off by " +
                       printed("%.3g", 100 * offSs) + " % (strip to strip)";
    if (plane) text += " and " + printed("%.3g", 100 * offSg) + " % (strip to ground)";
    text += "; converged: strip to strip " +
            valueWithBar(ss, c.error[Q::stripToStripCapacitance], Unit::capacitance);
    if (plane) text += ", strip to ground " + valueWithBar(sg, c.error[Q::stripToGroundCapacitance], Unit::capacitance);
    return text + " (plattor-lines)";
}

}  // namespace plattor
