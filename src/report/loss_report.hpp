#pragma once
// A line's losses as text, CSV and JSON: every quantity of each mode with its bar, the models
// named.
#include <string>
#include <vector>

#include "lines/line_losses.hpp"
#include "report/report.hpp"

namespace plattor {

// The models behind the values, in one line each: the dielectric's, the conductor's and the
// transition's (these carry no numerical bar).
std::vector<std::string> lossModels(const LossRequest& request);

// The table of one frequency as text: a heading, each mode's quantities (a pair's prefixed
// "even-mode", "odd-mode", then its differential and common-mode impedances), the attenuation per
// inch too where `lengthUnit` is "mil".
std::vector<std::string> lossText(const LineLosses& losses, const LossesAtFrequency& row, const std::string& lengthUnit);

// One CSV line per frequency under a header: frequency, then each quantity and its error.
std::vector<std::string> lossCsv(const LineLosses& losses);

// The losses as a JSON array of frequencies, each with its modes' quantities {"value", "error"}
// in SI units (attenuations in dB/m), and the models.
void addLosses(JsonObject& json, const LineLosses& losses, const LossRequest& request);

}  // namespace plattor
