#include "run/stackup_run.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/error.hpp"
#include "base/file_replacement.hpp"
#include "base/text.hpp"
#include "design/csv.hpp"
#include "physics/constants.hpp"
#include "report/loss_report.hpp"
#include "report/report.hpp"
#include "run/console.hpp"
#include "stackup/stackup.hpp"

namespace plattor {

namespace {

// Lengths are shown in mm, KiCad's unit: metres times 1000.
constexpr double mmPerMetre = 1000.0;

// A length in mm as KiCad holds it: to its resolution of 1 nm.
std::string millimetres(double metres) {
    std::string text = formatted("%.*f", 6, metres * mmPerMetre);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string ohms(double value) { return numberText(value) + " ohm"; }

// One line of the table: a layer's target, solved or not.
struct Line {
    const LayerSection* section;
    ImpedanceTarget target;
    const ImpedanceRow* row;  // nullptr where the layer has no cross-section
    std::string error() const { return row ? row->error : section->unsupported; }
};

// Whether two layers' cross-sections are one: the same dielectrics (loss tangents too), planes,
// mask and trace.
bool sameStack(const TraceStack& a, const TraceStack& b) {
    const Board &x = a.board, &y = b.board;
    const auto sameLayers = [](const std::vector<BoardLayer>& p, const std::vector<BoardLayer>& q) {
        return std::equal(p.begin(), p.end(), q.begin(), q.end(), [](const BoardLayer& l, const BoardLayer& m) {
            return l.thickness == m.thickness && l.er == m.er && l.tanDelta == m.tanDelta;
        });
    };
    const auto sameCoating = [](const std::vector<BoardCoating>& p, const std::vector<BoardCoating>& q) {
        return std::equal(p.begin(), p.end(), q.begin(), q.end(), [](const BoardCoating& c, const BoardCoating& d) {
            return c.thickness == d.thickness && c.thicknessOver == d.thicknessOver && c.er == d.er &&
                   c.tanDelta == d.tanDelta;
        });
    };
    return a.base == b.base && a.thickness == b.thickness && x.topPlane == y.topPlane &&
           x.bottomPlane == y.bottomPlane && sameLayers(x.layers, y.layers) && sameCoating(x.coating, y.coating);
}

// The dielectrics of a side that holds several, for the report: "0.1 mm er 4.2 + 0.08 mm er 3.9".
std::string dielectricsText(const LayerSection& s) {
    std::string text;
    for (const BoardLayer& l : s.stack.board.layers)
        text += (text.empty() ? "" : " + ") + millimetres(l.thickness) + " mm er " + numberText(l.er);
    return text;
}

bool isPair(const ImpedanceTarget& t) { return t.quantity == Quantity::differentialImpedance; }

std::string targetText(const ImpedanceTarget& t) { return ohms(t.ohms) + (isPair(t) ? " diff." : ""); }

// The loss tangents a layer's losses use: "; tan delta 0.02, mask 0.025"; where its dielectrics
// differ in it, each from the lower plane up: "; tan delta 0.2 mm 0.02 + 0.1375 mm 0 from …".
std::string lossTangentsText(const LayerSection& s) {
    const Board& board = s.stack.board;
    const bool one = std::all_of(board.layers.begin(), board.layers.end(),
                                 [&](const BoardLayer& l) { return l.tanDelta == board.layers.front().tanDelta; });
    std::string text = "; tan delta ";
    if (one) {
        text += numberText(board.layers.front().tanDelta);
    } else {
        for (std::size_t k = 0; k < board.layers.size(); ++k)
            text += (k ? " + " : "") + millimetres(board.layers[k].thickness) + " mm " + numberText(board.layers[k].tanDelta);
        text += " from the lower plane";
    }
    if (!board.coating.empty()) text += ", mask " + numberText(board.coating.front().tanDelta);
    return text;
}

// The cross-section in words: "microstrip over In1.Cu: h 0.12 mm, t 0.035 mm, er 4.3; mask …",
// and where the losses are asked for, the loss tangents.
std::string sectionText(const LayerSection& s, bool losses) {
    if (!s.unsupported.empty()) return s.unsupported;
    const Structure& c = s.structure;
    std::string text = s.description + ": h " + millimetres(c.h) + " mm, t " + millimetres(c.t) + " mm";
    if (given(c.b)) text += ", b " + millimetres(c.b) + " mm";
    const bool several = !given(c.er) || (c.kind == StructureKind::stripline && !given(c.erTop)) ||
                         (given(c.cover) && !given(c.coverEr));
    if (several) {
        text += ", dielectrics " + dielectricsText(s) + " from the lower plane";
    } else {
        text += ", er " + numberText(c.er);
        if (given(c.erTop)) text += ", er-top " + numberText(c.erTop);
        if (given(c.cover)) text += ", under " + millimetres(c.cover) + " mm er " + numberText(c.coverEr);
    }
    if (given(c.mask)) text += "; mask " + millimetres(c.mask) + " mm, er " + numberText(c.maskEr);
    return losses ? text + lossTangentsText(s) : text;
}

// A change of the impedance for a tolerance: its size to two digits.
std::string changeText(double change) {
    if (!std::isfinite(change)) return "-";
    std::string digits = formatted("%#.*g", 2, std::fabs(change));  // "1.0", not "1"
    if (digits.back() == '.') digits.pop_back();
    return "±" + digits + " ohm";
}

// The characters a text shows: "±" is two bytes and one character.
std::size_t shownWidth(const std::string& text) {
    std::size_t shown = 0;
    for (const char c : text) shown += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return shown;
}

std::string padded(std::string text, std::size_t width) {
    const std::size_t shown = shownWidth(text);
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

std::vector<std::string> textReport(const StackupRequest& r, const Stackup& stackup,
                                    const std::vector<std::string>& planes, const std::vector<LayerSection>& sections,
                                    const std::vector<Line>& lines) {
    std::string planeList;
    for (const std::string& p : planes) planeList += (planeList.empty() ? "" : ", ") + printableExcerpt(p);
    std::vector<std::string> out = {printableExcerpt(r.fileName, 200) + ": " +
                                        std::to_string(stackup.copperLayers().size()) + " copper layers, planes " +
                                        planeList + "; lengths in mm",
                                    ""};
    std::size_t nameWidth = 8;  // "layer" and three blanks
    for (const LayerSection& s : sections) nameWidth = std::max(nameWidth, printableExcerpt(s.layer).size() + 3);
    for (const LayerSection& s : sections)
        out.push_back(padded(printableExcerpt(s.layer), nameWidth) + sectionText(s, r.losses.has_value()));
    out.push_back("");

    std::vector<std::vector<std::string>> cells = {{"layer", "target", "width", "gap",
                                                    "Z for etch ±" + numberText(r.tolerances.etch / 1e-6) + " um",
                                                    "Z for er ±" + numberText(100 * r.tolerances.permittivity) + " %"}};
    if (r.losses) cells.front().push_back("loss at " + frequencyText(r.losses->frequencies.front()));
    for (const Line& l : lines) {
        if (!l.row) continue;  // the layer's reason stands above
        std::vector<std::string> row = {printableExcerpt(l.section->layer), targetText(l.target)};
        if (!l.error().empty()) {
            row.push_back(l.error());
        } else {
            const ImpedanceRow& x = *l.row;
            // A length held by --gap or --width is as given.
            const auto length = [](double v, double e) {
                return e > 0 ? valueWithBar(v * mmPerMetre, e * mmPerMetre, "mm") : millimetres(v) + " mm (held)";
            };
            row.push_back(length(x.width, x.widthError));
            row.push_back(isPair(l.target) ? length(x.gap, x.gapError) : "");
            row.push_back(changeText(x.etchChange));
            row.push_back(changeText(x.permittivityChange));
            if (r.losses)
                row.push_back(valueWithBar(x.attenuation * metresPerInch, x.attenuationError * metresPerInch, "dB/in"));
        }
        cells.push_back(row);
    }
    std::vector<std::size_t> widths(cells.front().size(), 0);
    widths[0] = nameWidth - 3;
    for (const auto& row : cells)
        for (std::size_t c = 0; c + 1 < row.size(); ++c) widths[c] = std::max(widths[c], shownWidth(row[c]));
    for (const auto& row : cells) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) line += c + 1 < row.size() ? padded(row[c], widths[c] + 3) : row[c];
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out.push_back(line);
    }
    if (r.losses) {
        out.push_back("");
        for (const auto& [name, model] : lossModels(*r.losses)) out.push_back(reportNote(name, model));
    }
    return out;
}


std::string jsonNumber(double x) { return std::isfinite(x) ? shortestText(x) : "null"; }

std::string jsonReport(const StackupRequest& r, const std::vector<std::string>& planes,
                       const std::vector<LayerSection>& sections, const std::vector<Line>& lines) {
    JsonObject json;
    json.add("file", r.fileName);
    std::string list = "[";
    for (const std::string& p : planes) list += (list.size() > 1 ? ", " : "") + jsonString(p);
    json.addRaw("planes", list + "]");
    json.add("etch", r.tolerances.etch);
    json.add("permittivityTolerance", r.tolerances.permittivity);
    if (r.losses) {
        json.add("frequency", r.losses->frequencies.front());
        json.addRaw("lossModels", indentedJson(lossModelsJson(*r.losses)));
    }
    std::string layers;
    for (const LayerSection& s : sections) {
        JsonObject layer;
        layer.add("layer", s.layer);
        if (!s.unsupported.empty()) {
            layer.add("unsupported", s.unsupported);
        } else {
            const Structure& c = s.structure;
            layer.add("description", s.description);
            JsonObject structure;
            structure.add("kind", std::string(structureName(c.kind)));
            for (const StructureOption& o : structureOptions())
                if (given(c.*o.field)) structure.add(o.name, c.*o.field);
            layer.addRaw("structure", indentedJson(structure.text()));
        }
        layers += (layers.empty() ? "[\n    " : ",\n    ") + indentedJson(indentedJson(layer.text()));
    }
    json.addRaw("layers", layers + "\n  ]");
    std::string rows;
    for (const Line& l : lines) {
        JsonObject row;
        row.add("layer", l.section->layer);
        row.add("quantity", std::string(quantityInfo(l.target.quantity).key));
        row.add("target", l.target.ohms);
        if (!l.error().empty()) {
            row.add("error", l.error());
        } else {
            const ImpedanceRow& x = *l.row;
            row.addQuantity("width", x.width, x.widthError);
            if (isPair(l.target)) row.addQuantity("gap", x.gap, x.gapError);
            const Quantity q = l.target.quantity;
            row.addQuantity("achieved", x.solved.quantities.value[q], x.solved.quantities.error[q]);
            row.addRaw("etchChange", jsonNumber(x.etchChange));
            row.addRaw("permittivityChange", jsonNumber(x.permittivityChange));
            if (r.losses) {
                row.addQuantity("attenuation", x.attenuation, x.attenuationError);
                row.addQuantity("attenuationPerInch", x.attenuation * metresPerInch, x.attenuationError * metresPerInch);
            }
        }
        rows += (rows.empty() ? "[\n    " : ",\n    ") + indentedJson(indentedJson(row.text()));
    }
    json.addRaw("rows", rows + "\n  ]");
    return json.text();
}

// With the losses, the structure's loss tangents among its columns and the attenuation (dB/m,
// then dB/in) before the error.
std::vector<std::string> csvReport(const StackupRequest& r, const std::vector<Line>& lines) {
    const bool losses = r.losses.has_value();
    std::vector<std::string> header = {"layer", "structure", "h", "b", "t", "er", "er_top", "mask", "mask_er"};
    if (losses) header.insert(header.end(), {"tand", "tand_top", "mask_tand"});
    const std::size_t structureColumns = header.size();
    header.insert(header.end(), {"quantity", "target", "width", "widthError", "gap", "gapError", "achieved",
                                 "achievedError", "etchChange", "permittivityChange"});
    if (losses) header.insert(header.end(), {"attenuation", "attenuationError", "attenuationPerInch", "attenuationPerInchError"});
    header.push_back("error");
    std::vector<std::string> out = {csvLine(header)};
    const auto cell = [](double x) { return std::isfinite(x) ? shortestText(x) : std::string(); };
    for (const Line& l : lines) {
        const LayerSection& s = *l.section;
        const Structure& c = s.structure;
        const bool solved = l.error().empty();
        const ImpedanceRow* x = solved ? l.row : nullptr;
        const Quantity q = l.target.quantity;
        std::vector<std::string> row = {s.layer};
        if (s.unsupported.empty()) {
            for (const std::string& v : {std::string(structureName(c.kind)), cell(c.h), cell(c.b), cell(c.t), cell(c.er),
                                         cell(c.erTop), cell(c.mask), cell(c.maskEr)})
                row.push_back(v);
            if (losses)
                for (const double v : {c.tand, c.tandTop, c.maskTand}) row.push_back(cell(v));
        } else {
            row.resize(structureColumns);
        }
        row.push_back(quantityInfo(q).key);
        row.push_back(shortestText(l.target.ohms));
        for (const double v : {x ? x->width : absent, x ? x->widthError : absent,
                               x && isPair(l.target) ? x->gap : absent, x && isPair(l.target) ? x->gapError : absent,
                               x ? x->solved.quantities.value[q] : absent, x ? x->solved.quantities.error[q] : absent,
                               x ? x->etchChange : absent, x ? x->permittivityChange : absent})
            row.push_back(cell(v));
        if (losses)
            for (const double v : {x ? x->attenuation : absent, x ? x->attenuationError : absent,
                                   x ? x->attenuation * metresPerInch : absent, x ? x->attenuationError * metresPerInch : absent})
                row.push_back(cell(v));
        row.push_back(l.error());
        out.push_back(csvLine(row));
    }
    return out;
}

// The net-class name of a target: Z50, Zdiff90.
std::string netClass(const ImpedanceTarget& t) { return (isPair(t) ? "Zdiff" : "Z") + numberText(t.ohms); }

std::string quotedForRules(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// KiCad custom design rules (a .kicad_dru file): a rule a layer and target, its net class named
// in the condition, the width (and a pair's gap) as the minimum, optimum and maximum.
std::string rulesText(const StackupRequest& r, const std::vector<Line>& lines) {
    std::string text = "(version 1)\n"
                       "# Controlled-impedance widths from plattor-lines stackup " + r.fileName + ".\n"
                       "# Put the nets of each target in the net class its condition names (Z50: 50 ohm single-ended,\n"
                       "# Zdiff90: 90 ohm differential pairs). Lengths in mm to KiCad's 1 nm.\n";
    const auto constraint = [](const char* name, double metres) {
        const std::string v = millimetres(metres) + "mm";
        return std::string("\n  (constraint ") + name + " (min " + v + ") (opt " + v + ") (max " + v + "))";
    };
    for (const Line& l : lines) {
        if (!l.error().empty()) {
            text += "# " + l.section->layer + " " + targetText(l.target) + ": " + l.error() + "\n";
            continue;
        }
        text += "(rule " + quotedForRules(netClass(l.target) + " " + l.section->layer) + "\n  (layer " +
                quotedForRules(l.section->layer) + ")\n  (condition \"A.NetClass == '" + netClass(l.target) + "'\")" +
                constraint("track_width", l.row->width);
        if (isPair(l.target)) text += constraint("diff_pair_gap", l.row->gap);
        text += ")\n";
    }
    return text;
}

}  // namespace

void runStackup(const StackupRequest& r) {
    // 1. The board's stack and its planes; the rules file made ready before the work.
    const Stackup stackup = readStackup(r.fileName);
    const std::vector<std::string> planes = referencePlanes(stackup, r.planes);
    std::unique_ptr<FileReplacement> rules;
    if (r.rules) rules = std::make_unique<FileReplacement>(".", std::vector<std::string>{*r.rules});

    // 2. A cross-section a signal layer, front to back.
    std::vector<LayerSection> sections;
    for (const std::size_t k : stackup.copperLayers())
        if (std::find(planes.begin(), planes.end(), stackup.layers[k].name) == planes.end())
            sections.push_back(layerCrossSection(stackup, k, planes, r.mask));

    //    Without the losses the loss tangents take no part: dropped, dielectrics of one
    //    permittivity side by side are one medium again, with no interface to solve between them.
    if (!r.losses)
        for (LayerSection& s : sections) {
            for (BoardLayer& l : s.stack.board.layers) l.tanDelta = 0.0;
            for (BoardCoating& c : s.stack.board.coating) c.tanDelta = 0.0;
        }

    // 3. Every target on every layer that has a cross-section, on all threads (with its loss).
    std::vector<ImpedanceTarget> targets;
    for (const double z : r.single) targets.push_back({Quantity::impedance, z});
    for (const double z : r.differential) targets.push_back({Quantity::differentialImpedance, z});
    //    A cross-section that recurs (the two faces of a symmetric stack) is solved once.
    std::vector<TraceStack> distinct;
    std::vector<std::string> names;
    std::vector<std::size_t> solvedAs(sections.size(), 0);
    for (std::size_t k = 0; k < sections.size(); ++k) {
        if (!sections[k].unsupported.empty()) continue;
        const auto same = std::find_if(distinct.begin(), distinct.end(),
                                       [&](const TraceStack& d) { return sameStack(d, sections[k].stack); });
        solvedAs[k] = static_cast<std::size_t>(same - distinct.begin());
        if (same == distinct.end()) {
            distinct.push_back(sections[k].stack);
            names.push_back(structureName(sections[k].structure.kind));
        }
    }
    const std::vector<ImpedanceRow> rows = impedanceTable(distinct, names, targets, r.spacing, r.tolerances, r.losses, r.threads);
    std::vector<Line> lines;
    for (std::size_t k = 0; k < sections.size(); ++k) {
        const bool solved = sections[k].unsupported.empty();
        for (std::size_t t = 0; t < targets.size(); ++t)
            lines.push_back({&sections[k], targets[t], solved ? &rows[solvedAs[k] * targets.size() + t] : nullptr});
    }

    // 4. The table; the rules.
    switch (r.format) {
        case StackupRequest::Format::text: display(textReport(r, stackup, planes, sections, lines)); break;
        case StackupRequest::Format::json: display(jsonReport(r, planes, sections, lines)); break;
        case StackupRequest::Format::csv: display(csvReport(r, lines)); break;
    }
    if (rules) {
        rules->keepMode(*r.rules);
        rules->stage(*r.rules, rulesText(r, lines));
        rules->commit();
    }
}

}  // namespace plattor
