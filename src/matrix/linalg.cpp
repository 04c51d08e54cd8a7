#include "matrix/linalg.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "base/error.hpp"

namespace plattor {

namespace {

std::string describe(const char* what, double value, std::size_t column, double largest) {
    char text[200];
    std::snprintf(text, sizeof text, "%s (pivot %g in column %zu, largest entry of the column %g)", what, value,
                  column + 1, largest);
    return text;
}

// Rows (or columns) per block: one panel of the factorisation, one block row of a triangular
// solve. The bulk of the work then falls in subtractProduct; 32 suits systems of a few
// hundred unknowns, whose working set stays in the second-level cache.
constexpr std::size_t blockSize = 32;
// Columns per slice of a panel (see luFactor).
constexpr std::size_t panelSlice = 8;

// On x86-64 a clone for AVX2 and FMA beside the baseline body, chosen by the processor at run
// time; elsewhere (WebAssembly) the one body.
#if defined(__x86_64__)
#define PLATTOR_AVX2_CLONE [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define PLATTOR_AVX2_CLONE
#endif

// Four doubles handled as one; the compiler maps them to whatever vector width the target
// has (two SSE2 registers on the baseline, one AVX register on the cloned path, two SIMD
// registers in WebAssembly).
typedef double Vec4 __attribute__((vector_size(4 * sizeof(double))));

// C −= A·B for C m×n, A m×k and B k×n. Each entry takes its k terms in order of p, as the
// unblocked elimination would; the cloned path may fuse each multiply and subtract.
// Register blocks of 8 rows × 4 columns: each loaded column piece of A serves four columns
// of C, and C stays in registers over the whole sum.
PLATTOR_AVX2_CLONE
void subtractProduct(std::size_t m, std::size_t n, std::size_t k, ConstMatrixView a, ConstMatrixView b,
                     MatrixView c) {
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const double* b0 = b.column(j);
        const double* b1 = b.column(j + 1);
        const double* b2 = b.column(j + 2);
        const double* b3 = b.column(j + 3);
        double* c0 = c.column(j);
        double* c1 = c.column(j + 1);
        double* c2 = c.column(j + 2);
        double* c3 = c.column(j + 3);
        std::size_t i = 0;
        for (; i + 8 <= m; i += 8) {
            Vec4 s0a, s0b, s1a, s1b, s2a, s2b, s3a, s3b;
            std::memcpy(&s0a, c0 + i, sizeof(Vec4));
            std::memcpy(&s0b, c0 + i + 4, sizeof(Vec4));
            std::memcpy(&s1a, c1 + i, sizeof(Vec4));
            std::memcpy(&s1b, c1 + i + 4, sizeof(Vec4));
            std::memcpy(&s2a, c2 + i, sizeof(Vec4));
            std::memcpy(&s2b, c2 + i + 4, sizeof(Vec4));
            std::memcpy(&s3a, c3 + i, sizeof(Vec4));
            std::memcpy(&s3b, c3 + i + 4, sizeof(Vec4));
            for (std::size_t p = 0; p < k; ++p) {
                const double* ap = a.column(p) + i;
                Vec4 xa, xb;
                std::memcpy(&xa, ap, sizeof(Vec4));
                std::memcpy(&xb, ap + 4, sizeof(Vec4));
                s0a -= xa * b0[p];
                s0b -= xb * b0[p];
                s1a -= xa * b1[p];
                s1b -= xb * b1[p];
                s2a -= xa * b2[p];
                s2b -= xb * b2[p];
                s3a -= xa * b3[p];
                s3b -= xb * b3[p];
            }
            std::memcpy(c0 + i, &s0a, sizeof(Vec4));
            std::memcpy(c0 + i + 4, &s0b, sizeof(Vec4));
            std::memcpy(c1 + i, &s1a, sizeof(Vec4));
            std::memcpy(c1 + i + 4, &s1b, sizeof(Vec4));
            std::memcpy(c2 + i, &s2a, sizeof(Vec4));
            std::memcpy(c2 + i + 4, &s2b, sizeof(Vec4));
            std::memcpy(c3 + i, &s3a, sizeof(Vec4));
            std::memcpy(c3 + i + 4, &s3b, sizeof(Vec4));
        }
        for (; i < m; ++i) {
            double s0 = c0[i], s1 = c1[i], s2 = c2[i], s3 = c3[i];
            for (std::size_t p = 0; p < k; ++p) {
                const double aip = a(i, p);
                s0 -= aip * b0[p];
                s1 -= aip * b1[p];
                s2 -= aip * b2[p];
                s3 -= aip * b3[p];
            }
            c0[i] = s0;
            c1[i] = s1;
            c2[i] = s2;
            c3[i] = s3;
        }
    }
    // The last columns one at a time, as sweeps down the columns of A.
    for (; j < n; ++j) {
        const double* bj = b.column(j);
        double* cj = c.column(j);
        for (std::size_t p = 0; p < k; ++p) {
            const double* ap = a.column(p);
            const double bpj = bj[p];
            for (std::size_t i = 0; i < m; ++i) cj[i] -= ap[i] * bpj;
        }
    }
}

// Rows k of four columns of X gathered so that one Vec4 holds row i of all four: the small
// triangular solves then work on whole vectors, a step of four right-hand sides at once.
struct FourColumns {
    Vec4 rows[blockSize];
    double* x[4];

