#include "matrix/linalg.hpp"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "matrix/error.hpp"

namespace plattor {

namespace {

std::string describe(const char* what, double value, std::size_t column, double largest) {
    char text[200];
    std::snprintf(text, sizeof text, "%s (pivot %g in column %zu, largest entry %g)", what, value,
                  column + 1, largest);
    return text;
}

}  // namespace

LuFactors luFactor(Matrix a) {
    assert(a.rows() == a.cols());
    const std::size_t n = a.rows();

    double largest = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (!std::isfinite(a[k])) {
            char text[160];
            std::snprintf(text, sizeof text, "matrix has a non-finite entry (%g at row %zu, column %zu)",
                          a[k], k % n + 1, k / n + 1);
            throw RunError(text);
        }
        largest = std::fmax(largest, std::fabs(a[k]));
    }
    // Rounding in the elimination perturbs each entry by about n·eps·max|aᵢⱼ|; a pivot below
    // that is indistinguishable from zero.
    const double negligible = static_cast<double>(n) * std::numeric_limits<double>::epsilon() * largest;

    std::vector<std::size_t> pivots(n);
    for (std::size_t k = 0; k < n; ++k) {
        double* ak = a.column(k);
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (std::fabs(ak[i]) > std::fabs(ak[p])) p = i;
        pivots[k] = p;
        if (!(std::fabs(ak[p]) > negligible))
            throw RunError(describe("matrix is singular to working precision", ak[p], k, largest));
        if (p != k)
            for (std::size_t j = 0; j < n; ++j) std::swap(a(k, j), a(p, j));

        const double pivot = ak[k];
        for (std::size_t i = k + 1; i < n; ++i) ak[i] /= pivot;
        // Update of the trailing matrix, one contiguous column sweep at a time.
        for (std::size_t j = k + 1; j < n; ++j) {
            double* aj = a.column(j);
            const double akj = aj[k];
            if (akj == 0.0) continue;
            for (std::size_t i = k + 1; i < n; ++i) aj[i] -= ak[i] * akj;
        }
    }
    return {std::move(a), std::move(pivots)};
}

Matrix luSolve(const LuFactors& factors, Matrix b) {
    const Matrix& lu = factors.lu;
    const std::size_t n = lu.rows();
    assert(b.rows() == n);
    for (std::size_t j = 0; j < b.cols(); ++j) {
        double* x = b.column(j);
        for (std::size_t k = 0; k < n; ++k)
            if (factors.pivots[k] != k) std::swap(x[k], x[factors.pivots[k]]);
        // L y = P b, forward, column by column; leading zeros (as in unit vectors) cost nothing.
        for (std::size_t k = 0; k < n; ++k) {
            const double xk = x[k];
            if (xk == 0.0) continue;
            const double* lk = lu.column(k);
            for (std::size_t i = k + 1; i < n; ++i) x[i] -= xk * lk[i];
        }
        // U x = y, backward, column by column.
        for (std::size_t k = n; k-- > 0;) {
            const double* uk = lu.column(k);
            x[k] /= uk[k];
            const double xk = x[k];
            for (std::size_t i = 0; i < k; ++i) x[i] -= xk * uk[i];
        }
    }
    return b;
}

Matrix inverse(const Matrix& a) {
    const LuFactors factors = luFactor(a);
    Matrix x = luSolve(factors, identity(a.rows()));
    for (std::size_t k = 0; k < x.size(); ++k)
        if (!std::isfinite(x[k]))
            throw RunError("the inverse has a non-finite entry: the matrix is too ill-conditioned");
    return x;
}

}  // namespace plattor
