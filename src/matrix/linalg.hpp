#pragma once
// Dense LU factorisation with partial pivoting, and solves with its factors.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
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
// called before each panel of 32 columns (a few milliseconds apart), and may throw to stop. The
// pivots of the first `leading` columns are chosen among the first `leading` rows (and judged
// against that block's entries): the factors of that leading block are then its own.
LuFactors luFactor(Matrix a, const std::function<void()>& betweenPanels = {},
                   std::size_t leading = static_cast<std::size_t>(-1));

// X = A⁻¹ B for the A behind the factors; B has as many rows as A.
Matrix luSolve(const LuFactors& factors, Matrix b);

// x = A⁻ᵀ b for the A behind the factors, one right-hand side: Aᵀ = Uᵀ·Lᵀ·P, so Uᵀ y = b
// forwards, Lᵀ z = y backwards, x = Pᵀ z.
std::vector<double> luSolveTransposed(const LuFactors& factors, std::vector<double> b);

// Solves Aᵀ x = b for a square A held as it is. With `refined`, from A's factors in single
// precision, each solution refined in double against A itself until its last correction lies at
// the rounding of double: the solution double factors give, for about half the factorisation's
// time (twice the vector lanes). Where single precision cannot factor A, or the refinement stops
// contracting above that rounding, A's factors in double serve instead. Without `refined`, the
// factors in double from the start (for many solves with one system, where the refinement's
// products would cost more than they save).
class TransposedSolver {
public:
    // With `leading` below A's size, the leading block's factors are its own (see luFactor), and
    // leadingBlock() solves with that block alone.
    TransposedSolver(Matrix a, bool refined, const std::function<void()>& betweenPanels = {},
                     std::size_t leading = static_cast<std::size_t>(-1));
    TransposedSolver(TransposedSolver&&) noexcept;
    TransposedSolver& operator=(TransposedSolver&&) noexcept;
    ~TransposedSolver();
    std::vector<double> solve(std::vector<double> b);
    // A solver of the leading block's system, sharing these factors (and A, for its refinement).
    TransposedSolver leadingBlock(const std::function<void()>& betweenPanels) const;

private:
    struct Factors;
    TransposedSolver(std::shared_ptr<Factors> factors, std::size_t size, const std::function<void()>& betweenPanels);
    bool refine(const std::vector<double>& b, std::vector<double>& x) const;
    void factorInDouble();

    std::shared_ptr<Factors> f_;
    std::size_t size_;  // of the system it solves: the whole, or the leading block
    std::function<void()> betweenPanels_;
};

// A = V·diag(λ)·Vᵀ for a symmetric A (only its upper triangle is read): the eigenvalues in
// ascending order, the orthonormal eigenvectors as the columns of V. Cyclic Jacobi rotations,
// for the few rows of a conductor matrix (cost ~ 10·n³ per sweep, a handful of sweeps).
struct SymmetricEigen {
    std::vector<double> values;
    Matrix vectors;
};
SymmetricEigen symmetricEigen(Matrix a);

}  // namespace plattor
