// The options of the structures, as the command line, a batch's header, the library and the
// Python module name them: one table.
#include <cstddef>

#include "section/structures.hpp"

namespace plattor {

namespace {

constexpr unsigned micro = kindBit(StructureKind::microstrip), strip = kindBit(StructureKind::stripline),
                   coplanar = kindBit(StructureKind::coplanar);

const std::vector<StructureOption> options = {
    {"w", &Structure::w, true, "trace width", "W", everyKind, everyKind, false},
    {"w-top", &Structure::wTop, true, "trace's top width", "WT", everyKind, 0, false},
    {"t", &Structure::t, true, "trace thickness", "T", everyKind, 0, false},
    {"s", &Structure::s, true, "gap between the traces", "S", everyKind, 0, false},
    {"h", &Structure::h, true, "height", "H", everyKind, everyKind, false},
    {"b", &Structure::b, true, "spacing of the planes", "B", strip, strip, false},
    {"er", &Structure::er, false, "relative permittivity", "E", everyKind, everyKind, false},
    {"er-top", &Structure::erTop, false, "relative permittivity above the traces", "ET", strip, 0, false},
    {"mask", &Structure::mask, true, "mask thickness", "M", micro | coplanar, 0, false},
    {"mask-er", &Structure::maskEr, false, "mask's relative permittivity", "EM", micro | coplanar, 0, false},
    {"mask-top", &Structure::maskTop, true, "mask thickness over the conductors", "MT", micro | coplanar, 0, false},
    {"cover", &Structure::cover, true, "cover thickness", "C", micro, 0, false},
    {"cover-er", &Structure::coverEr, false, "cover's relative permittivity", "EC", micro, 0, false},
    {"g", &Structure::g, true, "gap to the coplanar grounds", "G", coplanar, coplanar, false},
    {"ground-width", &Structure::groundWidth, true, "coplanar ground width", "GW", coplanar, 0, false},
    {"tand", &Structure::tand, false, "substrate's loss tangent", "TD", everyKind, 0, true},
    {"tand-top", &Structure::tandTop, false, "loss tangent above the traces", "TDT", strip, 0, true},
    {"mask-tand", &Structure::maskTand, false, "mask's loss tangent", "TDM", micro | coplanar, 0, true},
    {"cover-tand", &Structure::coverTand, false, "cover's loss tangent", "TDC", micro, 0, true},
};

}  // namespace

const std::vector<StructureOption>& structureOptions() { return options; }

const char* structureDescription(StructureKind kind) {
    switch (kind) {
        case StructureKind::microstrip:
            return "a trace (a pair with s, the gap between their bottom edges) of bottom width w, top width w-top "
                   "(default w) and thickness t (default 0) on a substrate of height h and relative permittivity er "
                   "over a plane; a solder mask (mask thick over the laminate, mask-top over the conductors, default "
                   "mask; of mask-er) or a cover layer (cover, cover-er) embedding the traces";
        case StructureKind::stripline:
            return "the traces of the microstrip with their bottoms at h between planes b apart, er below them and "
                   "er-top (default er) above";
        case StructureKind::coplanar:
            return "the microstrip with a ground on each side, of the traces' thickness, g from their outer bottom "
                   "edges and ground-width wide (default infinite), and a mask as the microstrip's";
    }
    return "";
}

std::string structureUsage(StructureKind kind) {
    std::string needed, optional;
    for (const StructureOption& o : options) {
        if (!(o.kinds & kindBit(kind))) continue;
        const std::string option = std::string("--") + o.name + " " + o.placeholder;
        if (o.required & kindBit(kind)) needed += (needed.empty() ? "" : " ") + option;
        else optional += " [" + option + "]";
    }
    return needed + optional;
}

const StructureOption* findStructureOption(std::string_view name) {
    for (const StructureOption& o : options) {
        const std::string_view own = o.name;
        if (own.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < own.size() && same; ++k) same = own[k] == name[k] || (own[k] == '-' && name[k] == '_');
        if (same) return &o;
    }
    return nullptr;
}

bool structureKindNamed(std::string_view name, StructureKind& kind) {
    for (const StructureKind k : {StructureKind::microstrip, StructureKind::stripline, StructureKind::coplanar})
        if (name == structureName(k)) {
            kind = k;
            return true;
        }
    return false;
}

const char* structureName(StructureKind kind) {
    switch (kind) {
        case StructureKind::microstrip: return "microstrip";
        case StructureKind::stripline: return "stripline";
        case StructureKind::coplanar: return "coplanar";
    }
    return "";
}

}  // namespace plattor