    FourColumns(MatrixView b, std::size_t j, std::size_t k) : x{b.column(j), b.column(j + 1), b.column(j + 2), b.column(j + 3)} {
        for (std::size_t i = 0; i < k; ++i) rows[i] = Vec4{x[0][i], x[1][i], x[2][i], x[3][i]};
    }
    void store(std::size_t k) const {
        for (std::size_t i = 0; i < k; ++i)
            for (int c = 0; c < 4; ++c) x[c][i] = rows[i][c];
    }
};

// X = L⁻¹ X in place for the unit lower triangle of the k×k block L (k ≤ blockSize) and the
// k×n block X.
PLATTOR_AVX2_CLONE
void solveUnitLower(std::size_t k, ConstMatrixView l, std::size_t n, MatrixView x) {
    assert(k <= blockSize);
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        FourColumns t(x, j, k);
        for (std::size_t p = 0; p < k; ++p) {
            const double* lp = l.column(p);
            const Vec4 s = t.rows[p];
            for (std::size_t i = p + 1; i < k; ++i) t.rows[i] -= s * lp[i];
        }
        t.store(k);
    }
    for (; j < n; ++j) {
        double* xj = x.column(j);
        for (std::size_t p = 0; p < k; ++p) {
            const double xp = xj[p];
            if (xp == 0.0) continue;  // the leading zeros of a unit vector cost nothing
            const double* lp = l.column(p);
            for (std::size_t i = p + 1; i < k; ++i) xj[i] -= xp * lp[i];
        }
    }
}

// X = U⁻¹ X in place for the upper triangle of the k×k block U (k ≤ blockSize) and the k×n
// block X.
PLATTOR_AVX2_CLONE
void solveUpper(std::size_t k, ConstMatrixView u, std::size_t n, MatrixView x) {
    assert(k <= blockSize);
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        FourColumns t(x, j, k);
        for (std::size_t p = k; p-- > 0;) {
            const double* up = u.column(p);
            t.rows[p] /= up[p];
            const Vec4 s = t.rows[p];
            for (std::size_t i = 0; i < p; ++i) t.rows[i] -= s * up[i];
        }
        t.store(k);
    }
    for (; j < n; ++j) {
        double* xj = x.column(j);
        for (std::size_t p = k; p-- > 0;) {
            const double* up = u.column(p);
            xj[p] /= up[p];
            const double xp = xj[p];
            for (std::size_t i = 0; i < p; ++i) xj[i] -= xp * up[i];
        }
    }
}

// X = L⁻¹ X for the unit lower triangle of the n×n factor and X with n rows, a block row at
// a time.
void forwardSubstitution(const Matrix& lu, Matrix& x) {
    const std::size_t n = lu.rows();
    const ConstMatrixView l = lu.view();
    const MatrixView b = x.view();
    const std::size_t columns = x.cols();
    for (std::size_t r = 0; r < n; r += blockSize) {
        const std::size_t rb = std::min(blockSize, n - r);
        solveUnitLower(rb, l.at(r, r), columns, b.at(r, 0));
        const std::size_t below = n - r - rb;
        if (below > 0) subtractProduct(below, columns, rb, l.at(r + rb, r), b.at(r, 0), b.at(r + rb, 0));
    }
}

// X = U⁻¹ X for the upper triangle of the n×n factor, a block row at a time from the bottom.
void backSubstitution(const Matrix& lu, Matrix& x) {
    const std::size_t n = lu.rows();
    const ConstMatrixView u = lu.view();
    const MatrixView b = x.view();
    for (std::size_t end = n; end > 0;) {
        const std::size_t rb = std::min(blockSize, end);
        const std::size_t r = end - rb;
        solveUpper(rb, u.at(r, r), x.cols(), b.at(r, 0));
        if (r > 0) subtractProduct(r, x.cols(), rb, u.at(0, r), b.at(r, 0), b);
        end = r;
    }
}

