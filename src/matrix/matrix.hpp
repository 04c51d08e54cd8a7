#pragma once
// Dense real matrices in column-major order, and the handful of operations the run needs.
// Indices are 0-based: element (i, j) is row i, column j. Shapes that cannot agree are
// programming errors and are asserted, never reported to the user.
#include <cassert>
#include <cstddef>
#include <initializer_list>
#include <type_traits>
#include <utility>
#include <vector>

namespace plattor {

// The one place that maps (row i, column j) to column-major storage whose columns lie
// `leading` entries apart.
constexpr std::size_t columnMajorOffset(std::size_t i, std::size_t j, std::size_t leading) { return i + j * leading; }

// A window on column-major storage, for kernels that work on blocks in place: element (i, j)
// of the window at data[columnMajorOffset(i, j, leading)].
template <class T>
struct ColumnMajorView {
    T* data;
    std::size_t leading;

    ColumnMajorView(T* storage, std::size_t leadingDimension) : data(storage), leading(leadingDimension) {}
    template <class U>
        requires std::is_convertible_v<U*, T*>
    ColumnMajorView(ColumnMajorView<U> other) : data(other.data), leading(other.leading) {}

    T& operator()(std::size_t i, std::size_t j) const { return data[columnMajorOffset(i, j, leading)]; }
    T* column(std::size_t j) const { return data + columnMajorOffset(0, j, leading); }
    // The window whose element (0, 0) is element (i, j) of this one.
    ColumnMajorView at(std::size_t i, std::size_t j) const { return {data + columnMajorOffset(i, j, leading), leading}; }
};
using MatrixView = ColumnMajorView<double>;
using ConstMatrixView = ColumnMajorView<const double>;

class Matrix {
public:
    Matrix() = default;  // the empty 0×0 matrix
    Matrix(std::size_t rows, std::size_t cols, double fill = 0.0)
        : rows_(rows), cols_(cols), data_(rows * cols, fill) {}

    static Matrix row(std::initializer_list<double> values);     // 1×n
    static Matrix column(std::initializer_list<double> values);  // n×1
    static Matrix scalar(double value) { return Matrix(1, 1, value); }
    // Row by row, as one would write the matrix on paper.
    static Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows);

    std::size_t rows() const { return rows_; }
    std::size_t cols() const { return cols_; }
    std::size_t size() const { return data_.size(); }
    bool empty() const { return data_.empty(); }
    bool isVector() const { return rows_ == 1 || cols_ == 1; }
    bool sameShape(const Matrix& other) const { return rows_ == other.rows_ && cols_ == other.cols_; }

    double& operator()(std::size_t i, std::size_t j) { return data_[offset(i, j)]; }
    double operator()(std::size_t i, std::size_t j) const { return data_[offset(i, j)]; }
    // Linear index k in column-major order.
    double& operator[](std::size_t k) { assert(k < data_.size()); return data_[k]; }
    double operator[](std::size_t k) const { assert(k < data_.size()); return data_[k]; }

    // Column j as contiguous storage: rows() values.
    double* column(std::size_t j) { return data_.data() + offset(0, j); }
    const double* column(std::size_t j) const { return data_.data() + offset(0, j); }
    double* data() { return data_.data(); }
    const double* data() const { return data_.data(); }
    MatrixView view() { return {data_.data(), rows_}; }
    ConstMatrixView view() const { return {data_.data(), rows_}; }

    // B = A(r0 : r0+nr−1, c0 : c0+nc−1)
    Matrix block(std::size_t r0, std::size_t nr, std::size_t c0, std::size_t nc) const;
    // A(r0 : r0+B.rows−1, c0 : c0+B.cols−1) = B
    void setBlock(std::size_t r0, std::size_t c0, const Matrix& b);

private:
    std::size_t offset(std::size_t i, std::size_t j) const {
        assert(i < rows_ && j < cols_);
        return columnMajorOffset(i, j, rows_);
    }

    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::vector<double> data_;
};

Matrix zeros(std::size_t rows, std::size_t cols);
Matrix ones(std::size_t rows, std::size_t cols);
Matrix colon(double first, double last);        // the row first, first+1, … ≤ last; empty if last < first
Matrix joinSideBySide(const Matrix& a, const Matrix& b);  // [A B]; an empty operand adds nothing
Matrix joinStacked(const Matrix& a, const Matrix& b);     // [A; B]; an empty operand adds nothing
Matrix transpose(const Matrix& a);              // Aᵀ
Matrix multiply(const Matrix& a, const Matrix& b);  // A B

// Element-wise arithmetic: equal shapes, or a scalar on either side.
Matrix operator+(const Matrix& a, const Matrix& b);
Matrix operator-(const Matrix& a, const Matrix& b);
Matrix operator-(const Matrix& a);
Matrix times(const Matrix& a, const Matrix& b);   // A ∘ B
Matrix divide(const Matrix& a, const Matrix& b);  // A ./ B
Matrix operator+(const Matrix& a, double s);
Matrix operator-(const Matrix& a, double s);
Matrix operator*(const Matrix& a, double s);
Matrix operator*(double s, const Matrix& a);
Matrix operator/(const Matrix& a, double s);

Matrix sum(const Matrix& a);        // of a vector its total (1×1, 0 if empty); of a matrix the row of column sums
double total(const Matrix& a);      // the sum of all elements, in storage order
Matrix diagonal(const Matrix& a);   // of a matrix the column of its diagonal; of a vector the square diagonal matrix
Matrix upperPart(const Matrix& a);  // the part strictly above the diagonal, zeros elsewhere
Matrix round(const Matrix& a);      // nearest integer, exact halves away from zero
std::vector<std::size_t> find(const Matrix& a);  // linear indices of the non-zero elements
Matrix log(const Matrix& a);        // element-wise natural logarithm
Matrix atan(const Matrix& a);       // element-wise arctangent in (−π/2, π/2)

Matrix linspace(double first, double last, std::size_t n);  // 1×n, both ends included
// Rates of change per grid step: along each row (x, column to column) and along each column
// (y, row to row). Central differences inside, one-sided at the first and last row and column.
std::pair<Matrix, Matrix> gradient(const Matrix& f);

}  // namespace plattor
