#include "support/matrices.hpp"

#include <cassert>

namespace plattor::testing {

Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows) {
    const std::size_t nc = rows.size() == 0 ? 0 : rows.begin()->size();
    Matrix m(rows.size(), nc);
    std::size_t i = 0;
    for (const auto& row : rows) {
        assert(row.size() == nc);
        std::size_t j = 0;
        for (const double v : row) m(i, j++) = v;
        ++i;
    }
    return m;
}

Matrix product(const Matrix& a, const Matrix& b) {
    assert(a.cols() == b.rows());
    Matrix c(a.rows(), b.cols());
    for (std::size_t j = 0; j < b.cols(); ++j)
        for (std::size_t k = 0; k < a.cols(); ++k)
            for (std::size_t i = 0; i < a.rows(); ++i) c(i, j) += a(i, k) * b(k, j);
    return c;
}

Matrix block(const Matrix& a, std::size_t r0, std::size_t nr, std::size_t c0, std::size_t nc) {
    assert(r0 + nr <= a.rows() && c0 + nc <= a.cols());
    Matrix b(nr, nc);
    for (std::size_t j = 0; j < nc; ++j)
        for (std::size_t i = 0; i < nr; ++i) b(i, j) = a(r0 + i, c0 + j);
    return b;
}

Matrix identity(std::size_t n) {
    Matrix m(n, n);
    for (std::size_t k = 0; k < n; ++k) m(k, k) = 1.0;
    return m;
}

}  // namespace plattor::testing
