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

// Whole vectors of 32 bytes (four doubles, eight floats) for the products, and vectors of four
// entries for the triangular solves' four columns at once; the compiler maps them to whatever
// registers the target has (two SSE2 registers on the baseline, one AVX register on the cloned
// path, two SIMD registers in WebAssembly).
template <class T>
struct Simd;
template <>
struct Simd<double> {
    typedef double Wide __attribute__((vector_size(32)));
    typedef double Four __attribute__((vector_size(4 * sizeof(double))));
};
template <>
struct Simd<float> {
    typedef float Wide __attribute__((vector_size(32)));
    typedef float Four __attribute__((vector_size(4 * sizeof(float))));
};

// C −= A·B for C m×n, A m×k and B k×n. Each entry takes its k terms in order of p, as the
// unblocked elimination would; the cloned path may fuse each multiply and subtract.
// Register blocks of two vectors' rows × 4 columns: each loaded column piece of A serves four
// columns of C, and C stays in registers over the whole sum.
template <class T>
[[gnu::always_inline]] inline void subtractProductBody(std::size_t m, std::size_t n, std::size_t k,
                                                       ColumnMajorView<const T> a, ColumnMajorView<const T> b,
                                                       ColumnMajorView<T> c) {
    using Wide = typename Simd<T>::Wide;
    constexpr std::size_t lanes = sizeof(Wide) / sizeof(T);
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const T* b0 = b.column(j);
        const T* b1 = b.column(j + 1);
        const T* b2 = b.column(j + 2);
        const T* b3 = b.column(j + 3);
        T* c0 = c.column(j);
        T* c1 = c.column(j + 1);
        T* c2 = c.column(j + 2);
        T* c3 = c.column(j + 3);
        std::size_t i = 0;
        for (; i + 2 * lanes <= m; i += 2 * lanes) {
            Wide s0a, s0b, s1a, s1b, s2a, s2b, s3a, s3b;
            std::memcpy(&s0a, c0 + i, sizeof(Wide));
            std::memcpy(&s0b, c0 + i + lanes, sizeof(Wide));
            std::memcpy(&s1a, c1 + i, sizeof(Wide));
            std::memcpy(&s1b, c1 + i + lanes, sizeof(Wide));
            std::memcpy(&s2a, c2 + i, sizeof(Wide));
            std::memcpy(&s2b, c2 + i + lanes, sizeof(Wide));
            std::memcpy(&s3a, c3 + i, sizeof(Wide));
            std::memcpy(&s3b, c3 + i + lanes, sizeof(Wide));
            for (std::size_t p = 0; p < k; ++p) {
                const T* ap = a.column(p) + i;
                Wide xa, xb;
                std::memcpy(&xa, ap, sizeof(Wide));
                std::memcpy(&xb, ap + lanes, sizeof(Wide));
                s0a -= xa * b0[p];
                s0b -= xb * b0[p];
                s1a -= xa * b1[p];
                s1b -= xb * b1[p];
                s2a -= xa * b2[p];
                s2b -= xb * b2[p];
                s3a -= xa * b3[p];
                s3b -= xb * b3[p];
            }
            std::memcpy(c0 + i, &s0a, sizeof(Wide));
            std::memcpy(c0 + i + lanes, &s0b, sizeof(Wide));
            std::memcpy(c1 + i, &s1a, sizeof(Wide));
            std::memcpy(c1 + i + lanes, &s1b, sizeof(Wide));
            std::memcpy(c2 + i, &s2a, sizeof(Wide));
            std::memcpy(c2 + i + lanes, &s2b, sizeof(Wide));
            std::memcpy(c3 + i, &s3a, sizeof(Wide));
            std::memcpy(c3 + i + lanes, &s3b, sizeof(Wide));
        }
        for (; i < m; ++i) {
            T s0 = c0[i], s1 = c1[i], s2 = c2[i], s3 = c3[i];
            for (std::size_t p = 0; p < k; ++p) {
                const T aip = a(i, p);
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
        const T* bj = b.column(j);
        T* cj = c.column(j);
        for (std::size_t p = 0; p < k; ++p) {
            const T* ap = a.column(p);
            const T bpj = bj[p];
            for (std::size_t i = 0; i < m; ++i) cj[i] -= ap[i] * bpj;
        }
    }
}

PLATTOR_AVX2_CLONE
void subtractProduct(std::size_t m, std::size_t n, std::size_t k, ConstMatrixView a, ConstMatrixView b,
                     MatrixView c) {
    subtractProductBody<double>(m, n, k, a, b, c);
}

PLATTOR_AVX2_CLONE
void subtractProduct(std::size_t m, std::size_t n, std::size_t k, ColumnMajorView<const float> a,
                     ColumnMajorView<const float> b, ColumnMajorView<float> c) {
    subtractProductBody<float>(m, n, k, a, b, c);
}

// Rows k of four columns of X gathered so that one vector holds row i of all four: the small
// triangular solves then work on whole vectors, a step of four right-hand sides at once.
template <class T>
struct FourColumns {
    typename Simd<T>::Four rows[blockSize];
    T* x[4];

    FourColumns(ColumnMajorView<T> b, std::size_t j, std::size_t k)
        : x{b.column(j), b.column(j + 1), b.column(j + 2), b.column(j + 3)} {
        for (std::size_t i = 0; i < k; ++i) rows[i] = typename Simd<T>::Four{x[0][i], x[1][i], x[2][i], x[3][i]};
    }
    void store(std::size_t k) const {
        for (std::size_t i = 0; i < k; ++i)
            for (int c = 0; c < 4; ++c) x[c][i] = rows[i][c];
    }
};

// X = L⁻¹ X in place for the unit lower triangle of the k×k block L (k ≤ blockSize) and the
// k×n block X.
template <class T>
[[gnu::always_inline]] inline void solveUnitLowerBody(std::size_t k, ColumnMajorView<const T> l, std::size_t n,
                                                      ColumnMajorView<T> x) {
    assert(k <= blockSize);
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        FourColumns<T> t(x, j, k);
        for (std::size_t p = 0; p < k; ++p) {
            const T* lp = l.column(p);
            const auto s = t.rows[p];
            for (std::size_t i = p + 1; i < k; ++i) t.rows[i] -= s * lp[i];
        }
        t.store(k);
    }
    for (; j < n; ++j) {
        T* xj = x.column(j);
        for (std::size_t p = 0; p < k; ++p) {
            const T xp = xj[p];
            if (xp == 0) continue;  // the leading zeros of a unit vector cost nothing
            const T* lp = l.column(p);
            for (std::size_t i = p + 1; i < k; ++i) xj[i] -= xp * lp[i];
        }
    }
}

