#include "run/loss_runs.hpp"

#include <cmath>

#include "base/error.hpp"
#include "base/text.hpp"
#include "design/quantity_table.hpp"
#include "losses/network_files.hpp"
#include "report/loss_report.hpp"
#include "run/console.hpp"
#include "section/board_section.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

// The options, each with what it sets.
struct LossOption {
    const char* name;
    std::optional<std::string> LossOptions::*field;
};
constexpr LossOption lossOptions[] = {
    {"--freq", &LossOptions::freq},         {"--dk-model", &LossOptions::dkModel},
    {"--dk-freq", &LossOptions::dkFreq},    {"--sigma", &LossOptions::sigma},
    {"--roughness", &LossOptions::roughness}, {"--rq", &LossOptions::rq},
    {"--rz", &LossOptions::rz},             {"--length", &LossOptions::length},
    {"--touchstone", &LossOptions::touchstone}, {"--z-ref", &LossOptions::zRef},
    {"--rlgc", &LossOptions::rlgc},
};

// A positive number in decimal notation, whole text.
double positive(const std::string& option, const std::string& text, const char* what) {
    const Decimal d = parseDecimal(text);
    if (d.length == 0 || d.length != text.size() || !d.inRange || !(d.value > 0) || !std::isfinite(d.value))
        throw RunError(option + " needs " + what + ", got \"" + printableExcerpt(text) + "\"");
    return d.value;
}

// A frequency: a number above 0, bare in Hz or with Hz, kHz, MHz or GHz; as the exact decimal
// text of its hertz.
std::string frequencyText(const std::string& option, const std::string& text) {
    struct Suffix {
        const char* text;
        const char* hertz;
    };
    constexpr Suffix suffixes[] = {{"GHz", "1e9"}, {"MHz", "1e6"}, {"kHz", "1e3"}, {"Hz", "1"}, {"", "1"}};
    for (const Suffix& s : suffixes) {
        const std::string suffix = s.text;
        if (text.size() <= suffix.size() || text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string number = text.substr(0, text.size() - suffix.size());
        const Decimal d = parseDecimal(number);
        if (d.length == 0 || d.length != number.size() || !d.inRange || !(d.value > 0) || !std::isfinite(d.value)) break;
        return decimalProduct(number, s.hertz);
    }
    throw RunError(option + " needs a frequency above 0 (Hz, kHz, MHz or GHz), got \"" + printableExcerpt(text) + "\"");
}

double frequency(const std::string& option, const std::string& text) {
    const std::string hertz = frequencyText(option, text);
    const double f = parseDecimal(hertz).value;
    if (!std::isfinite(f) || !(f > 0))
        throw RunError(option + " needs a frequency above 0 (Hz, kHz, MHz or GHz), got \"" + printableExcerpt(text) + "\"");
    return f;
}

// A length with a unit (m, mm, um, mil), in metres, above 0.
double unitLength(const std::string& option, const std::string& text) {
    std::string unit;
    const OptionValue v = readLength(option, text, &unit);
    if (unit.empty()) throw RunError(option + " needs a length with a unit (m, mm, um or mil), got \"" + printableExcerpt(text) + "\"");
    const double metres = v.number * v.metres;
    if (!(metres > 0) || !std::isfinite(metres))
        throw RunError(option + " needs a length above 0, got \"" + printableExcerpt(text) + "\"");
    return metres;
}

// The board's lengths must be in metres: a structure's or a file's lengths with units.
void needUnits(bool units) {
    if (!units)
        throw RunError("losses need the lengths with a unit (m, mm, um or mil): a resistance depends on the size, "
                       "not only on the ratios");
}

// The Touchstone file's name for a line of `modes` modes: *.s2p for one trace, *.s4p for a pair.
void checkTouchstoneName(const LossOptions& o, std::size_t modes) {
    if (!o.touchstone) return;
    const std::string& name = *o.touchstone;
    const std::string wanted = modes == 1 ? ".s2p" : ".s4p";
    if (name.size() < 4 || name.compare(name.size() - 4, 4, wanted) != 0)
        throw RunError("--touchstone needs a file named *" + wanted + " for " +
                       (modes == 1 ? "a single trace (2 ports)" : "a pair (4 ports)") + ", got \"" +
                       printableExcerpt(name) + "\"");
}

void writeFiles(const LineLosses& losses, const LossOptions& o) {
    const std::size_t modes = losses.table.front().modes.size();
    if (o.touchstone) {
        const std::string& name = *o.touchstone;
        const double length = unitLength("--length", *o.length);
        const double reference = o.zRef ? positive("--z-ref", *o.zRef, "an impedance in ohm above 0") : 50.0;
        NetworkData data{2 * modes, reference, {}, {}};
        for (const LossesAtFrequency& row : losses.table) {
            data.frequencies.push_back(row.frequency);
            data.s.push_back(scatteringMatrix(row.line, row.frequency, length, reference));
        }
        const std::string ports = modes == 1 ? "ports: 1 near end, 2 far end"
                                             : "ports: 1 left trace near end, 2 right trace near end, 3 left far end, "
                                               "4 right far end";
        writeTouchstone(name, data, "plattor-lines: " + shortestText(length) + " m of line\n" + ports);
    }
    if (o.rlgc) writeWElementTable(*o.rlgc, losses.rlgc, "plattor-lines: per-unit-length W-element model");
}

void report(const LineLosses& losses, const LossRequest& request, const std::string& unit, bool json,
            JsonObject* base, const std::vector<std::string>& lines) {
    if (json) {
        addLosses(*base, losses, request);
        display(base->text());
    } else if (losses.table.size() > 1) {
        display(lossCsv(losses));
    } else {
        display(lines);
        display(lossText(losses, losses.table.front(), unit));
        display(lossModels(request));
    }
}

}  // namespace

