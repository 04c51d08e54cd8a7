#include "section/structure_arguments.hpp"

#include <algorithm>
#include <cmath>

#include "base/error.hpp"
#include "base/text.hpp"

namespace plattor {

namespace {

struct Suffix {
    const char* name;
    double metres;
};
constexpr Suffix suffixes[] = {{"m", 1.0}, {"mm", 1e-3}, {"um", 1e-6}, {"mil", 25.4e-6}};

}  // namespace

OptionValue readLength(const std::string& name, std::string_view text, std::string* unit) {
    const Decimal number = parseDecimal(text);
    const std::size_t n = number.length;
    double metres = 1.0;
    bool ok = n > 0 && number.inRange;
    if (ok && n < text.size()) {
        ok = false;
        for (const Suffix& s : suffixes)
            if (text.substr(n) == s.name) {
                metres = s.metres;
                if (unit) *unit = s.name;
                ok = std::isfinite(number.value * metres);
            }
    }
    if (!ok)
        throw RunError(name + " needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"" +
                       printableExcerpt(text) + "\"");
    return {number.value, metres};
}

OptionValue readStructureOption(StructureInput& input, const StructureOption& option, std::string_view text) {
    const std::string name = std::string("--") + option.name;
    if (option.length) return readLength(input, name, text);
    const Decimal number = parseDecimal(text);
    if (number.length == 0 || number.length != text.size() || !number.inRange)
        throw RunError(name + " needs a decimal number, got \"" + printableExcerpt(text) + "\"");
    return {number.value, 1.0};
}

OptionValue readLength(StructureInput& input, const std::string& name, std::string_view text) {
    std::string unit;
    const auto [value, metres] = readLength(name, text, &unit);
    if (value == 0) return {value, metres};
    if (input.lengthSeen && unit.empty() != input.unitsGiven.empty())
        throw RunError("lengths with and without a unit are mixed (" + name + " " + printableExcerpt(text) +
                       "): give every length bare, or every one with a unit");
    input.lengthSeen = true;
    if (!unit.empty()) {
        input.unitsGiven.push_back(unit);
        // The unit most lengths carry; of those as common as it, the first given.
        const std::vector<std::string>& given = input.unitsGiven;
        const auto count = [&](const std::string& u) { return std::count(given.begin(), given.end(), u); };
        input.lengthUnit = input.unitsGiven.front();
        for (const std::string& u : input.unitsGiven)
            if (count(u) > count(input.lengthUnit)) input.lengthUnit = u;
    }
    return {value, metres};
}

void setStructureOption(StructureInput& input, const StructureOption& option, std::string_view text) {
    double& field = input.structure.*option.field;
    if (!std::isnan(field)) throw RunError(std::string("--") + option.name + " is given twice");
    const OptionValue value = readStructureOption(input, option, text);
    field = value.number * value.metres;
}

bool isLengthUnit(std::string_view unit) {
    for (const Suffix& s : suffixes)
        if (unit == s.name) return true;
    return false;
}

double lengthUnitMetres(const std::string& unit) {
    for (const Suffix& s : suffixes)
        if (unit == s.name) return s.metres;
    return 1.0;
}

}  // namespace plattor
