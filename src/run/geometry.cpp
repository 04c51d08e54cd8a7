#include "run/geometry.hpp"

#include <cmath>

namespace plattor {

std::vector<std::size_t> segmentCountsFor(const std::vector<double>& conductorWidths, double nominalSegments) {
    double widthTotal = 0.0;
    for (const double w : conductorWidths) widthTotal += w;
    std::vector<std::size_t> counts;
    for (const double w : conductorWidths) {
        const double count = std::round((w / widthTotal) * nominalSegments) + 2.0;
        counts.push_back(static_cast<std::size_t>(count < minimumSegments ? minimumSegments : count));
    }
    return counts;
}

Geometry setUpGeometry(const InputValues& input) {
    const double g = input.groundWidth;
    const double w = input.stripWidth;
    const double c = input.centreDistance;
    const double h = input.stripHeight;

    Geometry geometry;
    geometry.groundPlaneCase = g != 0.0;  // exact, no tolerance: only a written zero (or −0) is no plane
    geometry.fieldPointsX = 40;
    ConductorModel& model = geometry.conductors;
    double nominalSegments;
    if (geometry.groundPlaneCase) {
        model.conductorWidths = {g, w, w};
        model.conductorX = {0.0, -c * 0.5, c * 0.5};
        model.conductorY = {0.0, h, h};
        nominalSegments = 100;
        geometry.fieldRangeX = {(-1.2 * g) * 0.5, (1.2 * g) * 0.5};
        geometry.fieldRangeY = {0.0, 1.5 * h};
    } else {
        model.conductorWidths = {w, w};
        model.conductorX = {0.0, c};
        model.conductorY = {0.0, 0.0};
        nominalSegments = 200;
        geometry.fieldRangeX = {-1.2 * (w + c) + c * 0.5, 1.2 * (w + c) + c * 0.5};
        geometry.fieldRangeY = {-(1.5 * c), 1.5 * c};
    }
    model.segmentCounts = segmentCountsFor(model.conductorWidths, nominalSegments);
    for (std::size_t k = 0; k < model.conductorCount(); ++k)
        model.segmentWidths.push_back(model.conductorWidths[k] / static_cast<double>(model.segmentCounts[k]));
    return geometry;
}

}  // namespace plattor
