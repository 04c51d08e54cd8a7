#include "lines/board_solution.hpp"

#include "section/board_section.hpp"

namespace plattor {

BoardSolution solveBoard(const Board& board) {
    const CrossSection section = boardSection(board);
    BoardSolution solution;
    std::vector<std::size_t> signalIndex(board.conductors.size(), 0);
    for (std::size_t i = 0; i < board.conductors.size(); ++i)
        if (board.conductors[i].signal) {
            signalIndex[i] = solution.names.size();
            solution.names.push_back(board.conductors[i].name);
        }
    if (section.signals().empty()) {
        solution.line = convergedQuantities(section);
        return solution;
    }
    Ladder ladder = solveLadder(section);
    std::vector<MatrixLevel> levels;
    for (const LevelSolution& level : ladder.levels) levels.push_back({level.maxwell, level.vacuumMaxwell});
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (const auto& [a, b] : board.pairs) pairs.push_back({signalIndex[a], signalIndex[b]});
    solution.conductors = conductorMatrices(levels, ladder.settled, ladder.floors, pairs);
    solution.line.levels = std::move(ladder.levels);
    solution.line.settled = ladder.settled;
    solution.line.floors = ladder.floors;
    return solution;
}

}  // namespace plattor
