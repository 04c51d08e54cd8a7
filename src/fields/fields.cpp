#include "fields/fields.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "matrix/error.hpp"
#include "matrix/text.hpp"

namespace plattor {

Matrix conductorPotentials(std::size_t conductorCount) {
    const Matrix stripPotentials = Matrix::row({-1.0, 1.0});
    if (stripPotentials.size() >= conductorCount) return stripPotentials;
    Matrix potentials(1, conductorCount);
    for (std::size_t k = 0; k < stripPotentials.size(); ++k) potentials[k + 1] = stripPotentials[k];
    return potentials;
}

Matrix excitation(const ConductorModel& model, const Matrix& potentials) {
    Matrix column(model.totalSegments(), 1);
    for (std::size_t k = 0; k < model.conductorCount(); ++k) {
        const SegmentRange range = model.segmentRange(k);
        const double potential = std::trunc(potentials[k]);
        for (std::size_t s = 0; s < range.count; ++s) column[range.first + s] = potential;
    }
    return column;
}

std::size_t gridRowCount(const Matrix& fieldRangeX, const Matrix& fieldRangeY, std::size_t fieldPointsX) {
    const double spanX = fieldRangeX[1] - fieldRangeX[0];
    const double spanY = fieldRangeY[1] - fieldRangeY[0];
    if (spanX == 0.0) throw RunError("the field grid has zero width in x");
    const double rows = std::fabs(std::round((static_cast<double>(fieldPointsX) * spanY) / spanX));
    if (!(rows <= static_cast<double>(maximumGridRows))) {
        const std::string count = rows < 1e15 ? numberText(rows) : shortestText(rows);  // 5e+152, not 153 digits
        throw RunError("the field grid would need " + count + " rows, more than the limit of " +
                       std::to_string(maximumGridRows));
    }
    return rows < 2.0 ? 2 : static_cast<std::size_t>(rows);
}

FieldGrid makeFieldGrid(const Matrix& fieldRangeX, const Matrix& fieldRangeY, std::size_t fieldPointsX) {
    const std::size_t gridRows = gridRowCount(fieldRangeX, fieldRangeY, fieldPointsX);
    FieldGrid grid;
    grid.gridXValues = linspace(fieldRangeX[0], fieldRangeX[1], fieldPointsX);
    grid.gridYValues = linspace(fieldRangeY[0], fieldRangeY[1], gridRows);
    auto [gx, gy] = meshgrid(grid.gridXValues, grid.gridYValues);
    grid.gridX = std::move(gx);
    grid.gridY = std::move(gy);
    return grid;
}

Matrix potentialOnGrid(const ConductorModel& model, const Matrix& segmentCharges, const FieldGrid& grid) {
    const std::size_t rows = grid.gridYValues.size();
    const std::size_t cols = grid.gridXValues.size();
    const double eps = std::numeric_limits<double>::epsilon();
    const std::size_t conductors = model.conductorCount();

    std::vector<std::vector<double>> centres(conductors);
    for (std::size_t k = 0; k < conductors; ++k) centres[k] = model.segmentCentres(k);

    Matrix potential(rows, cols);
    for (std::size_t i = 0; i < cols; ++i) {
        for (std::size_t j = 0; j < rows; ++j) {
            const double x = grid.gridX(j, i);
            const double y = grid.gridY(j, i);
            double value = 0.0;
            for (std::size_t k = 0; k < conductors; ++k) {
                const SegmentRange range = model.segmentRange(k);
                const double* q = segmentCharges.data() + range.first;
                const double* xs = centres[k].data();
                const double dy = y - model.conductorY[k];
                const double dy2 = dy * dy;
                double s = 0.0;
                for (std::size_t t = 0; t < range.count; ++t) {
                    const double dx = x - xs[t];
                    const double r2 = (dx * dx + dy2) + eps;
                    s += ((-std::log(r2)) * 0.5) * q[t];  // −ln r times the charge density
                }
                value = value + model.segmentWidths[k] * s;
            }
            potential(j, i) = value;
        }
    }
    return potential;
}

}  // namespace plattor
