#include "run/line_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "matrix/text.hpp"

namespace plattor {

namespace {

using Q = LineQuantity;

enum class Unit { capacitance, impedance, ratio };

// A reported line: the value at N (as plattor computes it) or the converged one.
struct Row {
    Q quantity;
    bool atN;
    const char* name;  // text; the rows at N get the total segment count appended
    const char* key;   // JSON
    Unit unit;
};

constexpr Row rows[] = {
    {Q::stripToStripCapacitance, true, "strip-to-strip capacitance", "stripToStripCapacitanceAtN", Unit::capacitance},
    {Q::stripToStripCapacitance, false, "strip-to-strip capacitance (converged)", "stripToStripCapacitance",
     Unit::capacitance},
    {Q::stripToGroundCapacitance, true, "strip-to-ground capacitance", "stripToGroundCapacitanceAtN",
     Unit::capacitance},
    {Q::stripToGroundCapacitance, false, "strip-to-ground capacitance (converged)", "stripToGroundCapacitance",
     Unit::capacitance},
    {Q::maxwell11, false, "Maxwell matrix C11", nullptr, Unit::capacitance},
    {Q::maxwell12, false, "Maxwell matrix C12", nullptr, Unit::capacitance},
    {Q::maxwell21, false, "Maxwell matrix C21", nullptr, Unit::capacitance},
    {Q::maxwell22, false, "Maxwell matrix C22", nullptr, Unit::capacitance},
    {Q::evenModeCapacitance, false, "even-mode capacitance", "evenModeCapacitance", Unit::capacitance},
    {Q::oddModeCapacitance, false, "odd-mode capacitance", "oddModeCapacitance", Unit::capacitance},
    {Q::evenModeImpedance, false, "even-mode impedance", "evenModeImpedance", Unit::impedance},
    {Q::oddModeImpedance, false, "odd-mode impedance", "oddModeImpedance", Unit::impedance},
    {Q::differentialImpedance, false, "differential impedance", "differentialImpedance", Unit::impedance},
    {Q::commonModeImpedance, false, "common-mode impedance", "commonModeImpedance", Unit::impedance},
    {Q::couplingCoefficient, false, "coupling coefficient", "couplingCoefficient", Unit::ratio},
    {Q::lineImpedance, false, "line impedance", "lineImpedance", Unit::impedance},
};

bool applies(const LineParameters& p, const Row& row) {
    return !std::isnan(p.converged[row.quantity]) && !(row.atN && std::isnan(p.atN[row.quantity]));
}

double value(const LineParameters& p, const Row& row) { return (row.atN ? p.atN : p.converged)[row.quantity]; }
double error(const LineParameters& p, const Row& row) { return (row.atN ? p.errorAtN : p.error)[row.quantity]; }

// Text: capacitances in pF/m.
double displayScale(Unit unit) { return unit == Unit::capacitance ? 1e12 : 1.0; }
const char* displayUnit(Unit unit) {
    switch (unit) {
        case Unit::capacitance: return "pF/m";
        case Unit::impedance: return "ohm";
        case Unit::ratio: break;
    }
    return "";
}

std::string printed(const char* format, int precision, double x) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, x);
    return text;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// name, value, "± error", unit. The value is quoted to the decimal place of the error's second
// significant digit (at most the units), unless `valueText` gives it (plattor's own text, for
// the values at N). An error of 0, as vacuum's exact permittivity has, gives no place: the
// value gets ten significant digits.
std::string quantityLine(const std::string& name, double v, double e, Unit unit, std::string valueText = "") {
    const double scale = displayScale(unit);
    v *= scale;
    e *= scale;
    const int decimals = errorDecimals(e);
    if (valueText.empty()) valueText = decimals < 0 ? printed("%.*g", 10, v) : printed("%.*f", decimals, v);
    const std::string errorText = decimals < 0 ? printed("%.*g", 2, e) : printed("%.*f", decimals, e);
    std::string line =
        padded(name, 41) + padded(valueText, 14) + " ± " + padded(errorText, 12) + " " + displayUnit(unit);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string textLine(const LineParameters& p, const Row& row) {
    if (!row.atN) return quantityLine(row.name, value(p, row), error(p, row), row.unit);
    const std::size_t n = std::accumulate(p.segmentCounts.begin(), p.segmentCounts.end(), std::size_t{0});
    const std::string name = std::string(row.name) + " (N = " + std::to_string(n) + ")";
    return quantityLine(name, value(p, row), error(p, row), row.unit, numberText(value(p, row) * 1e12));
}

std::string jsonNumber(double x) { return shortestText(x); }  // 4.4, not 4.4000000000000004

// Appends `values` as a JSON array. (Built by appending: GCC 12 warns falsely on
// literal + temporary string.)
template <class Number>
void appendArray(std::string& text, const Number* values, std::size_t count) {
    text += '[';
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) text += ", ";
        text += jsonNumber(static_cast<double>(values[k]));
    }
    text += ']';
}

