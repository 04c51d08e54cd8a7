#pragma once
// Structures solved one to a row, as batches and sweeps print them: each quantity and its error
// in SI units, or the reason the structure has none.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/decimal_grid.hpp"
#include "lines/quantities.hpp"
#include "section/structure_arguments.hpp"
#include "section/structures.hpp"

namespace plattor {

// One structure's quantities, or (error not empty) the one line why it has none.
struct StructureSolution {
    ConvergedQuantities quantities;
    std::string error;
};

// checkStructure, then the quantities on the whole ladder; a RunError becomes the error, but an
// Interrupted goes on to the caller.
StructureSolution solveStructure(const Structure& structure);

// Every quantity a structure reports, a single trace's first, then a pair's: a batch's columns.
const std::vector<Quantity>& everyQuantity();

// The columns of the quantities of `order`: the JSON key of each and the key + "Error".
std::vector<std::string> quantityColumns(const std::vector<Quantity>& order);

// The cells of those columns: each value and error as the shortest text that reads back (SI
// units); empty where a quantity does not apply or the structure has no solution.
std::vector<std::string> quantityCells(const std::vector<Quantity>& order, const StructureSolution& solution);


// An option's column in a batch or a sweep: its name with '_' for '-'.
std::string optionColumn(const StructureOption& option);

struct SweepRequest {
    std::string name;                // as written: an option, or a cross-section file's path
    const StructureOption* option;   // the structures' option of that name, or nullptr
    std::string from, to;  // as written, read as the option's values
    std::size_t count;
    bool geometric = false;
};

// "NAME=FROM:TO:COUNT" split; raises RunError quoting the text where it is not of that form or
// COUNT is no whole number from 1 to 100000, or (`option`) NAME is no option of the structures.
SweepRequest parseSweep(const std::string& text, bool option = true);

// A sweep's points: the option's values from FROM to TO on the decimal grid of the numbers typed,
// in the unit written (0.1mm:0.3mm:3 gives 0.2mm exactly as --w 0.2mm does); FROM and TO in
// different units, on the grid in metres; the ends as their own single runs read them. The option
// is read into `input` as a value of it would be. Raises RunError where the option is also given,
// FROM or TO is no value of it, or a geometric sweep does not stay above 0.
std::vector<double> sweepValues(StructureInput& input, const SweepRequest& request);

// The impedances a sweep's plot draws: a single trace's, or a pair's differential, even-mode,
// odd-mode and common-mode ones.
const std::vector<Quantity>& plottedImpedances(const Structure& structure);

// A sweep's CSV: the header (the option's column, the columns of `order`, "error"), and the row of
// a point (its value as the shortest text, its quantities' cells, the reason it has none).
std::vector<std::string> sweepHeader(const StructureOption& option, const std::vector<Quantity>& order);
std::vector<std::string> sweepRow(double value, const std::vector<Quantity>& order, const StructureSolution& solution);

}  // namespace plattor
