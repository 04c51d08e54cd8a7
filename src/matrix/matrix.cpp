#include "matrix/matrix.hpp"

namespace plattor {

std::vector<double> linspace(double first, double last, std::size_t n) {
    std::vector<double> values(n);
    if (n == 0) return values;
    const double step = n > 1 ? (last - first) / static_cast<double>(n - 1) : 0.0;
    for (std::size_t k = 0; k + 1 < n; ++k) values[k] = first + static_cast<double>(k) * step;
    values[n - 1] = last;  // the end point exactly, whatever the rounding of the steps
    return values;
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
