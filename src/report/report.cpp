#include "report/report.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/text.hpp"
#include "physics/constants.hpp"

namespace plattor {

namespace {

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// The value and its bar as text, in the display unit: both to the decimal place of the bar's
// second significant digit. Beyond the units or far below them, significant digits to that
// place instead (never a fixed-point number of many digits); without a usable bar, ten.
std::pair<std::string, std::string> barTexts(double v, double e) {
    if (!(e > 0) || !std::isfinite(e) || !std::isfinite(v)) return {formatted("%.*g", 10, v), formatted("%.*g", 2, e)};
    // The place of the second significant digit, after the bar is rounded there (9.99e-6 is
    // 0.000010, not 0.0000100).
    int decimals = 1 - static_cast<int>(std::floor(std::log10(e)));
    if (decimals <= 20 && std::fabs(std::stod(formatted("%.*e", 1, e))) >= std::pow(10.0, 1 - decimals + 1)) --decimals;
    if (decimals >= 0 && decimals <= 20) return {formatted("%.*f", decimals, v), formatted("%.*f", decimals, e)};
    const int magnitude = v == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(v))));
    return {formatted("%.*g", std::max(1, magnitude + decimals + 1), v), formatted("%.*g", 2, e)};
}

}  // namespace

const std::vector<Quantity>& singleQuantities() {
    static const std::vector<Quantity> order = {Quantity::capacitance, Quantity::capacitanceInAir,
                                                Quantity::effectivePermittivity, Quantity::impedance,
                                                Quantity::inductance, Quantity::delay};
    return order;
}

const std::vector<Quantity>& pairQuantities() {
    using Q = Quantity;
    static const std::vector<Quantity> order = {
        Q::maxwell11, Q::maxwell12, Q::maxwell21, Q::maxwell22, Q::stripToStripCapacitance,
        Q::stripToGroundCapacitance, Q::maxwell11InAir, Q::maxwell12InAir, Q::maxwell21InAir, Q::maxwell22InAir,
        Q::stripToStripCapacitanceInAir, Q::stripToGroundCapacitanceInAir, Q::evenModeCapacitance,
        Q::evenModeCapacitanceInAir, Q::evenModeEffectivePermittivity, Q::evenModeImpedance, Q::oddModeCapacitance,
        Q::oddModeCapacitanceInAir, Q::oddModeEffectivePermittivity, Q::oddModeImpedance, Q::differentialImpedance,
        Q::commonModeImpedance, Q::couplingCoefficient};
    return order;
}

const std::vector<Quantity>& reportedQuantities(const Structure& structure, const std::string& lengthUnit) {
    return reportedQuantities(structure.isPair(), lengthUnit);
}

const std::vector<Quantity>& reportedQuantities(bool pair, const std::string& lengthUnit) {
    // A board drawn in mil is timed in inches.
    static const std::vector<Quantity> inInches = [] {
        std::vector<Quantity> order = singleQuantities();
        order.push_back(Quantity::delayPerInch);
        return order;
    }();
    if (pair) return pairQuantities();
    return lengthUnit == "mil" ? inInches : singleQuantities();
}

const char* displayUnit(Unit unit) {
    switch (unit) {
        case Unit::capacitance: return "pF/m";
        case Unit::impedance: return "ohm";
        case Unit::inductance: return "nH/m";
        case Unit::delay: return "ps/m";
        case Unit::delayPerInch: return "ps/in";
        case Unit::ratio: break;
    }
    return "";
}

double displayScale(Unit unit) {
    switch (unit) {
        case Unit::capacitance: return 1e12;
        case Unit::inductance: return 1e9;
        case Unit::delay:
        case Unit::delayPerInch: return 1e12;
        case Unit::impedance:
        case Unit::ratio: break;
    }
    return 1.0;
}

std::string valueWithBar(double value, double error, Unit unit) {
    const double scale = displayScale(unit);
    const auto [v, e] = barTexts(value * scale, error * scale);
    std::string text = v + " ± " + e;
    if (*displayUnit(unit) != '\0') text += std::string(" ") + displayUnit(unit);
    return text;
}

std::string valueWithBar(double value, double error, const std::string& unit) {
    const auto [v, e] = barTexts(value, error);
    return v + " ± " + e + (unit.empty() ? "" : " " + unit);
}

