#pragma once
// Matrices the tests build and compare, beside what the program itself needs.
#include <cstddef>
#include <initializer_list>

#include "matrix/matrix.hpp"

namespace plattor::testing {

// Row by row, as one would write the matrix on paper; every row as long as the first.
Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows);

// C = A B.
Matrix product(const Matrix& a, const Matrix& b);

// A(r0 : r0+nr−1, c0 : c0+nc−1), 0-based.
Matrix block(const Matrix& a, std::size_t r0, std::size_t nr, std::size_t c0, std::size_t nc);

// The n×n identity.
Matrix identity(std::size_t n);

}  // namespace plattor::testing
