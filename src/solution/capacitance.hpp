#pragma once
// From the inverted moment-method matrix to the capacitances per unit length.
#include <cstddef>
#include <numbers>
#include <string>
#include <vector>

#include "assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

inline constexpr double vacuumPermittivity = 8.8542e-12;  // ε0, F/m

// A charge per unit length in units of 2π ε0 (the moment-method matrix carries no physical
// constant) in F/m: multiplied by 2, then π, then ε0.
inline double inFaradPerMetre(double value) { return value * 2.0 * std::numbers::pi * vacuumPermittivity; }

// The context every failure to solve the moment-method system is reported in.
inline constexpr const char* systemSolveFailure = "cannot solve the moment-method system: ";

// The inverse of the assembled system matrix; a singular or non-finite system raises
// RunError naming the moment-method matrix.
Matrix invertSystemMatrix(const Matrix& systemMatrix);
// The same, the system matrix's storage used for the factors (the run needs it no longer).
Matrix invertSystemMatrix(Matrix&& systemMatrix);

// G(k, l) = h(k) · (sum of the block (k, l) of the inverse) · 2 · π · ε0: the charge per unit
// length on conductor k when conductor l is at potential 1 and all others at 0, in F/m.
// Entries are formed in the order (k, k), then (k, l) and (l, k) for l > k; G is not
// symmetrised.
Matrix generalizedCapacitance(const Matrix& inverseSystem, const ConductorModel& model);

// The Maxwell matrix of the conductors other than referenceConductor (0-based), potentials
// measured against it, for a neutral arrangement:
// G(K, K) − rowTotals(K)·columnTotals(K) / grandTotal. Raises RunError if G is not square.
Matrix reduceCapacitance(const Matrix& generalized, std::size_t referenceConductor);

// Each conductor's capacitance to the reference on the diagonal, the partial capacitance
// between two conductors off it: (−P + diag(diag P)) + diag(row sums of P).
Matrix partialCapacitance(const Matrix& maxwell);

// The five lines of the result report, values in pF/m. With a ground plane the strip-to-strip
// value is entry (0, 1) and the strip-to-ground value entry (0, 0); without one the single
// entry is the strip-to-strip value and the ground line carries no number.
std::vector<std::string> reportLines(const Matrix& partial, bool groundPlaneCase);

}  // namespace plattor