// Appends [[a, b], [c, d]].
void appendTwoByTwo(std::string& text, double a, double b, double c, double d) {
    const double firstRow[] = {a, b};
    const double secondRow[] = {c, d};
    text += '[';
    appendArray(text, firstRow, 2);
    text += ", ";
    appendArray(text, secondRow, 2);
    text += ']';
}

void appendMaxwell(std::string& text, const LineValues& v) {
    appendTwoByTwo(text, v[Q::maxwell11], v[Q::maxwell12], v[Q::maxwell21], v[Q::maxwell22]);
}

// Appends the member `"key": {"value": v, "error": e}` on a line of its own.
void appendQuantity(std::string& text, const char* key, double v, double e) {
    text += ",\n  \"";
    text += key;
    text += "\": {\"value\": ";
    text += jsonNumber(v);
    text += ", \"error\": ";
    text += jsonNumber(e);
    text += '}';
}

using S = SubstrateQuantity;

struct SubstrateRow {
    S quantity;
    const char* name;
    const char* key;  // JSON; nullptr for the Maxwell entries, written as matrices
    Unit unit;
};

constexpr SubstrateRow substrateRows[] = {
    {S::maxwell11, "Maxwell matrix C11", nullptr, Unit::capacitance},
    {S::maxwell12, "Maxwell matrix C12", nullptr, Unit::capacitance},
    {S::maxwell21, "Maxwell matrix C21", nullptr, Unit::capacitance},
    {S::maxwell22, "Maxwell matrix C22", nullptr, Unit::capacitance},
    {S::stripToStripCapacitance, "strip-to-strip capacitance", "stripToStripCapacitance", Unit::capacitance},
    {S::stripToGroundCapacitance, "strip-to-ground capacitance", "stripToGroundCapacitance", Unit::capacitance},
    {S::airMaxwell11, "Maxwell matrix C11 in air", nullptr, Unit::capacitance},
    {S::airMaxwell12, "Maxwell matrix C12 in air", nullptr, Unit::capacitance},
    {S::airMaxwell21, "Maxwell matrix C21 in air", nullptr, Unit::capacitance},
    {S::airMaxwell22, "Maxwell matrix C22 in air", nullptr, Unit::capacitance},
    {S::airStripToStripCapacitance, "strip-to-strip capacitance in air", "stripToStripCapacitanceInAir",
     Unit::capacitance},
    {S::airStripToGroundCapacitance, "strip-to-ground capacitance in air", "stripToGroundCapacitanceInAir",
     Unit::capacitance},
    {S::evenModeCapacitance, "even-mode capacitance", "evenModeCapacitance", Unit::capacitance},
    {S::evenModeAirCapacitance, "even-mode capacitance in air", "evenModeCapacitanceInAir", Unit::capacitance},
    {S::evenModePermittivity, "even-mode effective permittivity", "evenModeEffectivePermittivity", Unit::ratio},
    {S::evenModeImpedance, "even-mode impedance", "evenModeImpedance", Unit::impedance},
    {S::oddModeCapacitance, "odd-mode capacitance", "oddModeCapacitance", Unit::capacitance},
    {S::oddModeAirCapacitance, "odd-mode capacitance in air", "oddModeCapacitanceInAir", Unit::capacitance},
    {S::oddModePermittivity, "odd-mode effective permittivity", "oddModeEffectivePermittivity", Unit::ratio},
    {S::oddModeImpedance, "odd-mode impedance", "oddModeImpedance", Unit::impedance},
    {S::differentialImpedance, "differential impedance", "differentialImpedance", Unit::impedance},
    {S::commonModeImpedance, "common-mode impedance", "commonModeImpedance", Unit::impedance},
    {S::couplingCoefficient, "coupling coefficient", "couplingCoefficient", Unit::ratio},
};

