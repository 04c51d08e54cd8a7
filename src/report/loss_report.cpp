#include "report/loss_report.hpp"

#include <cmath>

#include "base/error.hpp"
#include "base/csv_text.hpp"
#include "base/text.hpp"
#include "physics/constants.hpp"
#include "report/board_report.hpp"
#include "section/board_section.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

using L = LossQuantity;

// A pair's modes' prefixes in text and in their keys.
struct ModeName {
    const char* text;
    const char* key;
};
constexpr ModeName modeNames[] = {{"even-mode ", "evenMode"}, {"odd-mode ", "oddMode"}};

std::string keyed(const char* prefix, const char* key) {
    std::string k = key;
    if (*prefix != '\0') k[0] = static_cast<char>(k[0] - 'a' + 'A');
    return prefix + k;
}

// A pair's quantities from its modes, a·even + b·odd: the differential (2·Z_odd) and common-mode
// (Z_even/2) impedances, and the per-unit-length matrices' entries, X11 = (X_e + X_o)/2 and
// X12 = (X_e − X_o)/2 (C and G as solved, each entry with the bar of its own climb): the
// characteristic impedance matrix Zc = [[(Ze + Zo)/2, (Ze − Zo)/2], …], R, L, G and C.
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
    {"impedance matrix Z11, real part", "impedance11Real", L::impedanceReal, 0.5, 0.5},
    {"impedance matrix Z11, imaginary part", "impedance11Imaginary", L::impedanceImaginary, 0.5, 0.5},
    {"impedance matrix Z12, real part", "impedance12Real", L::impedanceReal, 0.5, -0.5},
    {"impedance matrix Z12, imaginary part", "impedance12Imaginary", L::impedanceImaginary, 0.5, -0.5},
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
    if (d.part == L::capacitance || d.part == L::conductance) {
        const std::vector<ValueAndBar>& entries = d.part == L::capacitance ? row.capacitanceEntries : row.conductanceEntries;
        return entries[d.odd > 0 ? 0 : 1];
    }
    const ValueAndBar& e = row.modes[0][d.part];
    const ValueAndBar& o = row.modes[1][d.part];
    return {d.even * e.value + d.odd * o.value, std::fabs(d.even) * e.error + std::fabs(d.odd) * o.error};
}


// The board's lengths must be in metres: a structure's or a file's lengths with units.
void needUnits(bool units) {
    if (!units)
        throw RunError("losses need the lengths with a unit (m, mm, um or mil): a resistance depends on the size, "
                       "not only on the ratios");
}

// The report of the losses after the line's own: its quantities of `order`, and its JSON so far.
LossReport reported(LineLosses losses, const LossRequest& request, JsonObject json, const std::vector<Quantity>& order,
                    const std::string& lengthUnit) {
    LossReport r;
    r.quantities = order;
    r.lineJson = json.text();
    r.lineText = reportText(quantityRows(losses.solution, order), losses.solution);
    addLosses(json, losses, request);
    r.json = json.text();
    if (losses.table.size() > 1) {
        r.text = lossCsv(losses);
    } else {
        r.text = r.lineText;
        for (const std::string& l : lossText(losses, losses.table.front(), lengthUnit)) r.text.push_back(l);
        for (const auto& [name, model] : lossModels(request)) r.text.push_back(reportNote(name, model));
    }
    r.losses = std::move(losses);
    return r;
}

}  // namespace

std::string frequencyText(double f) {
    if (f >= 1e9) return numberText(f / 1e9) + " GHz";
    if (f >= 1e6) return numberText(f / 1e6) + " MHz";
    if (f >= 1e3) return numberText(f / 1e3) + " kHz";
    return numberText(f) + " Hz";
}

std::vector<std::pair<std::string, std::string>> lossModels(const LossRequest& r) {
    const DielectricSettings& d = r.dielectric;
    std::vector<std::pair<std::string, std::string>> lines;
    lines.emplace_back("dielectric model", d.model == DielectricModel::constant
                                               ? std::string("constant er and tan delta")
                                               : "Djordjevic-Sarkar wideband, fitted at " + frequencyText(d.fitFrequency));
    const ConductorSettings& c = r.conductor;
    std::string conductor = "conductivity " + numberText(c.conductivity) + " S/m, ";
    switch (c.roughness) {
        case Roughness::smooth: conductor += "smooth"; break;
        case Roughness::hammerstad: conductor += "Hammerstad roughness, Rq " + numberText(c.rq * 1e6) + " um"; break;
        case Roughness::groisse: conductor += "Groisse roughness, Rq " + numberText(c.rq * 1e6) + " um"; break;
        case Roughness::huray: conductor += "Huray roughness (cannonball), Rz " + numberText(c.rz * 1e6) + " um"; break;
    }
    lines.emplace_back("conductor model", conductor);
    lines.emplace_back("DC to skin effect", "plane-conductor model, no error bar");
    return lines;
}

