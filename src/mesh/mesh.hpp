#pragma once
// Panels on the faces of a cross-section: the one mesh rule.
//
// A panel is an interval [t0, t1] of one face's parameter carrying the interpolant of the
// charge through its nodes. Each face is covered from its start by the longest panels that
// hold, so the count grows with the logarithm of the range of scales, never with their ratio:
// - no panel longer than π/4 in t, nor (between two planes) than their spacing b plus half its
//   distance to the nearest edge: the field there is the plates' uniform one but within a few b
//   of an edge;
// - near a free end (nothing meets it, or a face continues it straight on), the charge changes
//   over the distance s to the nearest other face: length ≤ α·(t to that end + √(4·s/L)), L
//   the face's length (the cosine map absorbs the edge's own d^(−1/2));
// - towards a corner (faces meet at an angle, where the charge's exponents depend on the angle
//   and the permittivities) geometric layers: length ≤ 3·(t to the corner), down to an
//   innermost panel as deep as the level asks;
// - a panel's chord at most α times its distance to every edge or corner of another face
//   (and to their images in a ground plane), where another conductor's charge concentrates.
// Each panel carries the rung's order, but for the layers at a corner (see MeshLevel).
#include <cstddef>
#include <vector>

#include "section/cross_section.hpp"

namespace plattor {

struct Panel {
    std::size_t face;
    double t0;
    double t1;
    Anchored a;  // X(t0)
    Anchored b;  // X(t1)
    Point middle;   // of the chord, and half its length: a circle around the chord
    double radius;
    std::size_t order;  // its nodes
    std::size_t first;  // the index of its first node among all
    bool innermost = false;  // the innermost layer towards a corner

    double chord() const;
};

struct Mesh {
    std::vector<Panel> panels;
    std::size_t unknowns() const { return panels.empty() ? 0 : panels.back().first + panels.back().order; }
    std::size_t panelsOn(std::size_t face) const;
    // Whether layers grade towards a corner: the error then has the corners' depth in it besides
    // the panels' order.
    bool layered() const;
};

// One rung of refinement: the panel order and how deep the layers reach into corners, as a
// fraction of the corner's own size. Towards a corner the order falls with the layers: the
// innermost gets 3 nodes, each layer out one more, up to the rung's order (the singular charge
// needs depth there, not degree).
struct MeshLevel {
    std::size_t order;
    double cornerDepth;
};

// The panels that carry the unknowns: with mirror symmetry those of the faces right of x = 0
// (and the right half of faces across it), else all; those of the conductors' faces first.
// Raises RunError if the arrangement would need more panels than any input within the stated
// ranges does.
Mesh meshCrossSection(const CrossSection& section, const MeshLevel& level);

// The mesh of section.inVacuum(): the panels of `mesh` (of `section`) on every face but the
// interfaces, which lead it (the conductors' unknowns come first). The systems in vacuum are
// then the leading blocks of the arrangement's own, and every rung in vacuum resolves what the
// same rung with the dielectrics does on the conductors.
Mesh conductorMesh(const CrossSection& section, const Mesh& mesh);

// The parameter interval of a face that carries unknowns; empty (t0 = t1) for a face whose
// mirror image carries them.
struct ParameterRange {
    double t0;
    double t1;
};
ParameterRange solvedRange(const CrossSection& section, std::size_t face);

}  // namespace plattor