// Rows k and pivots[k] exchanged for k = first … last−1, in columns [c0, c1).
void exchangeRows(Matrix& a, const std::vector<std::size_t>& pivots, std::size_t first, std::size_t last,
                  std::size_t c0, std::size_t c1) {
    for (std::size_t j = c0; j < c1; ++j) {
        double* aj = a.column(j);
        for (std::size_t k = first; k < last; ++k)
            if (pivots[k] != k) std::swap(aj[k], aj[pivots[k]]);
    }
}

}  // namespace

LuFactors luFactor(Matrix a, const std::function<void()>& betweenPanels) {
    assert(a.rows() == a.cols());
    const std::size_t n = a.rows();

    // The largest magnitude of every column, and whether every entry is finite, in one pass
    // without branches.
    std::vector<double> columnLargest(n, 0.0);
    bool finite = true;
    for (std::size_t j = 0; j < n; ++j) {
        const double* aj = a.column(j);
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double magnitude = std::fabs(aj[i]);
            finite = finite && magnitude <= std::numeric_limits<double>::max();
            largest = magnitude > largest ? magnitude : largest;
        }
        columnLargest[j] = largest;
    }
    if (!finite) {
        const std::size_t k = static_cast<std::size_t>(
            std::find_if(a.data(), a.data() + a.size(), [](double v) { return !std::isfinite(v); }) - a.data());
        char text[160];
        std::snprintf(text, sizeof text, "matrix has a non-finite entry (%g at row %zu, column %zu)", a[k],
                      k % n + 1, k / n + 1);
        throw RunError(text);
    }
    // Rounding in the elimination perturbs column k of U by about n·eps times the size of the
    // column's entries, and scaling a column scales its pivot alike: a pivot below that bound,
    // taken column by column, is indistinguishable from zero. A matrix whose columns differ in
    // scale (segments of very different widths) is not mistaken for a singular one.
    const double epsilonN = static_cast<double>(n) * std::numeric_limits<double>::epsilon();

    std::vector<std::size_t> pivots(n);
    const MatrixView m = a.view();
    // A panel of columns at a time: eliminated column by column, its row exchanges then
    // carried into the columns on both sides, the rows of U to its right solved for, and the
    // trailing matrix updated by one product.
    for (std::size_t k0 = 0; k0 < n; k0 += blockSize) {
        if (betweenPanels) betweenPanels();
        const std::size_t kb = std::min(blockSize, n - k0);
        const std::size_t k1 = k0 + kb;
        for (std::size_t k = k0; k < k1; ++k) {
            // The panel in slices of eight columns: within a slice each column is eliminated
            // by a rank-one update of the slice; at the end of a slice, the panel's columns to
            // its right take the slice's updates at once, by a triangular solve and a product.
            const std::size_t s0 = k0 + (k - k0) / panelSlice * panelSlice;
            const std::size_t s1 = std::min(s0 + panelSlice, k1);
            double* ak = a.column(k);
            std::size_t p = k;
            double best = std::fabs(ak[k]);
            for (std::size_t i = k + 1; i < n; ++i) {
                const double magnitude = std::fabs(ak[i]);
                if (magnitude > best) {
                    best = magnitude;
                    p = i;
                }
            }
            pivots[k] = p;
            if (!(std::fabs(ak[p]) > epsilonN * columnLargest[k]))
                throw RunError(describe("matrix is singular to working precision", ak[p], k, columnLargest[k]));
            if (p != k)
                for (std::size_t j = k0; j < k1; ++j) std::swap(a(k, j), a(p, j));

            const double pivot = ak[k];
            for (std::size_t i = k + 1; i < n; ++i) ak[i] /= pivot;
            // Update of the rest of the slice: column k times row k, taken off below row k.
            if (k + 1 < s1)
                subtractProduct(n - k - 1, s1 - k - 1, 1, m.at(k + 1, k), m.at(k, k + 1), m.at(k + 1, k + 1));
            if (k + 1 == s1 && s1 < k1) {
                solveUnitLower(s1 - s0, m.at(s0, s0), k1 - s1, m.at(s0, s1));
                subtractProduct(n - s1, k1 - s1, s1 - s0, m.at(s1, s0), m.at(s0, s1), m.at(s1, s1));
            }
        }
        exchangeRows(a, pivots, k0, k1, 0, k0);
        if (k1 == n) break;
        exchangeRows(a, pivots, k0, k1, k1, n);
        solveUnitLower(kb, m.at(k0, k0), n - k1, m.at(k0, k1));
        subtractProduct(n - k1, n - k1, kb, m.at(k1, k0), m.at(k0, k1), m.at(k1, k1));
    }
    return {std::move(a), std::move(pivots)};
}

