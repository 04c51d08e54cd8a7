#pragma once
// Dense real matrices in column-major order, and the handful of operations the run needs.
// Indices are 0-based: element (i, j) is row i, column j. Shapes that cannot agree are
// programming errors and are asserted, never reported to the user.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <new>
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

// Storage for a matrix's entries that comes zeroed: a large block straight from fresh pages (on
// Linux in huge pages where the system grants them, or one a freed matrix of its size left,
// zeroed again), so that neither a pass of zeros over fresh memory nor a fault per small page
// precedes the kernel's assembly. Elements are therefore not constructed; a Matrix never shrinks
// and regrows its storage, so none is seen unwritten.
struct ZeroedBlocks {
    static double* allocate(std::size_t count);
    static void deallocate(double* block, std::size_t count) noexcept;
};

template <class T>
struct ZeroedAllocator {
    static_assert(std::is_same_v<T, double>);
    using value_type = T;
    ZeroedAllocator() = default;
    template <class U>
    ZeroedAllocator(const ZeroedAllocator<U>&) {}
    T* allocate(std::size_t count) { return ZeroedBlocks::allocate(count); }
    void deallocate(T* block, std::size_t count) noexcept { ZeroedBlocks::deallocate(block, count); }
    template <class U>
    void construct(U*) noexcept {}  // already zero
    template <class U, class... Args>
    void construct(U* p, Args&&... args) { ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...); }
    bool operator==(const ZeroedAllocator&) const = default;
};

class Matrix {
public:
    Matrix() = default;  // the empty 0×0 matrix
    Matrix(std::size_t rows, std::size_t cols, double fill = 0.0)
        : rows_(rows), cols_(cols), data_(rows * cols) {
        if (fill != 0.0) std::fill(data_.begin(), data_.end(), fill);
    }

    std::size_t rows() const { return rows_; }
    std::size_t cols() const { return cols_; }
    std::size_t size() const { return data_.size(); }

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

private:
    std::size_t offset(std::size_t i, std::size_t j) const {
        assert(i < rows_ && j < cols_);
        return columnMajorOffset(i, j, rows_);
    }

    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::vector<double, ZeroedAllocator<double>> data_;
};

// n values from first to last in equal steps, both ends included (last itself, whatever the
// rounding of the steps); n = 1 gives last alone.
std::vector<double> linspace(double first, double last, std::size_t n);

// Rates of change of f per grid step: along each row (x, column to column) and along each
// column (y, row to row). Central differences inside, one-sided at the first and last row and
// column; a direction with a single grid line has rate 0.
std::pair<Matrix, Matrix> gradient(const Matrix& f);

}  // namespace plattor
