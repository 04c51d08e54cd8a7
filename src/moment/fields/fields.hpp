#pragma once
// The field picture of one fixed excitation: strips at −1 and +1, the ground plane (if any)
// at 0. Potentials are in the units of that excitation; no physical constant enters.
#include <array>
#include <cstddef>
#include <vector>

#include "moment/assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

inline constexpr std::size_t maximumGridRows = 100000;

// One potential per conductor, N = 2 or 3: {0, −1, 1} with a ground plane in front, {−1, 1}
// without.
std::vector<double> conductorPotentials(std::size_t conductorCount);

// One potential per segment, M in all: every segment of conductor k at potentials[k].
std::vector<double> excitation(const ConductorModel& model, const std::vector<double>& potentials);

// The first and the last coordinate of the grid in one direction.
using GridRange = std::array<double, 2>;

// The number of grid rows: the nearest integer to fieldPointsX·(y span)/(x span), halves (and
// ratios within 16 units in the last place of one) away from zero, its magnitude taken (y may
// run downwards), at least 2. A zero x span or more than
// maximumGridRows rows raises RunError naming the count and the limit.
std::size_t gridRowCount(const GridRange& fieldRangeX, const GridRange& fieldRangeY, std::size_t fieldPointsX);

struct FieldGrid {
    std::vector<double> gridXValues;  // fieldPointsX values, the grid's columns
    std::vector<double> gridYValues;  // gridRows values, the grid's rows
};
FieldGrid makeFieldGrid(const GridRange& fieldRangeX, const GridRange& fieldRangeY, std::size_t fieldPointsX);

// The potential, gridRows×fieldPointsX: entry (i, j) at the grid point x = gridXValues[j],
// y = gridYValues[i]. Each segment acts as a line charge h(k)·q at its centre, adding
// h(k)·q·(−ln r), for the segment charge densities q (M values). r² carries eps·w², w the
// narrowest conductor's width, so that a grid point on a segment centre stays finite, in
// proportion to the geometry so that a scaled copy of the arrangement gets the same potential.
Matrix potentialOnGrid(const ConductorModel& model, const std::vector<double>& segmentCharges, const FieldGrid& grid);

}  // namespace plattor