PLATTOR_AVX2_CLONE
void solveUnitLower(std::size_t k, ConstMatrixView l, std::size_t n, MatrixView x) {
    solveUnitLowerBody<double>(k, l, n, x);
}

PLATTOR_AVX2_CLONE
void solveUnitLower(std::size_t k, ColumnMajorView<const float> l, std::size_t n, ColumnMajorView<float> x) {
    solveUnitLowerBody<float>(k, l, n, x);
}

// X = U⁻¹ X in place for the upper triangle of the k×k block U (k ≤ blockSize) and the k×n
// block X.
PLATTOR_AVX2_CLONE
void solveUpper(std::size_t k, ConstMatrixView u, std::size_t n, MatrixView x) {
    assert(k <= blockSize);
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) {
        FourColumns<double> t(x, j, k);
        for (std::size_t p = k; p-- > 0;) {
            const double* up = u.column(p);
            t.rows[p] /= up[p];
            const auto s = t.rows[p];
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
template <class T>
void exchangeRows(ColumnMajorView<T> a, const std::vector<std::size_t>& pivots, std::size_t first, std::size_t last,
                  std::size_t c0, std::size_t c1) {
    for (std::size_t j = c0; j < c1; ++j) {
        T* aj = a.column(j);
        for (std::size_t k = first; k < last; ++k)
            if (pivots[k] != k) std::swap(aj[k], aj[pivots[k]]);
    }
}

// The error of a matrix with a non-finite entry: where it lies.
[[noreturn]] void nonFinite(const Matrix& a) {
    const std::size_t n = a.rows();
    const std::size_t k = static_cast<std::size_t>(
        std::find_if(a.data(), a.data() + a.size(), [](double v) { return !std::isfinite(v); }) - a.data());
    char text[160];
    std::snprintf(text, sizeof text, "matrix has a non-finite entry (%g at row %zu, column %zu)", a[k], k % n + 1,
                  k / n + 1);
    throw RunError(text);
}

// The largest magnitude of every column of the n×n matrix, within the leading block for its
// columns (see factorInPlace), whether every entry is finite told in the same pass without
// branches: a RunError where one is not.
std::vector<double> columnLargest(const Matrix& a, std::size_t leading) {
    const std::size_t n = a.rows();
    std::vector<double> largest(n, 0.0);
    bool finite = true;
    for (std::size_t j = 0; j < n; ++j) {
        const double* aj = a.column(j);
        const std::size_t rows = j < leading ? leading : n;
        double top = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double magnitude = std::fabs(aj[i]);
            finite = finite && magnitude <= std::numeric_limits<double>::max();
            top = magnitude > top && i < rows ? magnitude : top;
        }
        largest[j] = top;
    }
    if (!finite) nonFinite(a);
    return largest;
}

// P A = L U in place in the n×n window m, in the precision of T: a panel of columns at a time,
// eliminated column by column, its row exchanges then carried into the columns on both sides,
// the rows of U to its right solved for, and the trailing matrix updated by one product. The
// pivots of the first `leading` columns are chosen among the first `leading` rows, so that the
// factors of the leading block are its own. The index of the first column whose pivot is no
// larger than `smallest` times its column's largest entry, or n where none is.
template <class T>
std::size_t factorInPlace(ColumnMajorView<T> m, std::size_t n, const std::vector<double>& largest, double smallest,
                          std::vector<std::size_t>& pivots, const std::function<void()>& betweenPanels,
                          std::size_t leading) {
    pivots.resize(n);
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
            T* ak = m.column(k);
            std::size_t p = k;
            T best = std::fabs(ak[k]);
            for (std::size_t i = k + 1, end = k < leading ? leading : n; i < end; ++i) {
                const T magnitude = std::fabs(ak[i]);
                if (magnitude > best) {
                    best = magnitude;
                    p = i;
                }
            }
            pivots[k] = p;
            if (!(std::fabs(static_cast<double>(ak[p])) > smallest * largest[k])) return k;
            if (p != k)
                for (std::size_t j = k0; j < k1; ++j) std::swap(m(k, j), m(p, j));

            const T pivot = ak[k];
            for (std::size_t i = k + 1; i < n; ++i) ak[i] /= pivot;
            // Update of the rest of the slice: column k times row k, taken off below row k.
            if (k + 1 < s1)
                subtractProduct(n - k - 1, s1 - k - 1, 1, m.at(k + 1, k), m.at(k, k + 1), m.at(k + 1, k + 1));
            if (k + 1 == s1 && s1 < k1) {
                solveUnitLower(s1 - s0, m.at(s0, s0), k1 - s1, m.at(s0, s1));
                subtractProduct(n - s1, k1 - s1, s1 - s0, m.at(s1, s0), m.at(s0, s1), m.at(s1, s1));
            }
        }
        exchangeRows(m, pivots, k0, k1, 0, k0);
        if (k1 == n) break;
        exchangeRows(m, pivots, k0, k1, k1, n);
        solveUnitLower(kb, m.at(k0, k0), n - k1, m.at(k0, k1));
        subtractProduct(n - k1, n - k1, kb, m.at(k1, k0), m.at(k0, k1), m.at(k1, k1));
    }
    return n;
}

}  // namespace

