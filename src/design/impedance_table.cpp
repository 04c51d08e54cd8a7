#include "design/impedance_table.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <functional>
#include <optional>

#include "base/error.hpp"
#include "design/parallel.hpp"
#include "design/quantity_table.hpp"
#include "section/board_checks.hpp"
#include "section/board_section.hpp"
#include "solver/interrupt.hpp"
#include "solver/solve.hpp"

namespace plattor {

Board traceBoard(const TraceStack& stack, double width, double gap) {
    Board board = stack.board;
    board.lengthUnit = "m";
    const auto trace = [&](const char* name, double x) {
        BoardConductor c;
        c.name = name;
        c.x = x;
        c.y = stack.base;
        c.bottomWidth = c.topWidth = width;
        c.thickness = stack.thickness;
        return c;
    };
    if (std::isnan(gap)) {
        board.conductors.push_back(trace("trace", 0.0));
        return board;
    }
    const double x = gap / 2 + width / 2;
    board.conductors = {trace("left", -x), trace("right", x)};
    board.pairs = {{0, 1}};
    return board;
}

namespace {

// The board's cross-section, checked.
CrossSection checkedSection(const Board& board, const std::string& layer) {
    checkBoard(board, layer, "mm");
    return boardSection(board);
}

// Solves the row's lengths: a single trace's width; a pair's width (gap held or kept equal to
// it) or gap (width held). Each searched where the board's checks accept it.
void solveLengths(ImpedanceRow& row, const TraceStack& stack, const PairSpacing& spacing, const std::string& layer) {
    // The nearest plane's distance: where the widths of a line's impedances lie.
    const double h = stack.board.topPlane ? std::min(stack.base, stack.board.layerBottom(stack.board.layers.size()) -
                                                                     stack.base - stack.thickness)
                                          : stack.base;
    const auto search = [&](const char* name, double start, const std::function<Board(double)>& boardAt) {
        const DimensionRange range = acceptedRange(start, [&](double v) { checkBoard(boardAt(v), layer); });
        return solveLength({layer, name, range.lo, range.hi, std::clamp(start, range.lo, range.hi),
                            [&](double v) { return checkedSection(boardAt(v), layer); }},
                           row.target.quantity, row.target.ohms);
    };
    if (row.target.quantity != Quantity::differentialImpedance) {
        row.solved = search("the width", h, [&](double w) { return traceBoard(stack, w, absent); });
        row.width = row.solved.value;
        row.widthError = row.solved.error;
        return;
    }
    if (given(spacing.width)) {
        row.solved = search("the gap", spacing.width, [&](double g) { return traceBoard(stack, spacing.width, g); });
        row.width = spacing.width, row.widthError = 0.0;
        row.gap = row.solved.value, row.gapError = row.solved.error;
        return;
    }
    if (given(spacing.gap)) {
        row.solved = search("the width", h, [&](double w) { return traceBoard(stack, w, spacing.gap); });
    } else {
        try {
            row.solved = search("the width", h, [&](double w) { return traceBoard(stack, w, w); });
        } catch (const Interrupted&) {
            throw;
        } catch (const RunError& e) {
            throw RunError(std::string(e.what()) + " with the gap equal to the width (--gap or --width holds one)");
        }
    }
    row.width = row.solved.value, row.widthError = row.solved.error;
    row.gap = given(spacing.gap) ? spacing.gap : row.solved.value;
    row.gapError = given(spacing.gap) ? 0.0 : row.solved.error;
}

// The four boards of a row's tolerances: width +etch, −etch (a pair's pitch held), the
// laminate's permittivities ×(1 + tol), ×(1 − tol) (the mask is another material).
std::array<Board, 4> tolerated(const ImpedanceRow& row, const TraceStack& stack, const Tolerances& tol) {
    const bool pair = given(row.gap);
    std::array<Board, 4> v;
    for (int side = 0; side < 2; ++side) {
        const double sign = side == 0 ? 1.0 : -1.0;
        v[side] = traceBoard(stack, row.width + sign * tol.etch, pair ? row.gap - sign * tol.etch : absent);
        TraceStack laminate = stack;
        for (BoardLayer& l : laminate.board.layers) l.er *= 1 + sign * tol.permittivity;
        v[2 + side] = traceBoard(laminate, row.width, pair ? row.gap : absent);
    }
    return v;
}

}  // namespace

std::vector<ImpedanceRow> impedanceTable(const std::vector<TraceStack>& sections,
                                         const std::vector<std::string>& layerNames,
                                         const std::vector<ImpedanceTarget>& targets, const PairSpacing& spacing,
                                         const Tolerances& tolerances, const std::optional<LossRequest>& losses,
                                         unsigned threads) {
    assert(!losses || losses->frequencies.size() == 1);
    std::vector<ImpedanceRow> rows;
    for (std::size_t s = 0; s < sections.size(); ++s)
        for (const ImpedanceTarget& t : targets) {
            ImpedanceRow row;
            row.section = s;
            row.target = t;
            rows.push_back(row);
        }
    const auto pool = [&](std::size_t count) { return static_cast<unsigned>(std::clamp<std::size_t>(count, 1, threads)); };

    // 1. The lengths, a row a piece.
    runInOrder(
        rows.size(), pool(rows.size()),
        [&](std::size_t k) {
            ImpedanceRow& row = rows[k];
            try {
                solveLengths(row, sections[row.section], spacing, layerNames[row.section]);
            } catch (const Interrupted&) {
                throw;
            } catch (const RunError& e) {
                row.error = e.what();
            }
        },
        [](std::size_t) {});

    // 2. The tolerances' forward solves, four a row, and its losses, all side by side: the rows'
    //    solves took unequal times, and these even out the threads' load. The two permittivities
    //    are one piece: the second finds the first's kernels kept (the same meshes).
    const std::size_t pieces = losses ? 4 : 3;
    std::vector<double> values(4 * rows.size(), absent);
    runInOrder(
        pieces * rows.size(), pool(pieces * rows.size()),
        [&](std::size_t k) {
            ImpedanceRow& row = rows[k / pieces];
            if (!row.error.empty()) return;
            if (k % pieces == 3) {
                // Only this piece writes these two of the row's fields.
                const bool pair = given(row.gap);
                const LineLosses l = lineLosses(traceBoard(sections[row.section], row.width, pair ? row.gap : absent), *losses);
                const ValueAndBar& a = l.table.front().modes[pair ? 1 : 0][LossQuantity::attenuation];
                row.attenuation = a.value;
                row.attenuationError = a.error;
                return;
            }
            // Pieces 0 and 1 the etch's two boards, piece 2 both permittivities'.
            const std::array<Board, 4> boards = tolerated(row, sections[row.section], tolerances);
            const std::size_t piece = k % pieces;
            std::optional<KernelsKept> kept;
            if (piece == 2) kept.emplace();
            for (std::size_t b = piece; b < (piece == 2 ? 4 : piece + 1); ++b)
                try {
                    values[4 * (k / pieces) + b] =
                        convergedQuantities(checkedSection(boards[b], layerNames[row.section])).value[row.target.quantity];
                } catch (const Interrupted&) {
                    throw;
                } catch (const RunError&) {
                    // A side beyond the checks' range: no change to show.
                }
        },
        [](std::size_t) {});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].etchChange = (values[4 * r] - values[4 * r + 1]) / 2;
        rows[r].permittivityChange = (values[4 * r + 2] - values[4 * r + 3]) / 2;
    }
    return rows;
}

}  // namespace plattor
