#include "section/structure_arguments.hpp"

#include <cmath>

#include "matrix/error.hpp"
#include "matrix/text.hpp"

namespace plattor {

namespace {

struct Suffix {
    const char* name;
    double metres;
};
constexpr Suffix suffixes[] = {{"m", 1.0}, {"mm", 1e-3}, {"um", 1e-6}, {"mil", 25.4e-6}};

}  // namespace

void setStructureOption(StructureInput& input, const StructureOption& option, std::string_view text) {
    const std::string name = std::string("--") + option.name;
    double& field = input.structure.*option.field;
    if (!std::isnan(field)) throw RunError(name + " is given twice");
    const Decimal number = parseDecimal(text);
    const std::size_t n = number.length;
    if (!option.length) {
        if (n == 0 || n != text.size() || !number.inRange)
            throw RunError(name + " needs a decimal number, got \"" + printableExcerpt(text) + "\"");
        field = number.value;
        return;
    }
    double value = number.value;
    std::string unit;
    bool ok = n > 0 && number.inRange;
    if (ok && n < text.size()) {
        ok = false;
        for (const Suffix& s : suffixes)
            if (text.substr(n) == s.name) {
                value *= s.metres;
                unit = s.name;
                ok = std::isfinite(value);
            }
    }
    if (!ok)
        throw RunError(name + " needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"" +
                       printableExcerpt(text) + "\"");
    if (input.lengthSeen && unit.empty() != input.lengthUnit.empty())
        throw RunError("lengths with and without a unit are mixed (" + name + " " + printableExcerpt(text) +
                       "): give every length bare, or every one with a unit");
    if (!unit.empty()) input.lengthUnit = unit;
    input.lengthSeen = true;
    field = value;
}

}  // namespace plattor
