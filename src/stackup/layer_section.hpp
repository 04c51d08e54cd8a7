#pragma once
// The cross-section a trace forms on one signal layer of a board's stack, with the planes the
// designer routes against: the one place a stack becomes a structure to solve.
#include <cstddef>
#include <string>
#include <vector>

#include "design/impedance_table.hpp"
#include "section/structures.hpp"
#include "stackup/stackup.hpp"

namespace plattor {

// A solder mask given on the command line in place of the stack's (--mask, --mask-er); absent
// where not given. Metres.
struct MaskChoice {
    double thickness = absent;
    double er = absent;
};

struct LayerSection {
    std::string layer;        // "F.Cu"
    std::string description;  // "microstrip over In1.Cu", "stripline between In1.Cu and In3.Cu"
    // The structure it is, for the report: lengths in metres; the width and the gap absent, to
    // be solved; er (er-top), and tand (tand-top, cover-tand), absent where the dielectrics of a
    // side differ in it.
    Structure structure;
    TraceStack stack;         // what is solved: every dielectric between the planes
    // Why the layer has no cross-section yet ("In2.Cu: 2 dielectrics between the trace and its
    // plane In4.Cu (epsilon_r 4.5, 4.3); not supported yet"); empty where `structure` holds it.
    std::string unsupported;
};

// The cross-section of a trace on the copper layer stack.layers[layer] (not a plane):
//  - an outer layer (the first or last copper): a microstrip over the nearest plane inward, the
//    dielectric between them its substrate (h its thickness), under the stack's solder mask on
//    that face (as thick over the copper as over the laminate), or the mask chosen instead;
//  - an inner layer with a plane on one side alone: the microstrip over it, embedded under the
//    dielectrics on the other side up to the face (the one next to the trace filling round it,
//    and so thicker by it) and the face's mask;
//  - an inner layer: a stripline between the nearest planes on both sides. The trace stands on
//    the dielectric of the neighbouring core (on the one below it, towards the back, where both
//    or neither neighbour is a core): that side's dielectric is er up to the trace's base at h,
//    the other side's is er-top around the trace and up to the other plane at b = h + t + its
//    thickness.
// A plane's face bounds the dielectric next to it; a copper layer between the trace and its plane
// that is no plane is left out, its thickness filled by the dielectric on both sides of it.
// Dielectrics side by side of one permittivity and loss tangent are one dielectric; a side may
// hold several, each solved as its own layer. The mask's loss tangent is the stack's mask's (0
// where it has none). Where a layer has no plane on either side, `unsupported` says so in one
// line naming the layer.
// Raises RunError naming the file, the line and the field for a solder mask over a signal layer
// whose thickness or permittivity neither the stack nor `mask` gives.
LayerSection layerCrossSection(const Stackup& stackup, std::size_t layer, const std::vector<std::string>& planes,
                               const MaskChoice& mask);

}  // namespace plattor
