#include "report/conductor_report.hpp"

#include <cassert>
#include <cmath>

#include "base/text.hpp"

namespace plattor {

namespace {

std::string between(const std::vector<std::string>& names, std::size_t i, std::size_t j) {
    return names[i] + "," + names[j];
}

std::vector<ReportRow> matrixRows(const ConductorMatrices& m, const std::vector<std::string>& names) {
    const struct {
        const char* symbol;
        const std::vector<MatrixEntry>& entries;
        Unit unit;
    } matrices[] = {{"C", m.capacitance, Unit::capacitance},
                    {"C_air", m.capacitanceInAir, Unit::capacitance},
                    {"L", m.inductance, Unit::inductance},
                    {"Zc", m.impedance, Unit::impedance}};
    std::vector<ReportRow> rows;
    for (const auto& matrix : matrices)
        for (std::size_t i = 0; i < m.n; ++i)
            for (std::size_t j = i; j < m.n; ++j) {
                const MatrixEntry e = matrix.entries[i * m.n + j];
                std::string name = matrix.symbol;
                name += '[';
                name += between(names, i, j);
                name += ']';
                rows.push_back({name, e.value, e.error, matrix.unit});
            }
    return rows;
}

std::vector<ReportRow> modeRows(const ConductorMatrices& m, std::size_t k) {
    const std::string mode = "mode " + std::to_string(k + 1);
    const MatrixEntry eps = m.modeEffectivePermittivity[k], z = m.modeImpedance[k];
    std::vector<ReportRow> rows = {{mode + " effective permittivity", eps.value, eps.error, Unit::ratio}};
    if (!std::isnan(z.value)) rows.push_back({mode + " impedance", z.value, z.error, Unit::impedance});
    return rows;
}

std::vector<ReportRow> couplingRows(const ConductorMatrices& m, const std::vector<std::string>& names) {
    std::vector<ReportRow> rows;
    for (const ConductorMatrices::Coupling& x : m.crosstalk) {
        std::string ij = " ";
        ij += between(names, x.i, x.j);
        rows.push_back({"near-end crosstalk" + ij, x.nearEnd.value, x.nearEnd.error, Unit::ratio});
        // Per unit length per rise time: s/m, the unit of a delay.
        rows.push_back({"far-end crosstalk" + ij, x.farEnd.value, x.farEnd.error, Unit::delay});
    }
    for (const ConductorMatrices::Pair& p : m.pairs) {
        std::string fs = " ";
        fs += between(names, p.first, p.second);
        rows.push_back({"differential impedance" + fs, p.differential.value, p.differential.error, Unit::impedance});
        rows.push_back({"common-mode impedance" + fs, p.commonMode.value, p.commonMode.error, Unit::impedance});
        rows.push_back({"odd-mode impedance" + fs, p.oddMode.value, p.oddMode.error, Unit::impedance});
        rows.push_back({"even-mode impedance" + fs, p.evenMode.value, p.evenMode.error, Unit::impedance});
        rows.push_back({"coupling coefficient" + fs, p.coupling.value, p.coupling.error, Unit::ratio});
    }
    return rows;
}

void append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
}

std::string quantityJson(const MatrixEntry& e) {
    return "{\"value\": " + shortestText(e.value) + ", \"error\": " + shortestText(e.error) + "}";
}

// A JSON array of elements already written, one per line under a member.
std::string arrayJson(const std::vector<std::string>& elements) {
    if (elements.empty()) return "[]";
    std::string text = "[";
    for (std::size_t k = 0; k < elements.size(); ++k) text += (k > 0 ? ",\n    " : "\n    ") + elements[k];
    return text + "\n  ]";
}

// (Built by appending: GCC 12 warns falsely on a literal plus a temporary string.)
std::string namesJson(const std::vector<std::string>& names, std::size_t i, std::size_t j) {
    std::string text = "[";
    text += jsonString(names[i]);
    text += ", ";
    text += jsonString(names[j]);
    return text + "]";
}

}  // namespace