LuFactors luFactor(Matrix a, const std::function<void()>& betweenPanels, std::size_t leading) {
    assert(a.rows() == a.cols());
    const std::size_t n = a.rows();
    leading = std::min(leading, n);
    const std::vector<double> largest = columnLargest(a, leading);
    // Rounding in the elimination perturbs column k of U by about n·eps times the size of the
    // column's entries, and scaling a column scales its pivot alike: a pivot below that bound,
    // taken column by column, is indistinguishable from zero. A matrix whose columns differ in
    // scale (segments of very different widths) is not mistaken for a singular one.
    const double epsilonN = static_cast<double>(n) * std::numeric_limits<double>::epsilon();
    std::vector<std::size_t> pivots;
    if (const std::size_t k = factorInPlace(a.view(), n, largest, epsilonN, pivots, betweenPanels, leading); k < n)
        throw RunError(describe("matrix is singular to working precision", a(pivots[k], k), k, largest[k]));
    return {std::move(a), std::move(pivots)};
}

Matrix luSolve(const LuFactors& factors, Matrix b) {
    const std::size_t n = factors.lu.rows();
    assert(b.rows() == n);
    exchangeRows(b.view(), factors.pivots, 0, n, 0, b.cols());
    forwardSubstitution(factors.lu, b);
    backSubstitution(factors.lu, b);
    return b;
}