namespace {

std::string textLine(const std::string& name, const std::string& value, const std::string& error, const char* unit) {
    std::string line = padded(name, 41) + padded(value, 14) + " ± " + padded(error, 12) + " " + unit;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

std::vector<std::string> reportText(const std::vector<ReportRow>& rows) {
    std::vector<std::string> lines;
    for (const ReportRow& row : rows) {
        const double scale = displayScale(row.unit);
        auto [value, error] = barTexts(row.value * scale, row.error * scale);
        if (!row.valueText.empty()) value = row.valueText;
        lines.push_back(textLine(row.name, value, error, displayUnit(row.unit)));
    }
    return lines;
}

std::vector<std::string> reportText(const std::vector<ReportRow>& rows, bool settled) {
    std::vector<std::string> lines = reportText(rows);
    if (!settled)
        lines.push_back("(the refinement stopped at its budget with the values still moving by more than 1e-6 of "
                        "themselves: each bar is the sum of the last two changes)");
    return lines;
}

std::string reportNote(const std::string& name, const std::string& text) { return padded(name, 41) + text; }

std::string reportLine(const std::string& name, double value, double error, const std::string& unit) {
    const auto [v, e] = barTexts(value, error);
    return textLine(name, v, e, unit.c_str());
}

std::vector<ReportRow> quantityRows(const ConvergedQuantities& c, const std::vector<Quantity>& order) {
    std::vector<ReportRow> rows;
    for (const Quantity q : order)
        if (c.value.applies(q)) rows.push_back({quantityInfo(q).name, c.value[q], c.error[q], quantityInfo(q).unit});
    return rows;
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (const auto byte = static_cast<unsigned char>(c); byte < 0x20) {
            quoted += "\\u00";
            quoted += "0123456789abcdef"[byte >> 4];
            quoted += "0123456789abcdef"[byte & 15];
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::string indentedJson(const std::string& json) {
    std::string nested;
    for (const char c : json) {
        nested += c;
        if (c == '\n') nested += "  ";
    }
    return nested;
}

JsonObject::JsonObject() : text_("{") {}

void JsonObject::key(const std::string& key) {
    text_ += first_ ? "\n  \"" : ",\n  \"";
    first_ = false;
    text_ += key;
    text_ += "\": ";
}

void JsonObject::add(const std::string& k, double value) {
    key(k);
    text_ += shortestText(value);
}

void JsonObject::add(const std::string& k, bool value) {
    key(k);
    text_ += value ? "true" : "false";
}

void JsonObject::add(const std::string& k, const std::string& text) {
    key(k);
    text_ += jsonString(text);
}

void JsonObject::addQuantity(const std::string& k, double value, double error) {
    addValueAndError(k, shortestText(value), shortestText(error));
}

void JsonObject::addMatrix(const std::string& k, std::size_t n, const std::vector<double>& value,
                           const std::vector<double>& error) {
    assert(value.size() == n * n && error.size() == n * n);
    const auto matrix = [n](const std::vector<double>& m) {
        std::string text = "[";
        for (std::size_t i = 0; i < n; ++i) {
            text += i > 0 ? ", [" : "[";
            for (std::size_t j = 0; j < n; ++j) text += (j > 0 ? ", " : "") + shortestText(m[i * n + j]);
            text += ']';
        }
        return text + "]";
    };
    addValueAndError(k, matrix(value), matrix(error));
}

void JsonObject::addValueAndError(const std::string& k, const std::string& value, const std::string& error) {
    key(k);
    text_ += "{\"value\": ";
    text_ += value;
    text_ += ", \"error\": ";
    text_ += error;
    text_ += '}';
}

void JsonObject::addRaw(const std::string& k, const std::string& json) {
    key(k);
    text_ += json;
}

std::string levelsJson(const std::vector<LevelSolution>& levels, bool vacuum) {
    std::string text = "[";
    for (std::size_t k = 0; k < levels.size(); ++k) {
        const LevelSolution& l = levels[k];
        text += k > 0 ? ", {\"order\": " : "{\"order\": ";
        text += std::to_string(vacuum ? l.vacuumLevel.order : l.level.order);
        text += ", \"panels\": ";
        text += std::to_string(vacuum ? l.vacuumPanels : l.panels);
        text += ", \"unknowns\": ";
        text += std::to_string(vacuum ? l.vacuumUnknowns : l.unknowns);
        text += '}';
    }
    return text + "]";
}

void addConstants(JsonObject& json) {
    json.addRaw("constants", "{\"epsilon0\": " + shortestText(vacuumPermittivity) + ", \"mu0\": " +
                                 shortestText(vacuumPermeability) + ", \"speedOfLight\": " +
                                 shortestText(speedOfLight) + "}");
}

void addQuantities(JsonObject& json, const ConvergedQuantities& c, const std::vector<Quantity>& order) {
    using Q = Quantity;
    // The constants behind every value, so that a reader can convert to others of their own.
    addConstants(json);
    // Whether the refinement settled, or stopped at its budget (the bars then the sum of the last
    // two changes).
    json.add("settled", c.settled);
    for (const Quantity q : order) {
        if (!c.value.applies(q)) continue;
        if (q == Q::maxwell11 || q == Q::maxwell11InAir) {
            const auto at = [&](const QuantityValues& v, std::size_t k) {
                return v[static_cast<Q>(static_cast<std::size_t>(q) + k)];
            };
            const std::vector<double> value = {at(c.value, 0), at(c.value, 1), at(c.value, 2), at(c.value, 3)};
            const std::vector<double> error = {at(c.error, 0), at(c.error, 1), at(c.error, 2), at(c.error, 3)};
            json.addMatrix(q == Q::maxwell11 ? "maxwellMatrix" : "maxwellMatrixInAir", 2, value, error);
            continue;
        }
        if ((q >= Q::maxwell11 && q <= Q::maxwell22) || (q >= Q::maxwell11InAir && q <= Q::maxwell22InAir)) continue;
        json.addQuantity(quantityInfo(q).key, c.value[q], c.error[q]);
    }
}

std::string structureReportJson(const Structure& structure, const std::string& lengthUnit,
                                const ConvergedQuantities& c) {
    return structureReport(structure, lengthUnit, c).text();
}

JsonObject structureReport(const Structure& structure, const std::string& lengthUnit, const ConvergedQuantities& c) {
    JsonObject echo;
    echo.add("kind", std::string(structureName(structure.kind)));
    echo.add("lengthUnit", lengthUnit.empty() ? std::string("as given") : std::string("m"));
    for (const StructureOption& o : structureOptions())
        if (!std::isnan(structure.*o.field)) echo.add(o.name, structure.*o.field);
    JsonObject json;
    json.addRaw("structure", indentedJson(echo.text()));
    json.addRaw("levels", levelsJson(c.levels, false));
    json.addRaw("vacuumLevels", levelsJson(c.levels, true));
    addQuantities(json, c, reportedQuantities(structure, lengthUnit));
    return json;
}

}  // namespace plattor
