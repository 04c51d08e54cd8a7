#include "stackup/layer_section.hpp"

#include <algorithm>

#include "base/error.hpp"
#include "base/text.hpp"

namespace plattor {

namespace {

// A stretch of dielectric of one material: one permittivity and loss tangent.
struct Run {
    double er;
    double tanDelta;
    double thickness;
};

// The value of `field` that every run shares; absent where they differ (or there is none).
double shared(const std::vector<Run>& runs, double Run::*field) {
    if (runs.empty()) return absent;
    for (const Run& r : runs)
        if (r.*field != runs.front().*field) return absent;
    return runs.front().*field;
}

// The stack from a trace outwards on one side, up to a plane or the board's face.
struct Side {
    std::vector<Run> runs;                 // from the trace outwards
    const StackupLayer* plane = nullptr;   // the plane that ends it; nullptr at the board's face
    const StackupLayer* next = nullptr;    // the dielectric next to the trace
    const StackupLayer* mask = nullptr;    // the solder mask at the face, if any
    double thickness() const {
        double t = 0.0;
        for (const Run& r : runs) t += r.thickness;
        return t;
    }
};

Side walk(const Stackup& stackup, std::size_t from, int step, const std::vector<std::string>& planes) {
    Side side;
    const auto& layers = stackup.layers;
    for (auto k = static_cast<std::ptrdiff_t>(from) + step; k >= 0 && k < static_cast<std::ptrdiff_t>(layers.size());
         k += step) {
        const StackupLayer& l = layers[static_cast<std::size_t>(k)];
        if (l.kind == StackupLayerKind::mask) {
            side.mask = &l;
            break;
        }
        if (l.kind == StackupLayerKind::copper) {
            if (std::find(planes.begin(), planes.end(), l.name) != planes.end()) {
                side.plane = &l;
                break;
            }
            // No copper of this layer lies by the trace: its thickness is the dielectric's.
            if (!side.runs.empty()) side.runs.back().thickness += l.thickness;
            continue;
        }
        if (!side.next) side.next = &l;
        if (side.runs.empty() || side.runs.back().er != l.er || side.runs.back().tanDelta != l.tanDelta)
            side.runs.push_back({l.er, l.tanDelta, l.thickness});
        else
            side.runs.back().thickness += l.thickness;
    }
    return side;
}

}  // namespace

LayerSection layerCrossSection(const Stackup& stackup, std::size_t layer, const std::vector<std::string>& planes,
                               const MaskChoice& maskChoice) {
    const StackupLayer& copper = stackup.layers[layer];
    LayerSection section;
    section.layer = copper.name;
    const std::string name = printableExcerpt(copper.name);
    const std::vector<std::size_t> coppers = stackup.copperLayers();
    const Side up = walk(stackup, layer, -1, planes), down = walk(stackup, layer, +1, planes);
    const auto unsupported = [&](const std::string& why) {
        section.unsupported = name + ": " + why + "; not supported yet";
        return section;
    };
    // The dielectrics from a plane (or the face) to the trace, bottom to top, as the board's layers.
    const auto layersOf = [](const Side& side, bool towardsTrace) {
        std::vector<BoardLayer> layers;
        for (const Run& r : side.runs) {
            if (!(r.thickness > 0)) continue;
            BoardLayer& l = layers.emplace_back();
            l.thickness = r.thickness, l.er = r.er, l.tanDelta = r.tanDelta;
        }
        if (towardsTrace) std::reverse(layers.begin(), layers.end());
        return layers;
    };
    Structure& s = section.structure;
    s.t = copper.thickness;
    const bool front = layer == coppers.front(), back = layer == coppers.back();
    if (front || back || !up.plane != !down.plane) {
        // One side reaches a plane, the other the board's face: a microstrip over that plane, an
        // inner layer's under the dielectrics to the face (the one next to the trace filling
        // round it), and the face's mask.
        const bool inwardDown = front || (!back && down.plane);
        const Side& inward = inwardDown ? down : up;
        const Side& face = inwardDown ? up : down;
        if (!inward.plane) return unsupported(std::string("no plane ") + (inwardDown ? "below" : "above") + " it");
        s.kind = StructureKind::microstrip;
        s.h = inward.thickness();
        s.er = shared(inward.runs, &Run::er);
        s.tand = shared(inward.runs, &Run::tanDelta);
        section.description = std::string(face.runs.empty() ? "" : "embedded ") + "microstrip over " + inward.plane->name;
        Board& board = section.stack.board;
        board.layers = layersOf(inward, true);
        const std::size_t below = board.layers.size();
        std::vector<BoardLayer> over = layersOf(face, false);
        if (!over.empty()) {
            over.front().thickness += s.t;
            board.layers.insert(board.layers.end(), over.begin(), over.end());
            s.cover = face.thickness() + s.t;
            s.coverEr = shared(face.runs, &Run::er);
            s.coverTand = shared(face.runs, &Run::tanDelta);
        }
        section.stack.base = board.layerBottom(below);
        section.stack.thickness = s.t;

        // The mask: the stack's, or the one given instead.
        const StackupLayer* m = face.mask;
        double thickness = maskChoice.thickness;
        if (!given(thickness) && m) {
            if (!given(m->thickness))
                throw RunError(stackup.at(m->line) + ": " + m->label() +
                               ": no thickness for the solder mask over " + name + ": give --mask (0: no mask)");
            thickness = m->thickness;
        }
        if (given(thickness) && thickness > 0) {
            double er = maskChoice.er;
            if (!given(er) && m) {
                if (!given(m->er))
                    throw RunError(stackup.at(m->line) + ": " + m->label() + ": no epsilon_r for the solder mask over " +
                                   name + ": give --mask-er");
                er = m->er;
            }
            if (!given(er))
                throw RunError("--mask needs --mask-er: " + stackup.fileName + " has no solder mask over " + name);
            // Its loss tangent the stack's, where the stack has a mask there.
            const double tanDelta = m ? m->tanDelta : 0.0;
            s.mask = s.maskTop = thickness;
            s.maskEr = er;
            s.maskTand = tanDelta;
            section.stack.board.coating.push_back({thickness, thickness, er, tanDelta});
        }
        return section;
    }

    // An inner layer between two planes.
    if (!up.plane && !down.plane) return unsupported("no plane on either side");
    const auto core = [](const Side& side) { return side.next && side.next->type == "core"; };
    const bool onUpper = core(up) && !core(down);
    const Side& base = onUpper ? up : down;
    const Side& top = onUpper ? down : up;
    s.kind = StructureKind::stripline;
    s.h = base.thickness();
    s.b = s.h + s.t + top.thickness();
    s.er = shared(base.runs, &Run::er);
    s.erTop = shared(top.runs, &Run::er);
    s.tand = shared(base.runs, &Run::tanDelta);
    s.tandTop = shared(top.runs, &Run::tanDelta);
    section.description = "stripline between " + up.plane->name + " and " + down.plane->name;
    // The base's dielectrics up to the trace, then the other side's, the one next to the trace
    // filling around it (a prepreg flows round the copper) and so thicker by it.
    Board& board = section.stack.board;
    board.topPlane = true;
    board.layers = layersOf(base, true);
    std::vector<BoardLayer> over = layersOf(top, false);
    over.front().thickness += s.t;
    const std::size_t below = board.layers.size();
    board.layers.insert(board.layers.end(), over.begin(), over.end());
    section.stack.base = board.layerBottom(below);
    section.stack.thickness = s.t;
    return section;
}

}  // namespace plattor
