#include "report/loss_report.hpp"

#include <cmath>

#include "base/text.hpp"

namespace plattor {

namespace {

using L = LossQuantity;
constexpr double inchesPerMetre = 1 / 0.0254;

// A mode's prefix in text and its key's: "" for a single trace.
struct ModeName {
    const char* text;
    const char* key;
};
ModeName modeName(const LineLosses& losses, std::size_t mode) {
    if (losses.table.front().modes.size() == 1) return {"", ""};
    return mode == 0 ? ModeName{"even-mode ", "evenMode"} : ModeName{"odd-mode ", "oddMode"};
}

std::string keyed(const char* prefix, const char* key) {
    std::string k = key;
    if (*prefix != '\0') k[0] = static_cast<char>(k[0] - 'a' + 'A');
    return prefix + k;
}

// A pair's quantities from its modes, a·even + b·odd: the differential (2·Z_odd) and common-mode
// (Z_even/2) impedances, and the per-unit-length matrices' entries, X11 = (X_e + X_o)/2 and
// X12 = (X_e − X_o)/2.
struct Derived {
    const char* name;
    const char* key;
    LossQuantity part;
    double even, odd;
};
constexpr Derived derived[] = {
    {"differential impedance, real part", "differentialImpedanceReal", L::impedanceReal, 0.0, 2.0},
    {"differential impedance, imaginary part", "differentialImpedanceImaginary", L::impedanceImaginary, 0.0, 2.0},
    {"common-mode impedance, real part", "commonModeImpedanceReal", L::impedanceReal, 0.5, 0.0},
    {"common-mode impedance, imaginary part", "commonModeImpedanceImaginary", L::impedanceImaginary, 0.5, 0.0},
    {"resistance matrix R11", "resistance11", L::resistance, 0.5, 0.5},
    {"resistance matrix R12", "resistance12", L::resistance, 0.5, -0.5},
    {"inductance matrix L11", "inductance11", L::inductance, 0.5, 0.5},
    {"inductance matrix L12", "inductance12", L::inductance, 0.5, -0.5},
    {"conductance matrix G11", "conductance11", L::conductance, 0.5, 0.5},
    {"conductance matrix G12", "conductance12", L::conductance, 0.5, -0.5},
    {"capacitance matrix C11", "capacitance11", L::capacitance, 0.5, 0.5},
    {"capacitance matrix C12", "capacitance12", L::capacitance, 0.5, -0.5},
};

ValueAndBar combined(const LossesAtFrequency& row, const Derived& d) {
    // C and G as solved, each entry with its own bar.
    if (d.part == L::capacitance || d.part == L::conductance) {
        const std::vector<ValueAndBar>& entries = d.part == L::capacitance ? row.capacitanceEntries : row.conductanceEntries;
        return entries[d.odd > 0 ? 0 : 1];
    }
    const ValueAndBar& e = row.modes[0][d.part];
    const ValueAndBar& o = row.modes[1][d.part];
    return {d.even * e.value + d.odd * o.value, std::fabs(d.even) * e.error + std::fabs(d.odd) * o.error};
}

// The unit and scale of a derived quantity's text: its part's.
const LossQuantityInfo& infoOf(const Derived& d) { return lossQuantityInfo(d.part); }

// Cells that are numbers and keys: joined by commas, nothing to quote.
std::string csvLine(const std::vector<std::string>& cells) {
    std::string line;
    for (const std::string& c : cells) line += (line.empty() ? "" : ",") + c;
    return line;
}

std::string frequencyText(double f) {
    if (f >= 1e9) return numberText(f / 1e9) + " GHz";
    if (f >= 1e6) return numberText(f / 1e6) + " MHz";
    if (f >= 1e3) return numberText(f / 1e3) + " kHz";
    return numberText(f) + " Hz";
}

}  // namespace

std::vector<std::string> lossModels(const LossRequest& r) {
    const DielectricSettings& d = r.dielectric;
    std::vector<std::string> lines;
    lines.push_back(reportNote("dielectric model", d.model == DielectricModel::constant
                                                       ? std::string("constant er and tan delta")
                                                       : "Djordjevic-Sarkar wideband, fitted at " +
                                                             frequencyText(d.fitFrequency)));
    const ConductorSettings& c = r.conductor;
    std::string conductor = "conductivity " + numberText(c.conductivity) + " S/m, ";
    switch (c.roughness) {
        case Roughness::smooth: conductor += "smooth"; break;
        case Roughness::hammerstad: conductor += "Hammerstad roughness, Rq " + numberText(c.rq * 1e6) + " um"; break;
        case Roughness::groisse: conductor += "Groisse roughness, Rq " + numberText(c.rq * 1e6) + " um"; break;
        case Roughness::huray: conductor += "Huray roughness (cannonball), Rz " + numberText(c.rz * 1e6) + " um"; break;
    }
    lines.push_back(reportNote("conductor model", conductor));
    lines.push_back(reportNote("DC to skin effect", "plane-conductor model, no error bar"));
    return lines;
}

std::vector<std::string> lossText(const LineLosses& losses, const LossesAtFrequency& row, const std::string& lengthUnit) {
    std::vector<std::string> lines{"at " + frequencyText(row.frequency) + ":"};
    if (!losses.noConductorLoss.empty()) lines.push_back(losses.noConductorLoss);
    for (std::size_t m = 0; m < row.modes.size(); ++m) {
        const ModeName name = modeName(losses, m);
        for (std::size_t k = 0; k < lossQuantityCount; ++k) {
            const LossQuantityInfo& info = lossQuantityInfo(static_cast<L>(k));
            const ValueAndBar& v = row.modes[m].values[k];
            lines.push_back(reportLine(name.text + std::string(info.name), v.value * info.scale, v.error * info.scale,
                                       info.unit));
            if (lengthUnit == "mil" && static_cast<L>(k) == L::attenuation)
                lines.push_back(reportLine(name.text + std::string("attenuation per inch"), v.value / inchesPerMetre,
                                           v.error / inchesPerMetre, "dB/in"));
        }
    }
    if (row.modes.size() == 2)
        for (const Derived& d : derived) {
            const ValueAndBar v = combined(row, d);
            lines.push_back(reportLine(d.name, v.value * infoOf(d).scale, v.error * infoOf(d).scale, infoOf(d).unit));
        }
    return lines;
}

std::vector<std::string> lossCsv(const LineLosses& losses) {
    std::vector<std::string> header{"frequency"};
    const std::size_t modes = losses.table.front().modes.size();
    for (std::size_t m = 0; m < modes; ++m)
        for (std::size_t k = 0; k < lossQuantityCount; ++k) {
            const std::string key = keyed(modeName(losses, m).key, lossQuantityInfo(static_cast<L>(k)).key);
            header.push_back(key);
            header.push_back(key + "Error");
        }
    if (modes == 2)
        for (const Derived& d : derived) header.push_back(d.key), header.push_back(std::string(d.key) + "Error");
    std::vector<std::string> lines{csvLine(header)};
    for (const LossesAtFrequency& row : losses.table) {
        std::vector<std::string> cells{shortestText(row.frequency)};
        for (const ModeLosses& mode : row.modes)
            for (const ValueAndBar& v : mode.values) cells.push_back(shortestText(v.value)), cells.push_back(shortestText(v.error));
        if (modes == 2)
            for (const Derived& d : derived) {
                const ValueAndBar v = combined(row, d);
                cells.push_back(shortestText(v.value));
                cells.push_back(shortestText(v.error));
            }
        lines.push_back(csvLine(cells));
    }
    return lines;
}

void addLosses(JsonObject& json, const LineLosses& losses, const LossRequest& request) {
    JsonObject models;
    models.add("dielectric", std::string(request.dielectric.model == DielectricModel::constant ? "constant"
                                                                                               : "djordjevicSarkar"));
    if (request.dielectric.model != DielectricModel::constant) models.add("fitFrequency", request.dielectric.fitFrequency);
    models.add("conductivity", request.conductor.conductivity);
    const char* roughness[] = {"smooth", "hammerstad", "groisse", "huray"};
    models.add("roughness", std::string(roughness[static_cast<int>(request.conductor.roughness)]));
    if (request.conductor.rq > 0) models.add("rq", request.conductor.rq);
    if (request.conductor.rz > 0) models.add("rz", request.conductor.rz);
    models.add("transition", std::string("planeConductor"));
    json.addRaw("lossModels", indentedJson(models.text()));
    if (!losses.noConductorLoss.empty()) json.add("conductorLoss", losses.noConductorLoss);
    std::string rows = "[";
    for (std::size_t r = 0; r < losses.table.size(); ++r) {
        const LossesAtFrequency& row = losses.table[r];
        JsonObject o;
        o.add("frequency", row.frequency);
        for (std::size_t m = 0; m < row.modes.size(); ++m)
            for (std::size_t k = 0; k < lossQuantityCount; ++k) {
                const ValueAndBar& v = row.modes[m].values[k];
                o.addQuantity(keyed(modeName(losses, m).key, lossQuantityInfo(static_cast<L>(k)).key), v.value, v.error);
            }
        if (row.modes.size() == 2)
            for (const Derived& d : derived) {
                const ValueAndBar v = combined(row, d);
                o.addQuantity(d.key, v.value, v.error);
            }
        rows += (r ? ", " : "") + indentedJson(o.text());
    }
    json.addRaw("losses", rows + "]");
}

}  // namespace plattor
