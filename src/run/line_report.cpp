#include "run/line_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

// Decimals that end at the second significant digit of the error; -1 if there is none.
int decimalsFor(double error) {
    if (!(error > 0.0) || !std::isfinite(error)) return -1;
    const int firstDigit = static_cast<int>(std::floor(std::log10(error)));
    return std::clamp(1 - firstDigit, 0, 20);
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

std::string textLine(const LineParameters& p, const Row& row) {
    const double scale = displayScale(row.unit);
    const double v = value(p, row) * scale;
    const double e = error(p, row) * scale;
    const int decimals = decimalsFor(e);
    std::string name = row.name;
    if (row.atN) name += " (N = " + numberText(total(p.segmentCounts)) + ")";
    std::string valueText;
    if (row.atN) valueText = numberText(v);  // plattor's digits
    else if (decimals < 0) valueText = printed("%.*g", 10, v);
    else valueText = printed("%.*f", decimals, v);
    const std::string errorText = decimals < 0 ? printed("%.*g", 2, e) : printed("%.*f", decimals, e);
    std::string line = padded(name, 41) + padded(valueText, 14) + " ± " + padded(errorText, 12) + " " +
                       displayUnit(row.unit);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string jsonNumber(double x) { return printed("%.*g", 17, x); }

// Appends `values` as a JSON array. (Built by appending: GCC 12 warns falsely on
// literal + temporary string.)
void appendArray(std::string& text, const double* values, std::size_t count) {
    text += '[';
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) text += ", ";
        text += jsonNumber(values[k]);
    }
    text += ']';
}

void appendMaxwell(std::string& text, const LineValues& v) {
    const double firstRow[] = {v[Q::maxwell11], v[Q::maxwell12]};
    const double secondRow[] = {v[Q::maxwell21], v[Q::maxwell22]};
    text += '[';
    appendArray(text, firstRow, 2);
    text += ", ";
    appendArray(text, secondRow, 2);
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
    text += "},\n  \"levels\": [";
    for (std::size_t k = 0; k < p.levels.size(); ++k) {
        const LineLevel& level = p.levels[k];
        text += k > 0 ? ", {\"order\": " : "{\"order\": ";
        text += std::to_string(level.order);
        text += ", \"panels\": [";
        for (std::size_t c = 0; c < level.panels.size(); ++c) {
            if (c > 0) text += ", ";
            text += std::to_string(level.panels[c]);
        }
        text += "], \"unknowns\": ";
        text += std::to_string(level.unknowns);
        text += '}';
    }
    text += ']';
    for (const Row& row : rows) {
        if (!applies(p, row)) continue;
        if (row.quantity == Q::maxwell11) {
            text += ",\n  \"maxwellMatrix\": {\"value\": ";
            appendMaxwell(text, p.converged);
            text += ", \"error\": ";
            appendMaxwell(text, p.error);
            text += '}';
        }
        if (row.key == nullptr) continue;  // the other Maxwell entries
        text += ",\n  \"";
        text += row.key;
        text += "\": {\"value\": ";
        text += jsonNumber(value(p, row));
        text += ", \"error\": ";
        text += jsonNumber(error(p, row));
        text += '}';
    }
    text += "\n}";
    return text;
}

}  // namespace plattor
