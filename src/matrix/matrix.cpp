#include "matrix/matrix.hpp"

#include <cmath>

namespace plattor {

Matrix Matrix::row(std::initializer_list<double> values) {
    Matrix m(1, values.size());
    m.data_.assign(values.begin(), values.end());
    return m;
}

Matrix Matrix::column(std::initializer_list<double> values) {
    Matrix m(values.size(), 1);
    m.data_.assign(values.begin(), values.end());
    return m;
}

Matrix Matrix::fromRows(std::initializer_list<std::initializer_list<double>> rows) {
    const std::size_t nr = rows.size();
    const std::size_t nc = nr == 0 ? 0 : rows.begin()->size();
    Matrix m(nr, nc);
    std::size_t i = 0;
    for (const auto& r : rows) {
        assert(r.size() == nc);
        std::size_t j = 0;
        for (double v : r) m(i, j++) = v;
        ++i;
    }
    return m;
}

Matrix Matrix::block(std::size_t r0, std::size_t nr, std::size_t c0, std::size_t nc) const {
    assert(r0 + nr <= rows_ && c0 + nc <= cols_);
    Matrix b(nr, nc);
    for (std::size_t j = 0; j < nc; ++j)
        for (std::size_t i = 0; i < nr; ++i) b(i, j) = (*this)(r0 + i, c0 + j);
    return b;
}

void Matrix::setBlock(std::size_t r0, std::size_t c0, const Matrix& b) {
    assert(r0 + b.rows() <= rows_ && c0 + b.cols() <= cols_);
    for (std::size_t j = 0; j < b.cols(); ++j)
        for (std::size_t i = 0; i < b.rows(); ++i) (*this)(r0 + i, c0 + j) = b(i, j);
}

Matrix zeros(std::size_t rows, std::size_t cols) { return Matrix(rows, cols, 0.0); }

Matrix ones(std::size_t rows, std::size_t cols) { return Matrix(rows, cols, 1.0); }

Matrix colon(double first, double last) {
    if (!(last >= first)) return Matrix(1, 0);
    const auto n = static_cast<std::size_t>(std::floor(last - first)) + 1;
    Matrix m(1, n);
    for (std::size_t k = 0; k < n; ++k) m[k] = first + static_cast<double>(k);
    return m;
}

Matrix joinSideBySide(const Matrix& a, const Matrix& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    assert(a.rows() == b.rows());
    Matrix m(a.rows(), a.cols() + b.cols());
    m.setBlock(0, 0, a);
    m.setBlock(0, a.cols(), b);
    return m;
}

Matrix joinStacked(const Matrix& a, const Matrix& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    assert(a.cols() == b.cols());
    Matrix m(a.rows() + b.rows(), a.cols());
    m.setBlock(0, 0, a);
    m.setBlock(a.rows(), 0, b);
    return m;
}

Matrix transpose(const Matrix& a) {
    Matrix t(a.cols(), a.rows());
    for (std::size_t j = 0; j < a.cols(); ++j)
        for (std::size_t i = 0; i < a.rows(); ++i) t(j, i) = a(i, j);
    return t;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    if (a.rows() == 1 && a.cols() == 1) return a[0] * b;
    if (b.rows() == 1 && b.cols() == 1) return a * b[0];
    assert(a.cols() == b.rows());
    Matrix c(a.rows(), b.cols());
    // Column j of C is a combination of the columns of A: contiguous sweeps down columns.
    for (std::size_t j = 0; j < b.cols(); ++j) {
        double* cj = c.column(j);
        for (std::size_t k = 0; k < a.cols(); ++k) {
            const double bkj = b(k, j);
            const double* ak = a.column(k);
            for (std::size_t i = 0; i < a.rows(); ++i) cj[i] += ak[i] * bkj;
        }
    }
    return c;
}

namespace {

bool isScalar(const Matrix& m) { return m.rows() == 1 && m.cols() == 1; }

// Element-wise f(a, b) with scalar expansion on either side.
template <class F>
Matrix elementWise(const Matrix& a, const Matrix& b, F f) {
    if (isScalar(b)) {
        Matrix c(a.rows(), a.cols());
        for (std::size_t k = 0; k < a.size(); ++k) c[k] = f(a[k], b[0]);
        return c;
    }
    if (isScalar(a)) {
        Matrix c(b.rows(), b.cols());
        for (std::size_t k = 0; k < b.size(); ++k) c[k] = f(a[0], b[k]);
        return c;
    }
    assert(a.sameShape(b));
    Matrix c(a.rows(), a.cols());
    for (std::size_t k = 0; k < a.size(); ++k) c[k] = f(a[k], b[k]);
    return c;
}

template <class F>
Matrix map(const Matrix& a, F f) {
    Matrix c(a.rows(), a.cols());
    for (std::size_t k = 0; k < a.size(); ++k) c[k] = f(a[k]);
    return c;
}

}  // namespace

Matrix operator+(const Matrix& a, const Matrix& b) { return elementWise(a, b, [](double x, double y) { return x + y; }); }
Matrix operator-(const Matrix& a, const Matrix& b) { return elementWise(a, b, [](double x, double y) { return x - y; }); }
Matrix operator-(const Matrix& a) { return map(a, [](double x) { return -x; }); }
Matrix times(const Matrix& a, const Matrix& b) { return elementWise(a, b, [](double x, double y) { return x * y; }); }
Matrix divide(const Matrix& a, const Matrix& b) { return elementWise(a, b, [](double x, double y) { return x / y; }); }
Matrix operator+(const Matrix& a, double s) { return map(a, [s](double x) { return x + s; }); }
Matrix operator-(const Matrix& a, double s) { return map(a, [s](double x) { return x - s; }); }
Matrix operator*(const Matrix& a, double s) { return map(a, [s](double x) { return x * s; }); }
Matrix operator*(double s, const Matrix& a) { return map(a, [s](double x) { return s * x; }); }
Matrix operator/(const Matrix& a, double s) { return map(a, [s](double x) { return x / s; }); }

Matrix sum(const Matrix& a) {
    if (a.isVector() || a.empty()) return Matrix::scalar(total(a));
    Matrix s(1, a.cols());
    for (std::size_t j = 0; j < a.cols(); ++j) {
        const double* aj = a.column(j);
        double t = 0.0;
        for (std::size_t i = 0; i < a.rows(); ++i) t += aj[i];
        s[j] = t;
    }
    return s;
}

double total(const Matrix& a) {
    double t = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) t += a[k];
    return t;
}

