#include "lines/loss_options.hpp"

#include <cmath>

#include "base/error.hpp"
#include "base/decimal_grid.hpp"
#include "base/text.hpp"
#include "losses/network_files.hpp"
#include "section/structure_arguments.hpp"

namespace plattor {

namespace {

// The options, each with what it sets.
struct LossOptionName {
    const char* name;
    std::optional<std::string> LossOptions::*field;
};
constexpr LossOptionName lossOptions[] = {
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
        if (const Decimal hertz = parseDecimal(decimalProduct(number, s.hertz)); hertz.inRange && std::isfinite(hertz.value))
            return decimalProduct(number, s.hertz);
        break;
    }
    throw RunError(option + " needs a frequency above 0 (Hz, kHz, MHz or GHz), got \"" + printableExcerpt(text) + "\"");
}

double frequency(const std::string& option, const std::string& text) {
    return parseDecimal(frequencyText(option, text)).value;
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

// --freq: F, F1,F2,… increasing, or FROM:TO:COUNT in a constant ratio.
std::vector<double> frequencies(const std::string& f) {
    const std::size_t colon = f.find(':');
    if (colon == std::string::npos) {
        std::vector<double> list;
        for (std::size_t from = 0;;) {
            const std::size_t comma = f.find(',', from);
            list.push_back(frequency("--freq", f.substr(from, comma == std::string::npos ? comma : comma - from)));
            if (list.size() > 1 && !(list.back() > list[list.size() - 2]))
                throw RunError("--freq needs increasing frequencies, got \"" + printableExcerpt(f) + "\"");
            if (comma == std::string::npos) return list;
            from = comma + 1;
        }
    }
    const std::size_t second = f.find(':', colon + 1);
    if (second == std::string::npos)
        throw RunError("--freq needs F, F1,F2,… or FROM:TO:COUNT, got \"" + printableExcerpt(f) + "\"");
    const double from = frequency("--freq", f.substr(0, colon));
    const double to = frequency("--freq", f.substr(colon + 1, second - colon - 1));
    const std::string countText = f.substr(second + 1);
    const Decimal count = parseDecimal(countText);
    if (count.length == 0 || count.length != countText.size() || !count.inRange || count.value < 2 ||
        count.value > 10000 || count.value != std::floor(count.value))
        throw RunError("--freq needs a COUNT from 2 to 10000, got \"" + printableExcerpt(countText) + "\"");
    if (!(to > from)) throw RunError("--freq needs FROM below TO, got \"" + printableExcerpt(f) + "\"");
    // On the decimal grid as typed: each point the frequency a user would type there.
    return sweepPoints(frequencyText("--freq", f.substr(0, colon)),
                       frequencyText("--freq", f.substr(colon + 1, second - colon - 1)),
                       static_cast<std::size_t>(count.value), true);
}

}  // namespace

bool LossOptions::any() const {
    for (const LossOptionName& o : lossOptions)
        if (this->*o.field) return true;
    return false;
}

std::optional<std::string> LossOptions::*lossOption(std::string_view name) {
    for (const LossOptionName& o : lossOptions)
        if (name == o.name) return o.field;
    return nullptr;
}

LossRequest lossRequest(const LossOptions& o) {
    LossRequest r;
    if (!o.freq) throw RunError("the loss options need --freq F (or FROM:TO:COUNT)");
    r.frequencies = frequencies(*o.freq);
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

void checkTouchstoneName(const LossOptions& o, std::size_t modes) {
    if (!o.touchstone) return;
    const std::string& name = *o.touchstone;
    const std::string wanted = modes == 1 ? ".s2p" : ".s4p";
    if (name.size() < 4 || name.compare(name.size() - 4, 4, wanted) != 0)
        throw RunError("--touchstone needs a file named *" + wanted + " for " +
                       (modes == 1 ? "a single trace (2 ports)" : "a pair (4 ports)") + ", got \"" +
                       printableExcerpt(name) + "\"");
}

void writeLossFiles(const LineLosses& losses, const LossOptions& o) {
    const std::size_t modes = losses.table.front().line.n;
    checkTouchstoneName(o, modes);
    if (o.touchstone) {
        const std::string& name = *o.touchstone;
        if (!o.length) throw RunError("--touchstone needs --length L, the line's length");
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

}  // namespace plattor
