#pragma once
// What the public API's implementation shares between its files: the structure behind a Line,
// a Solution from converged quantities, and the internal failures as the public one.
#include <string>
#include <string_view>
#include <utility>

#include "lines/quantities.hpp"
#include "base/error.hpp"
#include "plattor/lines.hpp"
#include "section/structure_arguments.hpp"
#include "solver/interrupt.hpp"

namespace plattor {

struct Line::Data {
    StructureInput input;
};

struct LineAccess {
    static const StructureInput& input(const Line& line) { return line.data_->input; }
    static StructureInput& input(Line& line) { return line.data_->input; }
    // The solution of `line` (its structure checked) from its converged quantities.
    static Solution solution(const Line& line, const ConvergedQuantities& converged);
    // The readings of the quantities of `order` that apply.
    static std::vector<Reading> readings(const ConvergedQuantities& converged, const std::vector<Quantity>& order);
    // The solution of a cross-section file: no Line.
    static Solution solution(std::vector<Reading> readings, std::string json, std::string text);
    // A line's losses from their parts (a copy's, such as the Python module's unpickled one).
    static LossSolution lossSolution(Solution solution, std::vector<FrequencyLosses> frequencies,
                                     std::vector<std::pair<std::string, std::string>> models, std::string conductorLoss,
                                     WElementModel wElement, std::string json, std::string text);
};

// The structure option of that name ("w-top" or "w_top"); Error listing the options otherwise.
const StructureOption& namedOption(std::string_view name);

// f() with a RunError raised as the public Error of the same message. An Interrupted goes on as
// it is: only a host that installed an interrupt poll (the Python module) sees it, and it turns
// it into its own way of stopping.
template <class F>
decltype(auto) publicErrors(F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (const Interrupted&) {
        throw;
    } catch (const RunError& e) {
        throw Error(e.what());
    }
}

}  // namespace plattor
