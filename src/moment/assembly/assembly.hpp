#pragma once
// The moment-method matrix. Row r is the field point at the centre of segment r; column c a
// unit charge density spread over segment c; the entry is −∫ ln ρ over that segment, ρ the
// distance from the field point, with no physical constant.
#include <cstddef>
#include <vector>

#include "moment/assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// ∫ ln|u| du over −h/2 … h/2: h·(ln(h·0.5) − 1).
double selfTerm(double h);

// n−1 values; entry q−1 is ∫ ln u du over (q − 0.5)·h … (q + 0.5)·h, q = 1 … n−1: the self
// block is the symmetric Toeplitz matrix with −selfTerm on its diagonal and −entry q−1 on its
// q-th off-diagonals.
std::vector<double> neighbourTerms(std::size_t n, double h);

// The full M×M matrix, filled block by block: the self block of each conductor, and for each
// pair i < j the pair block (field points on i, sources on j) and its mirror (roles exchanged).
// The offset from field point m of conductor i to source s of conductor j is evaluated as
// ((P·h(j) − Q·h(i)) + dx) + (W(i) − W(j))·0.5, P = s + 0.5, Q = m + 0.5 (0-based m, s).
Matrix assembleSystemMatrix(const ConductorModel& model);

}  // namespace plattor
