#pragma once
// The capacitances of the moment-method model at its own segment counts, by one LU
// factorisation and one solve per conductor.
#include "assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// The generalized capacitance matrix, F/m, as generalizedCapacitance computes it from the
// inverse, but from one LU factorisation of the moment-method matrix and one solve per
// conductor: the right-hand side with ones on conductor l's segments gives the charge
// densities x_l that raise l to potential 1, and G(k, l) = h(k)·Σ_{segments of k} x_l·2π·ε0.
// A singular or non-finite system raises RunError naming the moment-method matrix.
Matrix solvedGeneralizedCapacitance(const ConductorModel& model);

// reduceCapacitance of the above against conductor 0: with a ground plane (three conductors)
// the 2×2 Maxwell matrix of the strips against the plane, without one (two conductors) the 1×1
// capacitance of the second strip against the first.
Matrix reducedCapacitance(const ConductorModel& model);

}  // namespace plattor
