#pragma once
// From the moment-method matrix to the capacitances per unit length and the charges.
//
// Order of operations. The printed capacitances are differences of the entries of G, and
// where the strips couple weakly they are small differences of large numbers: a sum taken in
// another order, or a product grouped otherwise, moves an entry by a unit in its last place,
// which the cancellation can carry into a printed digit; the field files print six digits of
// values whose last bits come from the same sums. So every sum and product from the
// moment-method matrix to the printed text (the assembly, the solve, G, its reduction, the
// potential on the grid) keeps the order in which it has always been evaluated, written out
// where it differs from the obvious one, and a change of order is a change of output.
#include <cstddef>
#include <numbers>
#include <string>
#include <vector>

#include "moment/assembly/conductors.hpp"
#include "matrix/matrix.hpp"
#include "physics/constants.hpp"

namespace plattor {


// G(k, l) = inPlattorFaradPerMetre(h(k) · Σ X(s, l) over conductor k's segments s) for the M×N (or
// wider) X whose column l solves the system for potential 1 on conductor l and 0 elsewhere:
// the charge per unit length on k, in F/m. G is not symmetrised.
Matrix generalizedCapacitance(const Matrix& unitSolutions, const ConductorModel& model);

struct SystemSolution {
    Matrix generalized;  // G, N×N in F/m, potentials measured against a circle of radius unitLength
    std::vector<double> charges;  // M segment charge densities of the excitation (none without one)
    double unitLength;   // 1, or the power of two the system was solved in instead
};

// G and the charges of a neutral excitation (M potentials, or none) from one LU factorisation
// of the moment-method matrix of `model`. Where the logarithmic kernel makes the system
// (nearly) singular in the input's unit of length, the model is solved again in a unit far
// from it, which changes G but neither its reduction to the Maxwell matrix nor the charges.
// Where a printed capacitance is a hundred times smaller than the largest Maxwell entry, the
// model is assembled and solved again with libm's logarithms and arctangents. A system
// singular in both units raises RunError naming the moment-method matrix.
SystemSolution solveSystem(Matrix systemMatrix, const ConductorModel& model, const std::vector<double>& excitation);

// The Maxwell matrix of the conductors other than referenceConductor (0-based, < N), potentials
// measured against it, for a neutral arrangement: for k, l ≠ reference,
// G(k, l) − (rowTotal(k)·columnTotal(l)) / grandTotal, G square.
Matrix reduceCapacitance(const Matrix& generalized, std::size_t referenceConductor);

// Each conductor's capacitance to the reference on the diagonal (the row sum of the Maxwell
// matrix C), the partial capacitance between two conductors off it (−C(k, l)).
Matrix partialCapacitance(const Matrix& maxwell);

// The Maxwell matrix of the model at its own segment counts, by the route above: against the
// plane the 2×2 matrix of the strips, without one the 1×1 capacitance of the second strip
// against the first. A system that cannot be solved raises RunError naming the moment-method
// matrix.
Matrix reducedCapacitance(const ConductorModel& model);

// The five lines of the result report, values in pF/m. With a ground plane the strip-to-strip
// value is entry (0, 1) and the strip-to-ground value entry (0, 0); without one the single
// entry is the strip-to-strip value and the ground line carries no number.
std::vector<std::string> reportLines(const Matrix& partial, bool groundPlaneCase);

}  // namespace plattor