std::vector<LossRow> lossRows(const LossesAtFrequency& row) {
    std::vector<LossRow> rows;
    const std::size_t modes = row.modes.size();
    for (std::size_t m = 0; m < modes; ++m) {
        const ModeName mode = modes == 1 ? ModeName{"", ""} : modeNames[m];
        for (std::size_t k = 0; k < lossQuantityCount; ++k) {
            const LossQuantityInfo& info = lossQuantityInfo(static_cast<L>(k));
            const ValueAndBar& v = row.modes[m].values[k];
            rows.push_back({keyed(mode.key, info.key), mode.text + std::string(info.name), static_cast<L>(k), v.value,
                            v.error});
        }
    }
    if (modes == 2)
        for (const Derived& d : derived) {
            const ValueAndBar v = combined(row, d);
            rows.push_back({d.key, d.name, d.part, v.value, v.error});
        }
    return rows;
}

std::vector<std::string> lossText(const LineLosses& losses, const LossesAtFrequency& row, const std::string& lengthUnit) {
    std::vector<std::string> lines{"at " + frequencyText(row.frequency) + ":"};
    if (!losses.noConductorLoss.empty()) lines.push_back(losses.noConductorLoss);
    for (const LossRow& r : lossRows(row)) {
        const LossQuantityInfo& info = lossQuantityInfo(r.quantity);
        lines.push_back(reportLine(r.name, r.value * info.scale, r.error * info.scale, info.unit));
        if (lengthUnit == "mil" && r.quantity == L::attenuation)
            lines.push_back(reportLine(r.name + " per inch", r.value * metresPerInch, r.error * metresPerInch, "dB/in"));
    }
    return lines;
}

std::vector<std::string> lossCsv(const LineLosses& losses) {
    std::vector<std::string> header{"frequency"};
    for (const LossRow& r : lossRows(losses.table.front())) header.push_back(r.key), header.push_back(r.key + "Error");
    std::vector<std::string> lines{csvLine(header)};
    for (const LossesAtFrequency& row : losses.table) {
        std::vector<std::string> cells{shortestText(row.frequency)};
        for (const LossRow& r : lossRows(row)) cells.push_back(shortestText(r.value)), cells.push_back(shortestText(r.error));
        lines.push_back(csvLine(cells));
    }
    return lines;
}

std::string lossModelsJson(const LossRequest& request) {
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
    return models.text();
}

void addLosses(JsonObject& json, const LineLosses& losses, const LossRequest& request) {
    json.addRaw("lossModels", indentedJson(lossModelsJson(request)));
    if (!losses.noConductorLoss.empty()) json.add("conductorLoss", losses.noConductorLoss);
    std::string rows = "[";
    for (std::size_t k = 0; k < losses.table.size(); ++k) {
        JsonObject o;
        o.add("frequency", losses.table[k].frequency);
        for (const LossRow& r : lossRows(losses.table[k])) o.addQuantity(r.key, r.value, r.error);
        rows += (k ? ", " : "") + indentedJson(o.text());
    }
    json.addRaw("losses", rows + "]");
}

LossReport structureLosses(const StructureInput& input, const LossRequest& request) {
    checkStructure(input.structure);
    needUnits(!input.lengthUnit.empty());
    LineLosses losses = lineLosses(structureBoard(input.structure), request);
    JsonObject json = structureReport(input.structure, input.lengthUnit, losses.solution);
    return reported(std::move(losses), request, std::move(json), reportedQuantities(input.structure, input.lengthUnit),
                    input.lengthUnit);
}

LossReport crossSectionLosses(const BoardFile& file, const LossRequest& request) {
    const Board board = file.board();
    needUnits(board.lengthUnit == "m");
    LineLosses losses = lineLosses(board, request);
    const std::vector<Quantity>& order =
        reportedQuantities(losses.solution.value.applies(Quantity::oddModeImpedance), file.displayUnit());
    JsonObject json;
    json.addRaw("crossSection", indentedJson(boardJson(board, file.displayUnit())));
    addQuantities(json, losses.solution, order);
    return reported(std::move(losses), request, std::move(json), order, file.displayUnit());
}

}  // namespace plattor
