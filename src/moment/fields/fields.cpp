#include "moment/fields/fields.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/text.hpp"
#include "matrix/vector_math.hpp"

namespace plattor {

std::vector<double> conductorPotentials(std::size_t conductorCount) {
    assert(conductorCount == 2 || conductorCount == 3);
    if (conductorCount == 2) return {-1.0, 1.0};
    return {0.0, -1.0, 1.0};
}

std::vector<double> excitation(const ConductorModel& model, const std::vector<double>& potentials) {
    assert(potentials.size() == model.conductorCount());
    std::vector<double> perSegment(model.totalSegments());
    for (std::size_t k = 0; k < model.conductorCount(); ++k) {
        const SegmentRange range = model.segmentRange(k);
        std::fill_n(perSegment.begin() + static_cast<std::ptrdiff_t>(range.first), range.count, potentials[k]);
    }
    return perSegment;
}

std::size_t gridRowCount(const GridRange& fieldRangeX, const GridRange& fieldRangeY, std::size_t fieldPointsX) {
    const double spanX = fieldRangeX[1] - fieldRangeX[0];
    const double spanY = fieldRangeY[1] - fieldRangeY[0];
    if (spanX == 0.0) throw RunError("the field grid has zero width in x");
    double ratio = (static_cast<double>(fieldPointsX) * spanY) / spanX;
    // A ratio that is a half in exact arithmetic (37.5 for coplanar strips with c = 3w) comes
    // out a few units in the last place to either side of it, depending on the unit the lengths
    // are given in: such near-halves are taken as the half, so that a scaled geometry gets the
    // same grid.
    const double half = std::floor(ratio) + 0.5;
    if (std::fabs(ratio - half) <= 16 * std::numeric_limits<double>::epsilon() * std::fabs(ratio)) ratio = half;
    const double rows = std::fabs(std::round(ratio));
    if (!(rows <= static_cast<double>(maximumGridRows))) {
        const std::string count = rows < 1e15 ? numberText(rows) : shortestText(rows);  // 5e+152, not 153 digits
        throw RunError("the field grid would need " + count + " rows, more than the limit of " +
                       std::to_string(maximumGridRows));
    }
    return rows < 2.0 ? 2 : static_cast<std::size_t>(rows);
}

FieldGrid makeFieldGrid(const GridRange& fieldRangeX, const GridRange& fieldRangeY, std::size_t fieldPointsX) {
    const std::size_t gridRows = gridRowCount(fieldRangeX, fieldRangeY, fieldPointsX);
    FieldGrid grid;
    grid.gridXValues = linspace(fieldRangeX[0], fieldRangeX[1], fieldPointsX);
    grid.gridYValues = linspace(fieldRangeY[0], fieldRangeY[1], gridRows);
    return grid;
}

namespace {

// eps·w², w the narrowest conductor's width (see potentialOnGrid).
double potentialRegularisation(const ConductorModel& model) {
    double narrowest = model.conductorWidths[0];
    for (std::size_t k = 1; k < model.conductorCount(); ++k)
        narrowest = std::fmin(narrowest, model.conductorWidths[k]);
    return std::numeric_limits<double>::epsilon() * (narrowest * narrowest);
}

}  // namespace

Matrix potentialOnGrid(const ConductorModel& model, const std::vector<double>& segmentCharges, const FieldGrid& grid) {
    const std::size_t rows = grid.gridYValues.size();
    const std::size_t points = rows * grid.gridXValues.size();
    const double regularisation = potentialRegularisation(model);
    const std::size_t conductors = model.conductorCount();

    std::vector<std::vector<double>> centres(conductors);
    for (std::size_t k = 0; k < conductors; ++k) centres[k] = model.segmentCentres(k);

    // The grid points in column-major order, a chunk at a time: the logarithms of one segment
    // are taken for the whole chunk in one call, and each point still sums its segments in
    // order, conductor by conductor, exactly as a point-by-point loop would (the order of
    // operations is kept; see solution/capacitance.hpp).
    constexpr std::size_t chunk = 256;
    double x[chunk], y[chunk], dy2[chunk], terms[chunk], sums[chunk];
    Matrix potential(rows, grid.gridXValues.size());
    double* values = potential.data();
    for (std::size_t p0 = 0; p0 < points; p0 += chunk) {
        const std::size_t n = std::min(chunk, points - p0);
        for (std::size_t p = 0; p < n; ++p) {
            x[p] = grid.gridXValues[(p0 + p) / rows];
            y[p] = grid.gridYValues[(p0 + p) % rows];
            values[p0 + p] = 0.0;
        }
        for (std::size_t k = 0; k < conductors; ++k) {
            const SegmentRange range = model.segmentRange(k);
            const double* q = segmentCharges.data() + range.first;
            const double* xs = centres[k].data();
            const double yk = model.conductorY[k];
            for (std::size_t p = 0; p < n; ++p) {
                const double dy = y[p] - yk;
                dy2[p] = dy * dy;
                sums[p] = 0.0;
            }
            for (std::size_t t = 0; t < range.count; ++t) {
                for (std::size_t p = 0; p < n; ++p) {
                    const double dx = x[p] - xs[t];
                    terms[p] = (dx * dx + dy2[p]) + regularisation;
                }
                logInPlace(terms, n);
                const double qt = q[t];
                for (std::size_t p = 0; p < n; ++p) sums[p] += ((-terms[p]) * 0.5) * qt;  // −ln r times the charge density
            }
            const double h = model.segmentWidths[k];
            for (std::size_t p = 0; p < n; ++p) values[p0 + p] += h * sums[p];
        }
    }
    return potential;
}

}  // namespace plattor
