#pragma once
// A solved board's report as one JSON object: the board echoed as its cross-section file, the
// ladder's levels, and a line's quantities or the conductors' matrices.
#include <string>

#include "lines/board_solution.hpp"
#include "section/board.hpp"

namespace plattor {

// "crossSection" (the file that reads back to the board, lengths in `unit`), "levels",
// "vacuumLevels", then addQuantities' members or addConductorMatrices'.
std::string boardReportJson(const Board& board, const std::string& unit, const BoardSolution& solution);

}  // namespace plattor
