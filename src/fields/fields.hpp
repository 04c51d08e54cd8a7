#pragma once
// The field picture of one fixed excitation: strips at −1 and +1, the ground plane (if any)
// at 0. Potentials are in the units of that excitation; no physical constant enters.
#include <cstddef>

#include "assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

inline constexpr std::size_t maximumGridRows = 100000;

// 1×N: [0 −1 1] with a ground plane in front, [−1 1] without.
Matrix conductorPotentials(std::size_t conductorCount);

// M×1: every segment of conductor k at conductorPotentials(k).
Matrix excitation(const ConductorModel& model, const Matrix& potentials);

// The number of grid rows: the nearest integer to fieldPointsX·(y span)/(x span), halves (and
// ratios within 16 units in the last place of one) away from zero, its magnitude taken (y may
// run downwards), at least 2. A zero x span or more than
// maximumGridRows rows raises RunError naming the count and the limit.
std::size_t gridRowCount(const Matrix& fieldRangeX, const Matrix& fieldRangeY, std::size_t fieldPointsX);

struct FieldGrid {
    Matrix gridXValues;  // 1×fieldPointsX
    Matrix gridYValues;  // 1×gridRows
};
FieldGrid makeFieldGrid(const Matrix& fieldRangeX, const Matrix& fieldRangeY, std::size_t fieldPointsX);

// Potential gridRows×fieldPointsX at the grid point (gridYValues(j), gridXValues(i)): each
// segment acts as a line charge h(k)·q at its centre, adding h(k)·q·(−ln r). r² carries eps·w²,
// w the narrowest conductor's width, so that a grid point on a segment centre stays finite, in
// proportion to the geometry so that a scaled copy of the arrangement gets the same potential.
Matrix potentialOnGrid(const ConductorModel& model, const Matrix& segmentCharges, const FieldGrid& grid);

}  // namespace plattor
