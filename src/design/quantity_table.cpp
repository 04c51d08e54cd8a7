#include "design/quantity_table.hpp"

#include <cmath>

#include "matrix/error.hpp"
#include "matrix/text.hpp"
#include "report/report.hpp"

namespace plattor {

StructureSolution solveStructure(const Structure& structure) {
    StructureSolution solution;
    try {
        checkStructure(structure);
        solution.quantities = convergedQuantities(structureSection(structure));
    } catch (const RunError& e) {
        solution.error = e.what();
    }
    return solution;
}

const std::vector<Quantity>& everyQuantity() {
    static const std::vector<Quantity> order = [] {
        std::vector<Quantity> all = singleQuantities();
        all.insert(all.end(), pairQuantities().begin(), pairQuantities().end());
        return all;
    }();
    return order;
}

std::vector<std::string> quantityColumns(const std::vector<Quantity>& order) {
    std::vector<std::string> columns;
    for (const Quantity q : order) {
        columns.push_back(quantityInfo(q).key);
        columns.push_back(std::string(quantityInfo(q).key) + "Error");
    }
    return columns;
}

std::vector<std::string> quantityCells(const std::vector<Quantity>& order, const StructureSolution& solution) {
    std::vector<std::string> cells;
    const ConvergedQuantities& c = solution.quantities;
    for (const Quantity q : order) {
        const bool shown = solution.error.empty() && c.value.applies(q);
        cells.push_back(shown ? shortestText(c.value[q]) : std::string());
        cells.push_back(shown ? shortestText(c.error[q]) : std::string());
    }
    return cells;
}

std::vector<double> sweepPoints(double from, double to, std::size_t count, bool geometric) {
    std::vector<double> points;
    for (std::size_t k = 0; k < count; ++k) {
        const double f = count > 1 ? static_cast<double>(k) / static_cast<double>(count - 1) : 0.0;
        if (k == 0) points.push_back(from);
        else if (k + 1 == count) points.push_back(to);
        else points.push_back(geometric ? from * std::pow(to / from, f) : from + (to - from) * f);
    }
    return points;
}

}  // namespace plattor