std::vector<std::string> conductorText(const ConductorMatrices& m, const std::vector<std::string>& names) {
    assert(names.size() == m.n);
    std::vector<std::string> lines = reportText(matrixRows(m, names));
    std::string undefined;
    for (std::size_t k = 0; k < m.n; ++k) {
        append(lines, reportText(modeRows(m, k)));
        std::string voltages;
        for (std::size_t i = 0; i < m.n; ++i) {
            // Six decimals; a component that rounds to zero without its sign.
            std::string v = formatted("%.*f", 6, m.modeVoltages[k][i]);
            if (v == "-0.000000") v.erase(0, 1);
            voltages += (i > 0 ? ", " : "") + names[i] + " " + v;
        }
        lines.push_back(reportNote("mode " + std::to_string(k + 1) + " voltages", voltages));
        if (std::isnan(m.modeImpedance[k].value)) undefined += (undefined.empty() ? "" : ", ") + std::to_string(k + 1);
    }
    append(lines, reportText(couplingRows(m, names)));
    if (!undefined.empty())
        lines.push_back("(no impedance for modes " + undefined +
                        ": each travels at a neighbour's speed within their bars, so every combination of them is a "
                        "mode)");
    append(lines, reportText({}, m.settled));
    return lines;
}

std::vector<ReportRow> conductorRows(const ConductorMatrices& m, const std::vector<std::string>& names) {
    std::vector<ReportRow> rows = matrixRows(m, names);
    for (std::size_t k = 0; k < m.n; ++k) {
        const std::vector<ReportRow> mode = modeRows(m, k);
        rows.insert(rows.end(), mode.begin(), mode.end());
    }
    const std::vector<ReportRow> coupling = couplingRows(m, names);
    rows.insert(rows.end(), coupling.begin(), coupling.end());
    return rows;
}

void addConductorMatrices(JsonObject& json, const ConductorMatrices& m, const std::vector<std::string>& names) {
    assert(names.size() == m.n);
    std::string conductors = "[";
    for (std::size_t i = 0; i < m.n; ++i) conductors += (i > 0 ? ", " : "") + jsonString(names[i]);
    json.addRaw("conductors", conductors + "]");
    json.add("settled", m.settled);
    const auto matrix = [&](const char* key, const std::vector<MatrixEntry>& entries) {
        std::vector<double> value, error;
        for (const MatrixEntry& e : entries) value.push_back(e.value), error.push_back(e.error);
        json.addMatrix(key, m.n, value, error);
    };
    matrix("capacitanceMatrix", m.capacitance);
    matrix("capacitanceMatrixInAir", m.capacitanceInAir);
    matrix("inductanceMatrix", m.inductance);
    matrix("impedanceMatrix", m.impedance);

    std::vector<std::string> modes;
    for (std::size_t k = 0; k < m.n; ++k) {
        std::string mode = "{\"effectivePermittivity\": " + quantityJson(m.modeEffectivePermittivity[k]);
        if (!std::isnan(m.modeImpedance[k].value)) mode += ", \"impedance\": " + quantityJson(m.modeImpedance[k]);
        mode += ", \"voltages\": [";
        for (std::size_t i = 0; i < m.n; ++i) mode += (i > 0 ? ", " : "") + shortestText(m.modeVoltages[k][i]);
        modes.push_back(mode + "]}");
    }
    json.addRaw("modes", arrayJson(modes));

    std::vector<std::string> crosstalk;
    for (const ConductorMatrices::Coupling& x : m.crosstalk)
        crosstalk.push_back("{\"between\": " + namesJson(names, x.i, x.j) + ", \"nearEnd\": " +
                            quantityJson(x.nearEnd) + ", \"farEnd\": " + quantityJson(x.farEnd) + "}");
    json.addRaw("crosstalk", arrayJson(crosstalk));

    std::vector<std::string> pairs;
    for (const ConductorMatrices::Pair& p : m.pairs)
        pairs.push_back("{\"conductors\": " + namesJson(names, p.first, p.second) +
                        ", \"differentialImpedance\": " + quantityJson(p.differential) +
                        ", \"commonModeImpedance\": " + quantityJson(p.commonMode) +
                        ", \"oddModeImpedance\": " + quantityJson(p.oddMode) +
                        ", \"evenModeImpedance\": " + quantityJson(p.evenMode) +
                        ", \"couplingCoefficient\": " + quantityJson(p.coupling) + "}");
    json.addRaw("pairs", arrayJson(pairs));
}

}  // namespace plattor
