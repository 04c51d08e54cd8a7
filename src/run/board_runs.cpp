#include "run/board_runs.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/error.hpp"
#include "lines/board_solution.hpp"
#include "report/board_report.hpp"
#include "report/conductor_report.hpp"
#include "report/report.hpp"
#include "run/console.hpp"
#include "section/board_section.hpp"

namespace plattor {

namespace {

// Far beyond any board of mostLayers layers and mostConductors polygons written by hand.
constexpr std::size_t largestBoardFile = std::size_t{4} << 20;

}  // namespace

BoardFile readBoardFile(const std::string& fileName) {
    const bool standardInput = fileName == "-";
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(standardInput ? stdin : std::fopen(fileName.c_str(), "rb"),
                                                                standardInput ? [](std::FILE*) { return 0; } : std::fclose);
    const std::string name = standardInput ? "standard input" : fileName;
    if (!file) throw RunError("cannot read " + name + ": " + std::strerror(errno));
    std::string text;
    char buffer[1 << 16];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get())) {
        text.append(buffer, n);
        if (text.size() > largestBoardFile)
            throw RunError(name + ": larger than a cross-section file can be (" +
                           std::to_string(largestBoardFile >> 20) + " MiB)");
    }
    if (std::ferror(file.get())) throw RunError("cannot read " + name + ": " + std::strerror(errno));
    return BoardFile::parse(text, name);
}

void runBoardFile(const BoardFile& file, bool json) {
    // 1. The board, checked as it was read.
    const Board board = file.board();
    // 2. Solved up the ladder through the one builder.
    const BoardSolution s = solveBoard(board);
    // 3. The report: a line's quantities as a structure's, else the conductors' matrices.
    if (json)
        display(boardReportJson(board, file.displayUnit(), s));
    else if (s.conductors)
        display(conductorText(*s.conductors, s.names));
    else
        display(reportText(quantityRows(s.line, reportedQuantities(s.isPair(), file.displayUnit())), s.line));
}

void describeStructure(const StructureInput& input) {
    checkStructure(input.structure);
    Board board = structureBoard(input.structure);
    board.lengthUnit = input.lengthUnit.empty() ? "" : "m";
    display(boardJson(board, input.lengthUnit));
}

}  // namespace plattor
