#include "stackup/stackup.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/error.hpp"
#include "base/text.hpp"
#include "design/quantity_table.hpp"
#include "section/structures.hpp"
#include "stackup/sexpr.hpp"

namespace plattor {

std::string StackupLayer::label() const {
    std::string text = "layer \"" + printableExcerpt(name) + "\"";
    if (sublayer > 0) text += ", sublayer " + std::to_string(sublayer);
    return text;
}

std::string Stackup::at(std::size_t line) const { return fileName + ":" + std::to_string(line); }

std::vector<std::size_t> Stackup::copperLayers() const {
    std::vector<std::size_t> copper;
    for (std::size_t k = 0; k < layers.size(); ++k)
        if (layers[k].kind == StackupLayerKind::copper) copper.push_back(k);
    return copper;
}

namespace {

// KiCad writes lengths in millimetres.
constexpr double largestLength = 1000.0;  // mm: no layer of a board is a metre thick

std::string readWholeFile(const std::string& fileName) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file) throw RunError(fileName + ": cannot open: " + std::strerror(errno));
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, got);
        if (text.size() > largestBoardFile)
            throw RunError(fileName + ": larger than " + std::to_string(largestBoardFile >> 20) +
                           " MiB: no board file is this large");
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get())) throw RunError(fileName + ": cannot read: " + std::strerror(errno));
    return text;
}

// A layer's fields as the file gives them: the list of each (thickness …), (epsilon_r …),
// (loss_tangent …).
struct Fields {
    const SExpr* thickness = nullptr;
    const SExpr* er = nullptr;
    const SExpr* tanDelta = nullptr;
    std::size_t line = 0;
};

class StackupReader {
public:
    explicit StackupReader(Stackup& stackup) : s_(stackup) {}

    RunError error(std::size_t line, const std::string& what) const { return RunError(s_.at(line) + ": " + what); }

    // A field's number: its list's second item read whole as a decimal number, in [lo, hi].
    double number(const SExpr& field, const StackupLayer& layer, double lo, double hi, const char* range) const {
        const std::string& name = field.head();
        if (field.items.size() < 2 || !field.items[1].isValue())
            throw error(field.line, layer.label() + ": " + name + " has no value");
        const std::string& text = field.items[1].text;
        const Decimal d = parseDecimal(text);
        if (d.length == 0 || d.length != text.size() || !d.inRange || d.value < lo || d.value > hi)
            throw error(field.line, layer.label() + ": " + name + " needs a number " + range + ", got \"" +
                                        printableExcerpt(text) + "\"");
        return d.value;
    }

    // A length in mm as metres: the double nearest the decimal written times 1e-3 (3.5e-05 for
    // 0.035, where a product of doubles gives 3.5000000000000004e-05).
    double metres(const SExpr& field, const StackupLayer& layer) const {
        number(field, layer, 0.0, largestLength, "from 0 to 1000 (mm)");
        return parseDecimal(decimalProduct(field.items[1].text, "1e-3")).value;
    }

