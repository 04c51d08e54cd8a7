// The options of the structures, as the command line, a batch's header, the library and the
// Python module name them: one table.
#include <cstddef>

#include "section/structures.hpp"

namespace plattor {

namespace {

const std::vector<StructureOption> options = {
    {"w", &Structure::w, true, "trace width"},
    {"w-top", &Structure::wTop, true, "trace's top width"},
    {"t", &Structure::t, true, "trace thickness"},
    {"s", &Structure::s, true, "gap between the traces"},
    {"h", &Structure::h, true, "height"},
    {"b", &Structure::b, true, "spacing of the planes"},
    {"er", &Structure::er, false, "relative permittivity"},
    {"er-top", &Structure::erTop, false, "relative permittivity above the traces"},
    {"mask", &Structure::mask, true, "mask thickness"},
    {"mask-er", &Structure::maskEr, false, "mask's relative permittivity"},
    {"mask-top", &Structure::maskTop, true, "mask thickness over the conductors"},
    {"cover", &Structure::cover, true, "cover thickness"},
    {"cover-er", &Structure::coverEr, false, "cover's relative permittivity"},
    {"g", &Structure::g, true, "gap to the coplanar grounds"},
    {"ground-width", &Structure::groundWidth, true, "coplanar ground width"},
};

}  // namespace

const std::vector<StructureOption>& structureOptions() { return options; }

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