// The Maxwell matrix whose first entry (C11) is `first`, the others following it in row order.
void appendMatrix(std::string& text, const SubstrateValues& v, S first) {
    const auto at = [&](std::size_t k) { return v[static_cast<S>(static_cast<std::size_t>(first) + k)]; };
    appendTwoByTwo(text, at(0), at(1), at(2), at(3));
}

// A level's panels: per conductor for the free-space ladder, one count for the substrate's.
void appendPanels(std::string& text, const std::vector<std::size_t>& panels) {
    appendArray(text, panels.data(), panels.size());
}
void appendPanels(std::string& text, std::size_t panels) { text += std::to_string(panels); }

// Appends [{"order": p, "panels": …, "unknowns": n}, …].
template <class Level>
void appendLevels(std::string& text, const std::vector<Level>& levels) {
    text += '[';
    for (std::size_t k = 0; k < levels.size(); ++k) {
        text += k > 0 ? ", {\"order\": " : "{\"order\": ";
        text += std::to_string(levels[k].order);
        text += ", \"panels\": ";
        appendPanels(text, levels[k].panels);
        text += ", \"unknowns\": ";
        text += std::to_string(levels[k].unknowns);
        text += '}';
    }
    text += ']';
}

}  // namespace

std::vector<std::string> lineReportText(const LineParameters& p) {
    std::vector<std::string> lines;
    for (const Row& row : rows)
        if (applies(p, row)) lines.push_back(textLine(p, row));
    return lines;
}

std::string lineReportJson(const LineParameters& p) {
    std::string text = "{\n  \"groundPlane\": ";
    text += p.groundPlaneCase ? "true" : "false";
    text += ",\n  \"segmentCounts\": {\"N\": ";
    appendArray(text, p.segmentCounts.data(), p.segmentCounts.size());
    text += "},\n  \"levels\": ";
    appendLevels(text, p.levels);
    for (const Row& row : rows) {
        if (!applies(p, row)) continue;
        if (row.quantity == Q::maxwell11) {
            text += ",\n  \"maxwellMatrix\": {\"value\": ";
            appendMaxwell(text, p.converged);
            text += ", \"error\": ";
            appendMaxwell(text, p.error);
            text += '}';
        }
        if (row.key != nullptr) appendQuantity(text, row.key, value(p, row), error(p, row));  // not the Maxwell entries
    }
    text += "\n}";
    return text;
}

std::vector<std::string> substrateReportText(const SubstrateParameters& p) {
    std::vector<std::string> lines;
    for (const SubstrateRow& row : substrateRows)
        lines.push_back(quantityLine(row.name, p.converged[row.quantity], p.error[row.quantity], row.unit));
    return lines;
}

std::string substrateReportJson(const SubstrateParameters& p, const LineParameters& air) {
    std::string text = "{\n  \"groundPlane\": true,\n  \"permittivity\": ";
    text += jsonNumber(p.permittivity);
    text += ",\n  \"segmentCounts\": {\"N\": ";
    appendArray(text, air.segmentCounts.data(), air.segmentCounts.size());
    text += "},\n  \"levels\": ";
    appendLevels(text, air.levels);
    text += ",\n  \"substrateLevels\": ";
    appendLevels(text, p.levels);
    for (const auto& [first, key] : {std::pair{S::maxwell11, "maxwellMatrix"}, std::pair{S::airMaxwell11, "maxwellMatrixInAir"}}) {
        text += ",\n  \"";
        text += key;
        text += "\": {\"value\": ";
        appendMatrix(text, p.converged, first);
        text += ", \"error\": ";
        appendMatrix(text, p.error, first);
        text += '}';
    }
    for (const SubstrateRow& row : substrateRows)
        if (row.key != nullptr) appendQuantity(text, row.key, p.converged[row.quantity], p.error[row.quantity]);
    text += "\n}";
    return text;
}

}  // namespace plattor