    // One (layer …) entry of the stack: its kind from its type or name, its fields, its sublayers.
    void readLayer(const SExpr& entry) {
        std::size_t k = 1;
        if (entry.items.size() < 2 || !entry.items[1].isValue()) throw error(entry.line, "a (layer …) without a name");
        std::string name = entry.items[k++].text;
        // KiCad 5 writes a dielectric's name unquoted in two atoms: (layer dielectric 1 …).
        if (name == "dielectric" && k < entry.items.size() && entry.items[k].kind == SExpr::Kind::atom)
            name += " " + entry.items[k++].text;
        std::string type;
        if (const SExpr* t = entry.child("type"); t && t->items.size() > 1 && t->items[1].isValue()) type = t->items[1].text;

        StackupLayer layer;
        layer.name = name;
        layer.type = type;
        layer.line = entry.line;
        if (type == "copper" || (type.empty() && name.size() > 3 && name.compare(name.size() - 3, 3, ".Cu") == 0))
            layer.kind = StackupLayerKind::copper;
        else if (name.compare(0, 10, "dielectric") == 0)
            layer.kind = StackupLayerKind::dielectric;
        else if (type.find("Solder Mask") != std::string::npos ||
                 (name.size() > 5 && name.compare(name.size() - 5, 5, ".Mask") == 0))
            layer.kind = StackupLayerKind::mask;
        else
            return;  // silk screen, paste: no part of a line's cross-section

        // The fields, a sublayer's after each addsublayer.
        std::vector<std::pair<StackupLayer, Fields>> parts = {{layer, {nullptr, nullptr, nullptr, entry.line}}};
        for (; k < entry.items.size(); ++k) {
            const SExpr& item = entry.items[k];
            if (item.kind == SExpr::Kind::atom && item.text == "addsublayer") {
                StackupLayer sub = layer;
                sub.sublayer = parts.size();
                sub.line = item.line;
                parts.push_back({sub, {nullptr, nullptr, nullptr, item.line}});
                continue;
            }
            if (item.head() == "thickness") parts.back().second.thickness = &item;
            if (item.head() == "epsilon_r") parts.back().second.er = &item;
            if (item.head() == "loss_tangent") parts.back().second.tanDelta = &item;
        }

        double total = 0.0;
        for (auto& [part, fields] : parts) {
            const bool dielectric = part.kind == StackupLayerKind::dielectric;
            part.thickness = absent;
            part.er = absent;
            if (fields.thickness)
                part.thickness = metres(*fields.thickness, part);
            if (fields.er)
                part.er = number(*fields.er, part, 1.0, largestPermittivity,
                                 ("from 1 to " + numberText(largestPermittivity)).c_str());
            // Copper has no loss tangent: its losses are the conductor's.
            if (fields.tanDelta && part.kind != StackupLayerKind::copper)
                part.tanDelta = number(*fields.tanDelta, part, 0.0, HUGE_VAL, "of 0 or more");
            if (part.kind != StackupLayerKind::mask && !given(part.thickness))
                throw error(fields.line, part.label() + ": no thickness");
            if (part.kind == StackupLayerKind::copper && !(part.thickness > 0))
                throw error(fields.thickness->line, part.label() + ": thickness needs a number above 0, got 0");
            // A sublayer of no thickness (KiCad writes them empty) takes no part in the field.
            if (dielectric && part.thickness > 0 && !given(part.er))
                throw error(fields.line, part.label() + ": no epsilon_r (the dielectric's relative permittivity)");
            if (dielectric) total += part.thickness;
            if (!dielectric || part.thickness > 0) s_.layers.push_back(part);
        }
        if (layer.kind == StackupLayerKind::dielectric && !(total > 0))
            throw error(entry.line, layer.label() + ": thickness needs a number above 0, got 0");
    }

private:
    Stackup& s_;
};

}  // namespace

