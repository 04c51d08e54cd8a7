#include "design/impedance_table.hpp"

#include <algorithm>
#include <array>

#include "base/error.hpp"
#include "design/parallel.hpp"
#include "design/quantity_table.hpp"
#include "solver/interrupt.hpp"

namespace plattor {

namespace {

// Solves the row's lengths: a single trace's width; a pair's width (gap held or kept equal to
// it) or gap (width held).
void solveLengths(ImpedanceRow& row, Structure s, const PairSpacing& spacing) {
    const StructureOption& w = *findStructureOption("w");
    const StructureOption& gap = *findStructureOption("s");
    s.w = s.s = absent;
    if (row.target.quantity != Quantity::differentialImpedance) {
        row.solved = solveDimension(s, w, row.target.quantity, row.target.ohms);
        row.width = row.solved.value;
        row.widthError = row.solved.error;
        return;
    }
    if (given(spacing.width)) {
        s.w = spacing.width;
        row.solved = solveDimension(s, gap, row.target.quantity, row.target.ohms);
        row.width = spacing.width, row.widthError = 0.0;
        row.gap = row.solved.value, row.gapError = row.solved.error;
        return;
    }
    if (given(spacing.gap)) {
        s.s = spacing.gap;
        row.solved = solveDimension(s, w, row.target.quantity, row.target.ohms);
    } else {
        try {
            row.solved = solveDimension(s, w, row.target.quantity, row.target.ohms, &gap);
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

// The four structures of a row's tolerances: width +etch, −etch, permittivities ×(1 + tol),
// ×(1 − tol).
std::array<Structure, 4> tolerated(const ImpedanceRow& row, const Tolerances& tol) {
    std::array<Structure, 4> v;
    v.fill(row.solved.structure);
    for (int side = 0; side < 2; ++side) {
        const double sign = side == 0 ? 1.0 : -1.0;
        Structure& etched = v[side];
        etched.w += sign * tol.etch;
        if (etched.isPair()) etched.s -= sign * tol.etch;
        Structure& laminate = v[2 + side];
        laminate.er *= 1 + sign * tol.permittivity;
        if (given(laminate.erTop)) laminate.erTop *= 1 + sign * tol.permittivity;
    }
    return v;
}

}  // namespace

std::vector<ImpedanceRow> impedanceTable(const std::vector<Structure>& sections,
                                         const std::vector<ImpedanceTarget>& targets, const PairSpacing& spacing,
                                         const Tolerances& tolerances, unsigned threads) {
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
                solveLengths(row, sections[row.section], spacing);
            } catch (const Interrupted&) {
                throw;
            } catch (const RunError& e) {
                row.error = e.what();
            }
        },
        [](std::size_t) {});

    // 2. The tolerances' forward solves, four a row, all side by side: the rows' solves took
    //    unequal times, and these even out the threads' load.
    std::vector<double> values(4 * rows.size(), absent);
    runInOrder(
        values.size(), pool(values.size()),
        [&](std::size_t k) {
            const ImpedanceRow& row = rows[k / 4];
            if (!row.error.empty()) return;
            const StructureSolution s = solveStructure(tolerated(row, tolerances)[k % 4]);
            if (s.error.empty()) values[k] = s.quantities.value[row.target.quantity];
        },
        [](std::size_t) {});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].etchChange = (values[4 * r] - values[4 * r + 1]) / 2;
        rows[r].permittivityChange = (values[4 * r + 2] - values[4 * r + 3]) / 2;
    }
    return rows;
}

}  // namespace plattor
