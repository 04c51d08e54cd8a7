#pragma once
// A board solved up the ladder: one trace or a pair of mirror images as a line, with the
// quantities of the one registry; N signal conductors with their matrices, modes and crosstalk.
#include <optional>
#include <string>
#include <vector>

#include "lines/conductor_matrices.hpp"
#include "lines/quantities.hpp"
#include "section/board.hpp"

namespace plattor {

struct BoardSolution {
    // The ladder's levels always; the line's quantities where the board is one.
    ConvergedQuantities line;
    // N signal conductors otherwise, named in their order.
    std::optional<ConductorMatrices> conductors;
    std::vector<std::string> names;

    bool isPair() const { return !conductors && line.value.applies(Quantity::differentialImpedance); }
};

// The board (checked) through the one builder and the one ladder.
BoardSolution solveBoard(const Board& board);

}  // namespace plattor