Stackup readStackup(const std::string& fileName) {
    Stackup stackup;
    stackup.fileName = fileName;
    StackupReader reader(stackup);
    const std::string text = readWholeFile(fileName);

    // 1. A board: (kicad_pcb …) read whole.
    // Its first character that is no blank and not in a comment line (all before it blanks and
    // whole comment lines, a '#' found is a comment line's first).
    std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
    while (first != std::string::npos && text[first] == '#')
        first = text.find_first_not_of(" \t\r\n\f\v", text.find('\n', first));
    if (first == std::string::npos) throw reader.error(1, "not a KiCad board: the file is empty");
    if (text[first] != '(') {
        const std::size_t line = 1 + std::count(text.begin(), text.begin() + first, '\n');
        const std::string start = text.substr(first, std::min<std::size_t>(20, text.find_first_of("\r\n", first) - first));
        throw reader.error(line, "not a KiCad board: it starts with \"" + printableExcerpt(start) + "\", not (kicad_pcb");
    }
    const SExpr board = readSExpr(text, fileName);
    if (board.head() != "kicad_pcb")
        throw reader.error(board.line, "not a KiCad board: it starts with (" + printableExcerpt(board.head()) +
                                           " …), not (kicad_pcb");

    // 2. Its stack, front to back.
    const SExpr* setup = board.child("setup");
    const SExpr* section = setup ? setup->child("stackup") : nullptr;
    if (!section)
        throw reader.error(setup ? setup->line : board.line,
                           std::string("no stackup: the board's ") + (setup ? "(setup …)" : "file") +
                               " has no (stackup …) section (KiCad writes it once the board's stackup is set in "
                               "Board Setup, Physical Stackup)");
    stackup.line = section->line;
    for (const SExpr& entry : section->items)
        if (entry.head() == "layer") reader.readLayer(entry);

    // 3. Copper and dielectric in turn: two copper layers side by side would touch.
    const std::vector<std::size_t> copper = stackup.copperLayers();
    if (copper.empty()) throw reader.error(section->line, "the stackup has no copper layer");
    for (std::size_t c = 0; c + 1 < copper.size(); ++c) {
        const auto& layers = stackup.layers;
        const bool between = std::any_of(layers.begin() + copper[c], layers.begin() + copper[c + 1],
                                         [](const StackupLayer& l) { return l.kind == StackupLayerKind::dielectric; });
        if (!between)
            throw reader.error(layers[copper[c + 1]].line, "layers \"" + printableExcerpt(layers[copper[c]].name) +
                                                               "\" and \"" + printableExcerpt(layers[copper[c + 1]].name) +
                                                               "\" have no dielectric between them");
    }

    // 4. The copper layers the board types power, and those its tracks lie on.
    if (const SExpr* layers = board.child("layers"))
        for (const SExpr& l : layers->items)
            if (l.isList() && l.items.size() >= 3 && l.items[1].isValue() && l.items[2].text == "power")
                stackup.powerLayers.push_back(l.items[1].text);
    for (const SExpr& item : board.items) {
        if (item.head() != "segment" && item.head() != "arc") continue;
        stackup.tracks = true;
        const SExpr* layer = item.child("layer");
        if (layer && layer->items.size() > 1 && layer->items[1].isValue()) {
            const std::string& name = layer->items[1].text;
            auto& routed = stackup.routedLayers;
            if (std::find(routed.begin(), routed.end(), name) == routed.end()) routed.push_back(name);
        }
    }
    return stackup;
}

std::vector<std::string> referencePlanes(const Stackup& stackup, const std::vector<std::string>& requested) {
    std::vector<std::string> copper;
    for (const std::size_t k : stackup.copperLayers()) copper.push_back(stackup.layers[k].name);
    const auto listed = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& n : names) text += (text.empty() ? "" : ", ") + printableExcerpt(n);
        return text;
    };
    const auto contains = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };

    std::vector<std::string> planes;
    if (!requested.empty()) {
        for (const std::string& name : requested)
            if (!contains(copper, name))
                throw RunError("--planes: " + stackup.fileName + " has no copper layer \"" + printableExcerpt(name) +
                               "\" (its copper layers: " + listed(copper) + ")");
        for (const std::string& name : copper)
            if (contains(requested, name)) planes.push_back(name);
    } else {
        for (const std::string& name : copper)
            if (contains(stackup.powerLayers, name) || (stackup.tracks && !contains(stackup.routedLayers, name)))
                planes.push_back(name);
        if (planes.empty())
            throw RunError(stackup.fileName + ": no copper layer is known to be a plane: none is typed power in (layers …)" +
                           std::string(stackup.tracks ? " and tracks lie on every one"
                                                      : " and the file holds no tracks") +
                           "; name the planes with --planes (its copper layers: " + listed(copper) + ")");
    }
    if (planes.size() == copper.size())
        throw RunError(stackup.fileName + ": every copper layer is a plane (" + listed(copper) +
                       "): no signal layer is left to route");
    return planes;
}

}  // namespace plattor
