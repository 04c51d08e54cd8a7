#include "plattor/dimension.hpp"

#include "api/line_access.hpp"
#include "design/solve_dimension.hpp"
#include "base/text.hpp"

namespace plattor {

namespace {

Quantity quantityOfKey(std::string_view key) {
    for (std::size_t k = 0; k < quantityCount; ++k)
        if (key == quantityInfo(static_cast<Quantity>(k)).key) return static_cast<Quantity>(k);
    throw Error("unknown quantity \"" + printableExcerpt(key) + "\"");
}

}  // namespace

Dimension solveFor(const Line& line, std::string_view dimension, std::string_view quantity, double target) {
    const StructureOption& option = namedOption(dimension);
    const Quantity q = quantityOfKey(quantity);
    return publicErrors([&] {
        const SolvedDimension solved = solveDimension(LineAccess::input(line).structure, option, q, target);
        Line at = line;
        LineAccess::input(at).structure = solved.structure;
        return Dimension{solved.value, solved.error, LineAccess::solution(at, solved.quantities)};
    });
}

}  // namespace plattor
