#pragma once
// The physical constants of the program's free space, once.
#include <cmath>
#include <numbers>

namespace plattor {

inline constexpr double vacuumPermittivity = 8.8542e-12;                // ε0, F/m
inline constexpr double vacuumPermeability = 4e-7 * std::numbers::pi;  // μ0, H/m

// c0 = 1/√(μ0·ε0): the speed of light in the program's free space, m/s.
inline double freeSpaceLightSpeed() { return 1.0 / std::sqrt(vacuumPermeability * vacuumPermittivity); }

// A charge per unit length in units of 2π ε0, as the logarithmic kernels carry no physical
// constant, in F/m: ((value·2)·π)·ε0, grouped from the left. plattor prints differences of such
// values to their last digits, so the grouping is kept.
inline double inFaradPerMetre(double value) { return ((value * 2.0) * std::numbers::pi) * vacuumPermittivity; }

}  // namespace plattor