const char* const lossUsage =
    "       plattor-lines STRUCTURE|file F.json … --freq F|FROM:TO:COUNT [--tand T] [--dk-model constant|wideband]\n"
    "                     [--dk-freq F] [--sigma S] [--roughness hammerstad|groisse|huray --rq L|--rz L]\n"
    "                     [--length L --touchstone FILE.s2p|.s4p [--z-ref OHM]] [--rlgc FILE] [--json]";

const char* const lossHelp =
    "--freq F or FROM:TO:COUNT (Hz, kHz, MHz, GHz; a range in a constant ratio): the line's losses per unit\n"
    "length, R, L, G, C, its complex impedance, attenuation (conductor and dielectric), effective\n"
    "permittivity and delay, each with its bar; CSV over a range. Loss tangents --tand, --tand-top,\n"
    "--mask-tand, --cover-tand; --dk-model wideband spreads er and tan delta (at --dk-freq, 1 GHz) over\n"
    "frequency causally (Djordjevic-Sarkar). Conductors: --sigma (5.8e7 S/m), --roughness hammerstad or\n"
    "groisse (--rq RMS) or huray (--rz). --length L --touchstone F.s2p|.s4p writes the S-parameters\n"
    "(--z-ref, 50 ohm); --rlgc F the W-element table. docs/losses.md.";

bool LossOptions::any() const {
    for (const LossOption& o : lossOptions)
        if (this->*o.field) return true;
    return false;
}

bool takeLossOption(LossOptions& options, int argc, char** argv, int& k) {
    const std::string argument = argv[k];
    for (const LossOption& o : lossOptions) {
        if (argument != o.name) continue;
        if (options.*o.field) throw RunError(argument + " is given twice");
        if (k + 1 >= argc) throw RunError(argument + " needs a value");
        options.*o.field = argv[++k];
        return true;
    }
    return false;
}