Matrix luSolve(const LuFactors& factors, Matrix b) {
    const std::size_t n = factors.lu.rows();
    assert(b.rows() == n);
    exchangeRows(b, factors.pivots, 0, n, 0, b.cols());
    forwardSubstitution(factors.lu, b);
    backSubstitution(factors.lu, b);
    return b;
}

std::vector<double> luSolveTransposed(const LuFactors& factors, std::vector<double> b) {
    const Matrix& lu = factors.lu;
    const std::size_t n = lu.rows();
    assert(b.size() == n);
    // Uᵀ y = b: column k of U is row k of Uᵀ, contiguous.
    for (std::size_t k = 0; k < n; ++k) {
        const double* column = lu.column(k);
        double sum = b[k];
        for (std::size_t i = 0; i < k; ++i) sum -= column[i] * b[i];
        b[k] = sum / column[k];
    }
    // Lᵀ z = y, L unit lower: row k of Lᵀ is column k of L below the diagonal.
    for (std::size_t k = n; k-- > 0;) {
        const double* column = lu.column(k);
        double sum = b[k];
        for (std::size_t i = k + 1; i < n; ++i) sum -= column[i] * b[i];
        b[k] = sum;
    }
    // x = Pᵀ z: the exchanges undone in reverse order.
    for (std::size_t k = n; k-- > 0;)
        if (factors.pivots[k] != k) std::swap(b[k], b[factors.pivots[k]]);
    return b;
}

SymmetricEigen symmetricEigen(Matrix a) {
    const std::size_t n = a.rows();
    assert(a.cols() == n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 1; i < n; ++i) a(i, j) = a(j, i);
    Matrix v(n, n);
    for (std::size_t i = 0; i < n; ++i) v(i, i) = 1.0;
    // Each rotation zeroes one off-diagonal pair; the sum of their squares falls quadratically
    // once the sweeps have begun to converge. A pair below the rounding of both its diagonal
    // entries is left as zero (Rutishauser's test), so the sweeps end at working precision.
    for (int sweep = 0; sweep < 60; ++sweep) {
        bool rotated = false;
        for (std::size_t p = 0; p + 1 < n; ++p) {
            for (std::size_t q = p + 1; q < n; ++q) {
                const double apq = a(p, q);
                const double app = a(p, p), aqq = a(q, q);
                if (std::fabs(apq) <= 1e-18 * (std::fabs(app) + std::fabs(aqq)) || apq == 0.0) {
                    a(p, q) = a(q, p) = 0.0;
                    continue;
                }
                rotated = true;
                // The rotation angle of the smaller magnitude: t = tan φ with cot 2φ = θ.
                const double theta = (aqq - app) / (2.0 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (std::size_t k = 0; k < n; ++k) {
                    const double akp = a(k, p), akq = a(k, q);
                    a(k, p) = c * akp - s * akq;
                    a(k, q) = s * akp + c * akq;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const double apk = a(p, k), aqk = a(q, k);
                    a(p, k) = c * apk - s * aqk;
                    a(q, k) = s * apk + c * aqk;
                }
                a(p, q) = a(q, p) = 0.0;
                for (std::size_t k = 0; k < n; ++k) {
                    const double vkp = v(k, p), vkq = v(k, q);
                    v(k, p) = c * vkp - s * vkq;
                    v(k, q) = s * vkp + c * vkq;
                }
            }
        }
        if (!rotated) break;
    }
    std::vector<std::size_t> order(n);
    for (std::size_t k = 0; k < n; ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&a](std::size_t i, std::size_t j) { return a(i, i) < a(j, j); });
    SymmetricEigen e{std::vector<double>(n), Matrix(n, n)};
    for (std::size_t k = 0; k < n; ++k) {
        e.values[k] = a(order[k], order[k]);
        for (std::size_t i = 0; i < n; ++i) e.vectors(i, k) = v(i, order[k]);
    }
    return e;
}

}  // namespace plattor
