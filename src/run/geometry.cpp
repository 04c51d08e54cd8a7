#include "run/geometry.hpp"

namespace plattor {

Matrix segmentCountsFor(const Matrix& conductorWidths, double nominalSegments) {
    const double widthTotal = total(conductorWidths);
    const Matrix shares = conductorWidths / widthTotal;
    Matrix counts = round(shares * nominalSegments) + 2.0;
    for (std::size_t k = 0; k < counts.size(); ++k)
        if (counts[k] < minimumSegments) counts[k] = minimumSegments;
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
        model.conductorWidths = Matrix::row({g, w, w});
        model.conductorX = joinSideBySide(Matrix::scalar(0.0), Matrix::row({-c, c}) * 0.5);
        model.conductorY = joinSideBySide(Matrix::scalar(0.0), Matrix::row({h, h}));
        nominalSegments = 100;
        geometry.fieldRangeX = (Matrix::row({-1.2, 1.2}) * g) * 0.5;
        geometry.fieldRangeY = Matrix::row({0.0, 1.5 * h});
    } else {
        model.conductorWidths = Matrix::row({w, w});
        model.conductorX = joinSideBySide(Matrix::scalar(0.0), Matrix::scalar(c));
        model.conductorY = joinSideBySide(Matrix::scalar(0.0), Matrix::scalar(0.0));
        nominalSegments = 200;
        geometry.fieldRangeX = (Matrix::row({-1.2, 1.2}) * (w + c)) + c * 0.5;
        geometry.fieldRangeY = Matrix::row({-(1.5 * c), 1.5 * c});
    }
    model.segmentCounts = segmentCountsFor(model.conductorWidths, nominalSegments);
    model.segmentWidths = divide(model.conductorWidths, model.segmentCounts);
    return geometry;
}

}  // namespace plattor