LossRequest lossRequest(const LossOptions& o) {
    LossRequest r;
    if (!o.freq) throw RunError("the loss options need --freq F (or FROM:TO:COUNT)");
    const std::string& f = *o.freq;
    const std::size_t colon = f.find(':');
    if (colon == std::string::npos) {
        r.frequencies = {frequency("--freq", f)};
    } else {
        const std::size_t second = f.find(':', colon + 1);
        if (second == std::string::npos)
            throw RunError("--freq needs F or FROM:TO:COUNT, got \"" + printableExcerpt(f) + "\"");
        const double from = frequency("--freq", f.substr(0, colon));
        const double to = frequency("--freq", f.substr(colon + 1, second - colon - 1));
        const std::string countText = f.substr(second + 1);
        const Decimal count = parseDecimal(countText);
        if (count.length == 0 || count.length != countText.size() || !count.inRange || count.value < 2 ||
            count.value > 10000 || count.value != std::floor(count.value))
            throw RunError("--freq needs a COUNT from 2 to 10000, got \"" + printableExcerpt(countText) + "\"");
        if (!(to > from)) throw RunError("--freq needs FROM below TO, got \"" + printableExcerpt(f) + "\"");
        r.frequencies = sweepPoints(frequencyText("--freq", f.substr(0, colon)),
                                    frequencyText("--freq", f.substr(colon + 1, second - colon - 1)),
                                    static_cast<std::size_t>(count.value), true);
    }
    if (o.dkModel) {
        if (*o.dkModel == "wideband" || *o.dkModel == "djordjevic-sarkar") r.dielectric.model = DielectricModel::djordjevicSarkar;
        else if (*o.dkModel != "constant")
            throw RunError("--dk-model needs constant or wideband, got \"" + printableExcerpt(*o.dkModel) + "\"");
    }
    if (o.dkFreq) {
        if (r.dielectric.model == DielectricModel::constant)
            throw RunError("--dk-freq goes with --dk-model wideband: a constant dielectric holds at every frequency");
        r.dielectric.fitFrequency = frequency("--dk-freq", *o.dkFreq);
    }
    if (o.sigma) r.conductor.conductivity = positive("--sigma", *o.sigma, "a conductivity in S/m above 0");
    if (o.roughness) {
        const std::string& m = *o.roughness;
        if (m == "hammerstad") r.conductor.roughness = Roughness::hammerstad;
        else if (m == "groisse") r.conductor.roughness = Roughness::groisse;
        else if (m == "huray") r.conductor.roughness = Roughness::huray;
        else throw RunError("--roughness needs hammerstad, groisse or huray, got \"" + printableExcerpt(m) + "\"");
        const bool rms = r.conductor.roughness != Roughness::huray;
        if (rms && !o.rq) throw RunError("--roughness " + m + " needs --rq, the RMS height of the surface");
        if (!rms && !o.rz) throw RunError("--roughness huray needs --rz, the ten-point height of the surface");
        if (rms && o.rz) throw RunError("--rz goes with --roughness huray; " + m + " takes --rq");
        if (!rms && o.rq) throw RunError("--rq goes with --roughness hammerstad or groisse; huray takes --rz");
        if (o.rq) r.conductor.rq = unitLength("--rq", *o.rq);
        if (o.rz) r.conductor.rz = unitLength("--rz", *o.rz);
    } else if (o.rq || o.rz) {
        throw RunError(std::string(o.rq ? "--rq" : "--rz") + " goes with --roughness");
    }
    if (o.length && !o.touchstone) throw RunError("--length goes with --touchstone FILE: the S-parameters of that length");
    if (o.touchstone && !o.length) throw RunError("--touchstone needs --length L, the line's length");
    if (o.zRef && !o.touchstone) throw RunError("--z-ref goes with --touchstone");
    if (o.length) unitLength("--length", *o.length);
    if (o.zRef) positive("--z-ref", *o.zRef, "an impedance in ohm above 0");
    return r;
}

void runStructureLosses(const StructureInput& input, const LossOptions& options, bool json) {
    // 1. The request and the structure, checked in full; its lengths in metres.
    const LossRequest request = lossRequest(options);
    checkStructure(input.structure);
    needUnits(!input.lengthUnit.empty());
    checkTouchstoneName(options, input.structure.isPair() ? 2 : 1);
    // 2. Solved up the ladder with the complex permittivities and the skin integrals.
    const LineLosses losses = lineLosses(structureBoard(input.structure), request);
    // 3. The report and the files.
    JsonObject base = structureReport(input.structure, input.lengthUnit, losses.solution);
    report(losses, request, input.lengthUnit, json, &base,
           reportText(quantityRows(losses.solution, reportedQuantities(input.structure, input.lengthUnit)),
                      losses.solution));
    writeFiles(losses, options);
}

void runFileLosses(const BoardFile& file, const LossOptions& options, bool json) {
    const LossRequest request = lossRequest(options);
    const Board board = file.board();
    needUnits(board.lengthUnit == "m");
    checkTouchstoneName(options, board.pairs.empty() ? 1 : 2);
    const LineLosses losses = lineLosses(board, request);
    JsonObject base;
    base.addRaw("crossSection", indentedJson(boardJson(board, file.displayUnit())));
    addQuantities(base, losses.solution, reportedQuantities(losses.solution.value.applies(Quantity::oddModeImpedance),
                                                            file.displayUnit()));
    report(losses, request, file.displayUnit(), json, &base,
           reportText(quantityRows(losses.solution,
                                   reportedQuantities(losses.solution.value.applies(Quantity::oddModeImpedance),
                                                      file.displayUnit())),
                      losses.solution));
    writeFiles(losses, options);
}

}  // namespace plattor
