#pragma once
// The one way a board becomes a cross-section of the solver: its regions (layers, conductors,
// coating) as data, and faces where the permittivity or the potential jumps.
#include "section/board.hpp"
#include "section/cross_section.hpp"
#include "section/structures.hpp"

namespace plattor {

// The cross-section of a checked board, lengths in units of its first signal conductor's size
// (a trace's bottom width, a circle's diameter, a polygon's width). Mirror symmetry is used where
// the board is its own image under x → −x. One signal conductor is a line's single trace; two
// that are each other's images and marked as a pair are its left and right trace; otherwise the
// signal conductors are driven one by one for their Maxwell matrix.
CrossSection boardSection(const Board& board);

// The length the section measures the board in: its first signal conductor's size.
double boardUnit(const Board& board);

// The board a structure is the short form of: its lengths as the structure gives them.
Board structureBoard(const Structure& structure);

// Whether the board is its own image under x → −x (conductors onto conductors of the same role,
// pairs onto pairs, the planes' cut-outs onto cut-outs).
bool mirrorSymmetric(const Board& board);

}  // namespace plattor
