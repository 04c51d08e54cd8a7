#include "run/board_runs.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <algorithm>
#include <memory>

#include "base/error.hpp"
#include "base/text.hpp"
#include "design/plots.hpp"
#include "lines/board_solution.hpp"
#include "report/board_report.hpp"
#include "report/conductor_report.hpp"
#include "report/report.hpp"
#include "run/console.hpp"
#include "run/gnuplot.hpp"
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

namespace {

// The potentials of the board's conductors that `excite` asks for.
std::vector<double> excitation(const Board& board, const std::string& excite) {
    std::vector<double> potentials(board.conductors.size(), 0.0);
    if (excite.empty()) {
        if (!board.pairs.empty()) {
            potentials[board.pairs.front().first] = -1.0;
            potentials[board.pairs.front().second] = 1.0;
        } else {
            for (std::size_t i = 0; i < board.conductors.size(); ++i)
                if (board.conductors[i].signal) {
                    potentials[i] = 1.0;
                    break;
                }
        }
        return potentials;
    }
    const auto refuse = [&](const std::string& why) {
        throw RunError("--excite needs NAME=VOLTS,… (" + why + "), got \"" + printableExcerpt(excite) + "\"");
    };
    std::size_t from = 0;
    std::vector<bool> seen(board.conductors.size(), false);
    while (from <= excite.size()) {
        const std::size_t comma = std::min(excite.find(',', from), excite.size());
        const std::string item = excite.substr(from, comma - from);
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos) refuse("each NAME=VOLTS");
        const std::string name = item.substr(0, equals), value = item.substr(equals + 1);
        std::size_t k = 0;
        while (k < board.conductors.size() && board.conductors[k].name != name) ++k;
        if (k == board.conductors.size() || !board.conductors[k].signal)
            refuse("\"" + printableExcerpt(name) + "\" is no signal conductor of the file");
        if (seen[k]) refuse("\"" + printableExcerpt(name) + "\" given twice");
        seen[k] = true;
        const Decimal number = parseDecimal(value);
        if (number.length == 0 || number.length != value.size() || !number.inRange || !(number.value >= -1) ||
            !(number.value <= 1))
            refuse("VOLTS a number from -1 to 1");
        potentials[k] = number.value;
        from = comma + 1;
    }
    if (std::all_of(potentials.begin(), potentials.end(), [](double v) { return v == 0; }))
        refuse("at least one conductor not at 0 V");
    return potentials;
}

}  // namespace

void runBoardFile(const BoardFile& file, bool json, const std::optional<std::string>& picture,
                  const std::string& excite) {
    // 1. The board, checked as it was read, and the excitation of its picture.
    const Board board = file.board();
    const std::vector<double> potentials = excitation(board, excite);
    // 2. Solved up the ladder through the one builder.
    const BoardSolution s = solveBoard(board);
    // 3. The report: a line's quantities as a structure's, else the conductors' matrices.
    if (json)
        display(boardReportJson(board, file.displayUnit(), s));
    else if (s.conductors)
        display(conductorText(*s.conductors, s.names));
    else
        display(reportText(quantityRows(s.line, reportedQuantities(s.isPair(), file.displayUnit())), s.line));
    // 4. The picture, if asked.
    if (picture) {
        const std::string& unit = file.displayUnit();
        runGnuplot(boardPicture(board, potentials, {unit, lengthUnitMetres(unit)}, pictureFormat(*picture, "--picture")),
                   *picture, "--picture");
    }
}

void describeStructure(const StructureInput& input) {
    checkStructure(input.structure);
    Board board = structureBoard(input.structure);
    board.lengthUnit = input.lengthUnit.empty() ? "" : "m";
    display(boardJson(board, input.lengthUnit));
}

}  // namespace plattor
