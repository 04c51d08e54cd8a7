#pragma once
// From the four input lengths to the conductors, their segments and the field-grid extent.
#include <cstddef>
#include <vector>

#include "moment/assembly/conductors.hpp"
#include "moment/fields/fields.hpp"
#include "run/input.hpp"

namespace plattor {

inline constexpr double minimumSegments = 50;

struct Geometry {
    bool groundPlaneCase;      // false: two coplanar strips, no ground plane
    ConductorModel conductors;
    GridRange fieldRangeX;     // first and last x of the field grid
    GridRange fieldRangeY;     // first and last y of the field grid
    std::size_t fieldPointsX;  // grid columns
};

// max(round(nominalSegments · W(k) / ΣW) + 2, 50), halves rounded away from zero.
std::vector<std::size_t> segmentCountsFor(const std::vector<double>& conductorWidths, double nominalSegments);

// With a ground plane (width not exactly 0): conductor 0 the plane [−g/2, g/2] at y = 0,
// then the strips centred at ∓c/2 at height h, 100 segments shared out. Without one: strips
// centred at x = 0 and x = c, both at y = 0, 200 segments shared out.
Geometry setUpGeometry(const InputValues& input);

}  // namespace plattor
