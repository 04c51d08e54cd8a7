#include "report/board_report.hpp"

#include "report/conductor_report.hpp"
#include "report/report.hpp"
#include "section/board_file.hpp"

namespace plattor {

std::string boardReportJson(const Board& board, const std::string& unit, const BoardSolution& s) {
    JsonObject json;
    json.addRaw("crossSection", indentedJson(boardJson(board, unit)));
    json.addRaw("levels", levelsJson(s.line.levels, false));
    json.addRaw("vacuumLevels", levelsJson(s.line.levels, true));
    if (s.conductors) {
        addConstants(json);
        addConductorMatrices(json, *s.conductors, s.names);
    }
    else
        addQuantities(json, s.line, reportedQuantities(s.isPair(), unit));
    return json.text();
}

}  // namespace plattor
