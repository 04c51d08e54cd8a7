#include "design/quantity_table.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/error.hpp"
#include "base/text.hpp"
#include "report/report.hpp"
#include "solver/interrupt.hpp"

namespace plattor {

StructureSolution solveStructure(const Structure& structure) {
    StructureSolution solution;
    try {
        checkStructure(structure);
        solution.quantities = convergedQuantities(structureSection(structure));
    } catch (const Interrupted&) {
        throw;  // the whole run stops, not this structure alone
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

std::string optionColumn(const StructureOption& option) {
    std::string name = option.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

namespace {
constexpr std::size_t largestSweep = 100000;
}  // namespace

SweepRequest parseSweep(const std::string& text, bool option) {
    const std::size_t equals = text.find('=');
    const std::size_t first = text.find(':', equals == std::string::npos ? 0 : equals);
    const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    SweepRequest request{};
    request.name = equals == std::string::npos ? std::string() : text.substr(0, equals);
    request.option = equals == std::string::npos ? nullptr : findStructureOption(request.name);
    const auto bad = [&](const std::string& why) {
        return RunError("--sweep needs NAME=FROM:TO:COUNT (" + why + "), got \"" + printableExcerpt(text) + "\"");
    };
    if (option && request.option == nullptr) throw bad("NAME an option of the structures, such as w or h");
    if (request.name.empty()) throw bad("NAME a path of the cross-section file, such as conductors.p.width");
    if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
        throw bad("FROM, TO and COUNT separated by ':'");
    request.from = text.substr(equals + 1, first - equals - 1);
    request.to = text.substr(first + 1, second - first - 1);
    const std::string count = text.substr(second + 1);
    const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), request.count);
    if (count.empty() || error != std::errc() || end != count.data() + count.size() || request.count < 1 ||
        request.count > largestSweep)
        throw bad("COUNT a whole number of points from 1 to " + std::to_string(largestSweep));
    return request;
}


std::vector<double> sweepValues(StructureInput& input, const SweepRequest& request) {
    const StructureOption& option = *request.option;
    const std::string name = std::string("--") + option.name;
    if (!std::isnan(input.structure.*option.field))
        throw RunError(name + " is given and swept: leave out " + name);
    const OptionValue from = readStructureOption(input, option, request.from);
    const OptionValue to = readStructureOption(input, option, request.to);
    if (request.geometric && !(from.number > 0 && to.number > 0))
        throw RunError("--sweep-log needs FROM and TO above 0, got " + request.from + " and " + request.to);
    const std::string_view fromNumber = std::string_view(request.from).substr(0, parseDecimal(request.from).length);
    const std::string_view toNumber = std::string_view(request.to).substr(0, parseDecimal(request.to).length);
    std::vector<double> values;
    if (from.metres == to.metres) {
        for (const double v : sweepPoints(fromNumber, toNumber, request.count, request.geometric))
            values.push_back(v * from.metres);
    } else {
        values = sweepPoints(decimalProduct(fromNumber, shortestText(from.metres)),
                             decimalProduct(toNumber, shortestText(to.metres)), request.count, request.geometric);
    }
    // The ends as their own single runs read them.
    values.front() = from.number * from.metres;
    if (values.size() > 1) values.back() = to.number * to.metres;
    return values;
}

const std::vector<Quantity>& plottedImpedances(const Structure& structure) {
    using Q = Quantity;
    static const std::vector<Quantity> single = {Q::impedance};
    static const std::vector<Quantity> pair = {Q::differentialImpedance, Q::evenModeImpedance, Q::oddModeImpedance,
                                               Q::commonModeImpedance};
    return structure.isPair() ? pair : single;
}

std::vector<std::string> sweepHeader(const StructureOption& option, const std::vector<Quantity>& order) {
    std::vector<std::string> header = {optionColumn(option)};
    for (const std::string& c : quantityColumns(order)) header.push_back(c);
    header.push_back("error");
    return header;
}

std::vector<std::string> sweepRow(double value, const std::vector<Quantity>& order, const StructureSolution& solution) {
    std::vector<std::string> cells = {shortestText(value)};
    for (const std::string& c : quantityCells(order, solution)) cells.push_back(c);
    cells.push_back(solution.error);
    return cells;
}

}  // namespace plattor