Matrix diagonal(const Matrix& a) {
    if (a.isVector()) {
        Matrix d(a.size(), a.size());
        for (std::size_t k = 0; k < a.size(); ++k) d(k, k) = a[k];
        return d;
    }
    const std::size_t n = a.rows() < a.cols() ? a.rows() : a.cols();
    Matrix d(n, 1);
    for (std::size_t k = 0; k < n; ++k) d[k] = a(k, k);
    return d;
}

Matrix upperPart(const Matrix& a) {
    Matrix u(a.rows(), a.cols());
    for (std::size_t j = 0; j < a.cols(); ++j)
        for (std::size_t i = 0; i < j && i < a.rows(); ++i) u(i, j) = a(i, j);
    return u;
}

Matrix round(const Matrix& a) { return map(a, [](double x) { return std::round(x); }); }

std::vector<std::size_t> find(const Matrix& a) {
    std::vector<std::size_t> indices;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (a[k] != 0.0) indices.push_back(k);
    return indices;
}

Matrix log(const Matrix& a) { return map(a, [](double x) { return std::log(x); }); }

Matrix atan(const Matrix& a) { return map(a, [](double x) { return std::atan(x); }); }

Matrix linspace(double first, double last, std::size_t n) {
    Matrix m(1, n);
    if (n == 0) return m;
    if (n == 1) {
        m[0] = last;
        return m;
    }
    const double step = (last - first) / static_cast<double>(n - 1);
    for (std::size_t k = 0; k < n; ++k) m[k] = first + static_cast<double>(k) * step;
    m[n - 1] = last;  // the end point exactly, whatever the rounding of the steps
    return m;
}

std::pair<Matrix, Matrix> gradient(const Matrix& f) {
    const std::size_t nr = f.rows();
    const std::size_t nc = f.cols();
    Matrix gx(nr, nc);
    Matrix gy(nr, nc);
    // Along x: from column to column.
    if (nc > 1) {
        for (std::size_t i = 0; i < nr; ++i) {
            gx(i, 0) = f(i, 1) - f(i, 0);
            gx(i, nc - 1) = f(i, nc - 1) - f(i, nc - 2);
        }
        for (std::size_t j = 1; j + 1 < nc; ++j) {
            const double* left = f.column(j - 1);
            const double* right = f.column(j + 1);
            double* g = gx.column(j);
            for (std::size_t i = 0; i < nr; ++i) g[i] = (right[i] - left[i]) / 2.0;
        }
    }
    // Along y: from row to row, down each column.
    if (nr > 1) {
        for (std::size_t j = 0; j < nc; ++j) {
            const double* c = f.column(j);
            double* g = gy.column(j);
            g[0] = c[1] - c[0];
            for (std::size_t i = 1; i + 1 < nr; ++i) g[i] = (c[i + 1] - c[i - 1]) / 2.0;
            g[nr - 1] = c[nr - 1] - c[nr - 2];
        }
    }
    return {std::move(gx), std::move(gy)};
}

}  // namespace plattor
