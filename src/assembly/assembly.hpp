#pragma once
// The moment-method matrix. Row r is the field point at the centre of segment r; column c a
// unit charge density spread over segment c; the entry is −∫ ln ρ over that segment, ρ the
// distance from the field point, with no physical constant.
#include <cstddef>

#include "assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// ∫ ln|u| du over −h/2 … h/2: h·(ln(h·0.5) − 1).
double selfTerm(double h);

// Row of n−1 values; entry q−1 is ∫ ln u du over (q − 0.5)·h … (q + 0.5)·h, q = 1 … n−1.
Matrix neighbourTerms(std::size_t n, double h);

// The n×n self block of a conductor as stored: the symmetric Toeplitz matrix with −selfTerm
// on the diagonal and −neighbourTerms(q) on the q-th off-diagonals.
Matrix selfBlock(std::size_t n, double h);

// X(m, s): horizontal offset from the centre of field segment m of conductor i to the centre
// of source segment s of conductor j, evaluated as ((P·h(j) − Q·h(i)) + dx) + (W(i) − W(j))·0.5.
Matrix separation(const ConductorModel& model, std::size_t i, std::size_t j);

// The two off-diagonal blocks of the pair i < j: pairBlock n(i)×n(j) (field points on i,
// sources on j) and mirrorBlock n(j)×n(i) (roles exchanged).
struct PairBlocks {
    Matrix pairBlock;
    Matrix mirrorBlock;
};
PairBlocks pairBlocks(const ConductorModel& model, std::size_t i, std::size_t j);

// The full M×M matrix, filled block by block in the conductor loop's order: the self block
// of conductor i, then the pair and mirror blocks of (i, j) for every later j.
Matrix assembleSystemMatrix(const ConductorModel& model);

}  // namespace plattor