namespace {

// Σ a_i·x_i over n terms, a in single or double precision, summed in double by four partial sums.
template <class T>
[[gnu::always_inline]] inline double dotBody(const T* a, const double* x, std::size_t n) {
    typedef double Vec4 __attribute__((vector_size(4 * sizeof(double))));
    Vec4 sum0{}, sum1{};
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        Vec4 x0, x1;
        std::memcpy(&x0, x + i, sizeof x0);
        std::memcpy(&x1, x + i + 4, sizeof x1);
        sum0 += Vec4{double(a[i]), double(a[i + 1]), double(a[i + 2]), double(a[i + 3])} * x0;
        sum1 += Vec4{double(a[i + 4]), double(a[i + 5]), double(a[i + 6]), double(a[i + 7])} * x1;
    }
    const Vec4 sum = sum0 + sum1;
    double total = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    for (; i < n; ++i) total += double(a[i]) * x[i];
    return total;
}

PLATTOR_AVX2_CLONE
double dot(const float* a, const double* x, std::size_t n) { return dotBody(a, x, n); }

PLATTOR_AVX2_CLONE
double dot(const double* a, const double* x, std::size_t n) { return dotBody(a, x, n); }

// b = A⁻ᵀ b in place, in double, from the factors P A = L U of the n×n A (or of the leading n×n
// block of a larger one whose columns lie leadingDimension apart), packed as luFactor's (in
// double or single precision): Aᵀ = Uᵀ·Lᵀ·P, so Uᵀ y = b forwards (column k of U is row k
// of Uᵀ, contiguous), Lᵀ z = y backwards (row k of Lᵀ is column k of L below the diagonal), and
// b = Pᵀ z, the exchanges undone in reverse order.
template <class T>
void solveTransposedInPlace(const T* lu, std::size_t leadingDimension, const std::vector<std::size_t>& pivots,
                            std::size_t n, double* b) {
    for (std::size_t k = 0; k < n; ++k) {
        const T* column = lu + k * leadingDimension;
        b[k] = (b[k] - dot(column, b, k)) / double(column[k]);
    }
    for (std::size_t k = n; k-- > 0;) {
        const T* column = lu + k * leadingDimension;
        b[k] -= dot(column + k + 1, b + k + 1, n - k - 1);
    }
    for (std::size_t k = n; k-- > 0;)
        if (pivots[k] != k) std::swap(b[k], b[pivots[k]]);
}

double largestMagnitude(const std::vector<double>& v) {
    double largest = 0.0;
    for (const double x : v) largest = std::max(largest, std::fabs(x));
    return largest;
}

}  // namespace

std::vector<double> luSolveTransposed(const LuFactors& factors, std::vector<double> b) {
    const std::size_t n = factors.lu.rows();
    assert(b.size() == n);
    solveTransposedInPlace(factors.lu.data(), n, factors.pivots, n, b.data());
    return b;
}

