#include "lines/line_parameters.hpp"

#include <cmath>
#include <algorithm>
#include <string>

#include "matrix/error.hpp"
#include "solution/capacitance.hpp"

namespace plattor {

double freeSpaceLightSpeed() { return 1.0 / std::sqrt(vacuumPermeability * vacuumPermittivity); }

LineValues lineValues(const Matrix& reduced) {
    using Q = LineQuantity;
    const double c0 = freeSpaceLightSpeed();
    const Matrix partial = partialCapacitance(reduced);
    LineValues v;
    if (reduced.rows() == 2) {
        const double stripStrip = partial(0, 1);
        const double stripGround = partial(0, 0);
        v[Q::stripToStripCapacitance] = stripStrip;
        v[Q::stripToGroundCapacitance] = stripGround;
        v[Q::maxwell11] = reduced(0, 0);
        v[Q::maxwell12] = reduced(0, 1);
        v[Q::maxwell21] = reduced(1, 0);
        v[Q::maxwell22] = reduced(1, 1);
        // Even mode: both strips at +1, no field between them. Odd mode: ±1, each strip also
        // sees the other at −1, twice its partial capacitance to it.
        const double even = stripGround;
        const double odd = stripGround + 2.0 * stripStrip;
        const double zEven = 1.0 / (c0 * even);
        const double zOdd = 1.0 / (c0 * odd);
        v[Q::evenModeCapacitance] = even;
        v[Q::oddModeCapacitance] = odd;
        v[Q::evenModeImpedance] = zEven;
        v[Q::oddModeImpedance] = zOdd;
        v[Q::differentialImpedance] = 2.0 * zOdd;
        v[Q::commonModeImpedance] = zEven / 2.0;
        v[Q::couplingCoefficient] = (zEven - zOdd) / (zEven + zOdd);
    } else {
        // Without a plane the pair is neutral: the charges are ±C·(V2 − V1).
        const double c = partial(0, 0);
        v[Q::stripToStripCapacitance] = c;
        v[Q::maxwell11] = c;
        v[Q::maxwell12] = -c;
        v[Q::maxwell21] = -c;
        v[Q::maxwell22] = c;
        v[Q::lineImpedance] = 1.0 / (c0 * c);
    }
    return v;
}

void moveModeCapacitance(Matrix& maxwell, double modeSign, double delta) {
    maxwell(0, 0) += delta / 2;
    maxwell(1, 1) += delta / 2;
    maxwell(0, 1) += modeSign * delta / 2;
    maxwell(1, 0) += modeSign * delta / 2;
}

namespace {

constexpr std::size_t levelOrders[] = {6, 8, 10};
// A panel is at most this many times its distance to a neighbouring edge. The mesh makes every
// panel as long as that allows, with no slack: at 2 the error at p = 10 reached 1e−8 of the
// value for strips low over a narrow plane, at 1.5 it stays near 1e−10.
constexpr double meshRatio = 1.5;
// Quadrature and rounding: 5e−9 of each value, fifty times the largest deviation seen against
// solutions of higher order on meshes twice as fine over a randomised scan of the input space
// (a reference good to 1e−9 stays inside); and 1e−12 of the mode capacitances, which every
// quantity derives from, for the rounding of differences like C_ss = (C_odd − C_even)/2.
constexpr double relativeFloor = 5e-9;
constexpr double roundingFloor = 1e-12;

// What rounding of the mode capacitances at the relative size roundingFloor does to each
// quantity: the sum over the modes of the change it causes.
LineValues roundingErrors(const Matrix& maxwell) {
    LineValues errors;
    const LineValues base = lineValues(maxwell);
    for (std::size_t k = 0; k < lineQuantityCount; ++k) errors[static_cast<LineQuantity>(k)] = 0.0;
    const bool plane = maxwell.rows() == 2;
    for (double modeSign : plane ? std::vector<double>{1.0, -1.0} : std::vector<double>{-1.0}) {
        Matrix moved = maxwell;
        if (plane) {
            moveModeCapacitance(moved, modeSign, roundingFloor * std::fabs(maxwell(0, 0) + modeSign * maxwell(0, 1)));
        } else {
            moved(0, 0) *= 1 + roundingFloor;
        }
        const LineValues v = lineValues(moved);
        for (std::size_t k = 0; k < lineQuantityCount; ++k) {
            const auto q = static_cast<LineQuantity>(k);
            errors[q] += std::fabs(v[q] - base[q]);
        }
    }
    return errors;
}

}  // namespace

double observedChange(double v0, double v1, double v2) {
    const double coarse = std::fabs(v1 - v0);
    const double fine = std::fabs(v2 - v1);
    return fine < coarse ? std::max(fine, 1e-3 * coarse) : fine + coarse;
}

ConvergedLines convergedLines(const StripPair& pair) {
    ConvergedLines c;
    const PairMesh mesh = meshStripPair(pair, meshRatio);
    // Every order solves on the one mesh: the same panels per conductor at each level.
    std::vector<std::size_t> panels;
    if (pair.groundPlane) panels.push_back(2 * mesh.panelCount(0));
    panels.push_back(mesh.panelCount(mesh.rightStrip));
    panels.push_back(mesh.panelCount(mesh.rightStrip));
    std::vector<LineValues> values;
    for (const std::size_t order : levelOrders) {
        c.levels.push_back({order, panels, mesh.panels.size() * order, maxwellMatrix(mesh, order)});
        values.push_back(lineValues(c.levels.back().maxwell));
    }
    c.converged = values.back();
    const LineValues rounding = roundingErrors(c.levels.back().maxwell);
    for (std::size_t k = 0; k < lineQuantityCount; ++k) {
        const auto q = static_cast<LineQuantity>(k);
        c.error[q] = observedChange(values[0][q], values[1][q], values[2][q]) +
                     relativeFloor * std::fabs(c.converged[q]) + rounding[q];
    }
    return c;
}

LineParameters lineParameters(const StripPair& pair, const ConductorModel& model) {
    LineParameters p{convergedLines(pair), pair.groundPlane, model.segmentCounts, {}, {}};

    // plattor's own values; a system plattor cannot solve leaves them out.
    try {
        p.atN = lineValues(reducedCapacitance(model));
        for (std::size_t k = 0; k < lineQuantityCount; ++k) {
            const auto q = static_cast<LineQuantity>(k);
            p.errorAtN[q] = std::fabs(p.converged[q] - p.atN[q]) + p.error[q];
        }
    } catch (const RunError&) {
        p.atN = LineValues();
        p.errorAtN = LineValues();
    }
    return p;
}

}  // namespace plattor
