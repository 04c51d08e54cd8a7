#include "run/structure_arguments.hpp"

#include <cctype>
#include <charconv>
#include <cmath>

#include "matrix/error.hpp"
#include "matrix/text.hpp"

namespace plattor {

namespace {

// The length of the decimal number at the start of text (0 if none).
std::size_t decimalLength(std::string_view text) {
    std::size_t k = 0;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
    std::size_t digits = 0;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k, ++digits;
    if (k < text.size() && text[k] == '.') {
        ++k;
        while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k, ++digits;
    }
    if (digits == 0) return 0;
    if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
        std::size_t e = k + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        const std::size_t exponent = e;
        while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
        if (e > exponent) k = e;
    }
    return k;
}

struct Suffix {
    const char* name;
    double metres;
};
constexpr Suffix suffixes[] = {{"m", 1.0}, {"mm", 1e-3}, {"um", 1e-6}, {"mil", 25.4e-6}};

}  // namespace

bool parseDecimal(std::string_view text, double& value) {
    if (decimalLength(text) != text.size() || text.empty()) return false;
    // from_chars takes no leading '+'.
    const std::string_view digits = text.front() == '+' ? text.substr(1) : text;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return result.ec == std::errc() && result.ptr == digits.data() + digits.size() && std::isfinite(value);
}

OptionValue readStructureOption(StructureInput& input, const StructureOption& option, std::string_view text) {
    const std::string name = std::string("--") + option.name;
    double number = 0;
    if (!option.length) {
        if (!parseDecimal(text, number))
            throw RunError(name + " needs a decimal number, got \"" + printableExcerpt(text) + "\"");
        return {number, 1.0};
    }
    const std::size_t n = decimalLength(text);
    double metres = 1.0;
    std::string unit;
    bool ok = n > 0 && parseDecimal(text.substr(0, n), number);
    if (ok && n < text.size()) {
        ok = false;
        for (const Suffix& s : suffixes)
            if (text.substr(n) == s.name) {
                metres = s.metres;
                unit = s.name;
                ok = std::isfinite(number * metres);
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
    return {number, metres};
}

void setStructureOption(StructureInput& input, const StructureOption& option, std::string_view text) {
    double& field = input.structure.*option.field;
    if (!std::isnan(field)) throw RunError(std::string("--") + option.name + " is given twice");
    const OptionValue value = readStructureOption(input, option, text);
    field = value.number * value.metres;
}

double lengthUnitMetres(const std::string& unit) {
    for (const Suffix& s : suffixes)
        if (unit == s.name) return s.metres;
    return 1.0;
}

}  // namespace plattor