// What the solvers of one matrix share: A itself (until factored in double), and its factors in
// single or in double precision, the leading block's its own.
struct TransposedSolver::Factors {
    Matrix a;
    std::vector<float> single;
    std::vector<std::size_t> pivots;
    std::optional<LuFactors> exact;
    std::size_t leading;
};

TransposedSolver::TransposedSolver(Matrix a, bool refined, const std::function<void()>& betweenPanels,
                                   std::size_t leading)
    : f_(std::make_shared<Factors>()), size_(a.rows()), betweenPanels_(betweenPanels) {
    assert(a.rows() == a.cols());
    f_->a = std::move(a);
    f_->leading = std::min(leading, size_);
    if (refined) {
        // Single factors need only be good enough for the refinement to contract, which it
        // tells itself: refused only where a pivot is lost to single precision's rounding of
        // its column altogether.
        const std::vector<double> largest = columnLargest(f_->a, f_->leading);
        f_->single.assign(f_->a.data(), f_->a.data() + f_->a.size());
        if (factorInPlace(ColumnMajorView<float>(f_->single.data(), size_), size_, largest,
                          double(std::numeric_limits<float>::epsilon()), f_->pivots, betweenPanels_,
                          f_->leading) == size_)
            return;
    }
    factorInDouble();
}

TransposedSolver::TransposedSolver(std::shared_ptr<Factors> factors, std::size_t size,
                                   const std::function<void()>& betweenPanels)
    : f_(std::move(factors)), size_(size), betweenPanels_(betweenPanels) {}

TransposedSolver::TransposedSolver(TransposedSolver&&) noexcept = default;
TransposedSolver& TransposedSolver::operator=(TransposedSolver&&) noexcept = default;
TransposedSolver::~TransposedSolver() = default;

TransposedSolver TransposedSolver::leadingBlock(const std::function<void()>& betweenPanels) const {
    return TransposedSolver(f_, f_->leading, betweenPanels);
}

void TransposedSolver::factorInDouble() {
    f_->single = {};
    f_->exact = luFactor(std::move(f_->a), betweenPanels_, f_->leading);  // A itself is no longer needed
}

// x from the single factors, corrected by the residual b − Aᵀ x in double. Each correction
// shrinks the last by about cond(A)·eps of single precision (1e−5 … 1e−3 on the kernels' systems),
// so the next one is foreseen: the refinement stops where that falls below 1e−13 of x. Where the
// corrections stop shrinking, they have reached the rounding of the residual in double, which
// the factors in double would not better: accepted below 1e−10 of x, else false.
bool TransposedSolver::refine(const std::vector<double>& b, std::vector<double>& x) const {
    const std::size_t n = b.size();
    const Matrix& a = f_->a;
    std::vector<double> r = b;
    x.assign(n, 0.0);
    double previous = std::numeric_limits<double>::infinity();
    for (int step = 0; step < 30; ++step) {
        solveTransposedInPlace(f_->single.data(), a.rows(), f_->pivots, n, r.data());
        for (std::size_t i = 0; i < n; ++i) x[i] += r[i];
        const double correction = largestMagnitude(r), size = largestMagnitude(x);
        const double shrink = correction / previous;
        if (correction == 0) return true;
        if (step > 0 && !(shrink <= 0.5)) return correction <= 1e-10 * size;  // also where it is not a number
        if (step > 0 && correction * shrink <= 1e-13 * size) return true;
        previous = correction;
        for (std::size_t i = 0; i < n; ++i) r[i] = b[i] - dot(a.column(i), x.data(), n);
    }
    return false;
}

std::vector<double> TransposedSolver::solve(std::vector<double> b) {
    assert(b.size() == size_);
    if (!f_->exact) {
        std::vector<double> x;
        if (refine(b, x)) return x;
        factorInDouble();
    }
    const LuFactors& exact = *f_->exact;
    solveTransposedInPlace(exact.lu.data(), exact.lu.rows(), exact.pivots, size_, b.data());
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
