#pragma once
// Dense LU factorisation with partial pivoting, and solves with its factors.
#include <cstddef>
#include <functional>
#include <vector>

#include "matrix/matrix.hpp"

namespace plattor {

// P A = L U, packed: U on and above the diagonal, the multipliers of the unit lower
// triangle L below it. Row k was exchanged with row pivots[k] at step k.
struct LuFactors {
    Matrix lu;
    std::vector<std::size_t> pivots;
};

// Factorises a square A. A pivot no larger than n·eps·max|aᵢⱼ|, or a non-finite entry,
// raises RunError: the matrix is singular to working precision. `betweenPanels`, if given, is
// called before each panel of 32 columns (a few milliseconds apart), and may throw to stop.
LuFactors luFactor(Matrix a, const std::function<void()>& betweenPanels = {});

// X = A⁻¹ B for the A behind the factors; B has as many rows as A.
Matrix luSolve(const LuFactors& factors, Matrix b);

// x = A⁻ᵀ b for the A behind the factors, one right-hand side: Aᵀ = Uᵀ·Lᵀ·P, so Uᵀ y = b
// forwards, Lᵀ z = y backwards, x = Pᵀ z.
std::vector<double> luSolveTransposed(const LuFactors& factors, std::vector<double> b);

}  // namespace plattor
