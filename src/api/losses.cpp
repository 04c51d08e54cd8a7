// The public API of a line's losses: the settings written as plattor-lines' options, so that they
// pass its one check with its messages, and the losses read from its one report.
#include "api/line_access.hpp"
#include "base/text.hpp"
#include "lines/loss_options.hpp"
#include "report/loss_report.hpp"
#include "section/board_file.hpp"

namespace plattor {

namespace {

// The settings and the frequencies as plattor-lines' options: numbers as their shortest text,
// which reads back to the same double, lengths in metres; no frequencies, no --freq.
LossOptions lossOptions(const std::vector<double>& frequencies, const LossSettings& s) {
    LossOptions o;
    std::string list;
    for (const double f : frequencies) {
        if (!list.empty()) list += ',';
        list += shortestText(f);
    }
    if (!frequencies.empty()) o.freq = list;
    o.dkModel = s.dkModel;
    if (s.dkFreq) o.dkFreq = shortestText(*s.dkFreq);
    if (s.sigma) o.sigma = shortestText(*s.sigma);
    o.roughness = s.roughness;
    if (s.rq) o.rq = shortestText(*s.rq) + "m";
    if (s.rz) o.rz = shortestText(*s.rz) + "m";
    return o;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += (text.empty() ? "" : "\n") + l;
    return text;
}

LossSolution lossSolution(const LossReport& r, const LossRequest& request, Solution solution) {
    std::vector<FrequencyLosses> frequencies;
    for (const LossesAtFrequency& row : r.losses.table) {
        FrequencyLosses f{row.frequency, std::vector<std::vector<Reading>>(row.modes.size()), {}, row.line.series,
                          row.line.shunt};
        const std::vector<LossRow> rows = lossRows(row);
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const Reading reading{rows[k].key, rows[k].name, lossQuantityInfo(rows[k].quantity).si, rows[k].value,
                                  rows[k].error};
            const std::size_t mode = k / lossQuantityCount;
            (mode < row.modes.size() ? f.modes[mode] : f.pair).push_back(reading);
        }
        frequencies.push_back(std::move(f));
    }
    const RlgcTable& t = r.losses.rlgc;
    return LineAccess::lossSolution(std::move(solution), std::move(frequencies), lossModels(request),
                                    r.losses.noConductorLoss, {t.n, t.r0, t.l0, t.g0, t.c0, t.rs, t.gd}, r.json,
                                    joined(r.text));
}

// The public data back as the table the files are written from: each frequency's matrices and
// the W-element model.
LineLosses filesOf(const std::vector<FrequencyLosses>& frequencies, const WElementModel& w) {
    LineLosses losses;
    for (const FrequencyLosses& f : frequencies) losses.table.push_back({f.frequency, {}, {w.n, f.series, f.shunt}, {}, {}});
    losses.rlgc = {w.n, w.r0, w.l0, w.g0, w.c0, w.rs, w.gd};
    return losses;
}

}  // namespace

const Reading& FrequencyLosses::operator[](std::string_view key) const {
    for (const std::vector<Reading>& mode : modes)
        for (const Reading& r : mode)
            if (r.key == key) return r;
    for (const Reading& r : pair)
        if (r.key == key) return r;
    std::string keys;
    for (const std::vector<Reading>& mode : modes)
        for (const Reading& r : mode) keys += (keys.empty() ? "" : ", ") + r.key;
    for (const Reading& r : pair) keys += ", " + r.key;
    throw Error("no loss \"" + printableExcerpt(key) + "\" at " + shortestText(frequency) + " Hz; there are " + keys);
}

LossSolution::LossSolution(Solution solution, std::vector<FrequencyLosses> frequencies,
                           std::vector<std::pair<std::string, std::string>> models, std::string conductorLoss,
                           WElementModel wElement, std::string json, std::string text)
    : solution_(std::move(solution)),
      frequencies_(std::move(frequencies)),
      models_(std::move(models)),
      conductorLoss_(std::move(conductorLoss)),
      wElement_(std::move(wElement)),
      json_(std::move(json)),
      text_(std::move(text)) {}

void LossSolution::writeTouchstone(const std::string& fileName, double length, double referenceImpedance) const {
    publicErrors([&] {
        LossOptions o;
        o.touchstone = fileName;
        o.length = shortestText(length) + "m";
        o.zRef = shortestText(referenceImpedance);
        writeLossFiles(filesOf(frequencies_, wElement_), o);
    });
}

void LossSolution::writeRlgc(const std::string& fileName) const {
    publicErrors([&] {
        LossOptions o;
        o.rlgc = fileName;
        writeLossFiles(filesOf(frequencies_, wElement_), o);
    });
}

LossSolution LineAccess::lossSolution(Solution solution, std::vector<FrequencyLosses> frequencies,
                                      std::vector<std::pair<std::string, std::string>> models, std::string conductorLoss,
                                      WElementModel wElement, std::string json, std::string text) {
    return LossSolution(std::move(solution), std::move(frequencies), std::move(models), std::move(conductorLoss),
                        std::move(wElement), std::move(json), std::move(text));
}

LossSolution solveLosses(const Line& line, const std::vector<double>& frequencies, const LossSettings& settings) {
    return publicErrors([&] {
        const LossRequest request = lossRequest(lossOptions(frequencies, settings));
        const LossReport r = structureLosses(LineAccess::input(line), request);
        return lossSolution(r, request, LineAccess::solution(line, r.losses.solution));
    });
}

LossSolution solveCrossSectionLosses(std::string_view json, const std::vector<double>& frequencies,
                                     const LossSettings& settings, std::string_view name) {
    return publicErrors([&] {
        const LossRequest request = lossRequest(lossOptions(frequencies, settings));
        const LossReport r = crossSectionLosses(BoardFile::parse(json, std::string(name)), request);
        return lossSolution(r, request, LineAccess::solution(LineAccess::readings(r.losses.solution, r.quantities), r.lineJson,
                                                    joined(r.lineText)));
    });
}

}  // namespace plattor
