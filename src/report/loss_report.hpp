#pragma once
// A line's losses as text, CSV and JSON: every quantity of each mode with its bar, the models
// named.
#include <string>
#include <utility>
#include <vector>

#include "lines/line_losses.hpp"
#include "report/report.hpp"
#include "section/board_file.hpp"
#include "section/structure_arguments.hpp"

namespace plattor {

// The models behind the values, each its name and what it is: the dielectric's, the conductor's
// and the transition's (these carry no numerical bar), {"dielectric model", "constant er and
// tan delta"}.
std::vector<std::pair<std::string, std::string>> lossModels(const LossRequest& request);

// One value of the losses at a frequency, keyed as in the JSON ("attenuation", a pair's
// "evenModeAttenuation", "differentialImpedanceReal") and named as in the text ("even-mode
// attenuation"), in SI units: those of `quantity`.
struct LossRow {
    std::string key;
    std::string name;
    LossQuantity quantity;
    double value;
    double error;
};
// Every value of a frequency in the order every output reports them: each mode's quantities, then
// a pair's differential (2·Z_odd) and common-mode (Z_even/2) impedances.
std::vector<LossRow> lossRows(const LossesAtFrequency& row);

// The table of one frequency as text: a heading, each mode's quantities (a pair's prefixed
// "even-mode", "odd-mode", then its differential and common-mode impedances), the attenuation per
// inch too where `lengthUnit` is "mil".
std::vector<std::string> lossText(const LineLosses& losses, const LossesAtFrequency& row, const std::string& lengthUnit);

// One CSV line per frequency under a header: frequency, then each quantity and its error.
std::vector<std::string> lossCsv(const LineLosses& losses);

// The losses as a JSON array of frequencies, each with its modes' quantities {"value", "error"}
// in SI units (attenuations in dB/m), and the models.
void addLosses(JsonObject& json, const LineLosses& losses, const LossRequest& request);
// The models alone, as addLosses writes them under "lossModels": a JSON object.
std::string lossModelsJson(const LossRequest& request);

// A frequency in the largest unit it reaches: "5 GHz", "250 MHz", "10 Hz".
std::string frequencyText(double hertz);

// A line's losses and what plattor-lines prints of them: its JSON, and its text (at one
// frequency the line's quantities, the losses and the models; over several the CSV); the line's
// own report besides, as without losses: the quantities it reports, their JSON and their text.
struct LossReport {
    LineLosses losses;
    std::string json;
    std::vector<std::string> text;
    std::vector<Quantity> quantities;
    std::string lineJson;
    std::vector<std::string> lineText;
};
// The losses of a structure, checked in full, or of a cross-section file. Raises RunError for
// lengths without a unit (a resistance depends on the size, not only on the ratios), and as
// checkStructure and lineLosses.
LossReport structureLosses(const StructureInput& input, const LossRequest& request);
LossReport crossSectionLosses(const BoardFile& file, const LossRequest& request);

}  // namespace plattor
