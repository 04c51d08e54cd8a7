#pragma once
// Structures solved one to a row, as batches and sweeps print them: each quantity and its error
// in SI units, or the reason the structure has none.
#include <string>
#include <vector>

#include "lines/quantities.hpp"
#include "section/structures.hpp"

namespace plattor {

// One structure's quantities, or (error not empty) the one line why it has none.
struct StructureSolution {
    ConvergedQuantities quantities;
    std::string error;
};

// checkStructure, then the quantities on the whole ladder; a RunError becomes the error.
StructureSolution solveStructure(const Structure& structure);

// Every quantity a structure reports, a single trace's first, then a pair's: a batch's columns.
const std::vector<Quantity>& everyQuantity();

// The columns of the quantities of `order`: the JSON key of each and the key + "Error".
std::vector<std::string> quantityColumns(const std::vector<Quantity>& order);

// The cells of those columns: each value and error as the shortest text that reads back (SI
// units); empty where a quantity does not apply or the structure has no solution.
std::vector<std::string> quantityCells(const std::vector<Quantity>& order, const StructureSolution& solution);

// `count` values from `from` to `to`, both ends exact: evenly spaced, or (`geometric`) in a
// constant ratio. One value is `from`.
std::vector<double> sweepPoints(double from, double to, std::size_t count, bool geometric);

}  // namespace plattor
