#include "section/structures.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "section/coating_outline.hpp"

namespace plattor {

namespace {

// How far the infinitely wide layers and grounds are taken, in sizes of the arrangement. Over
// one plane the field of a line falls like a dipole's: the charge a layer carries beyond x falls
// like 1/x and acts back on the traces like a dipole layer. Cut at 1e2, 1e3, 1e4 and 1e5 sizes a
// thin microstrip's capacitance (w = h, εr 4.3) lies 2.5e−8, 2.7e−11, 9e−14 and 7e−15 of itself
// from the one cut at 1e7.
constexpr double farLayers = 1e4;
// Between two planes the field falls like e^(−π·x/b): 12 spacings beyond the traces, e^(−37).
constexpr double farBetweenPlanes = 12.0;

// A horizontal interface at height y over [0, far] less the intervals conductors occupy there:
// one face symmetric about x = 0 where the free part reaches it, mirror pairs elsewhere; none
// where the regions on its two sides have one permittivity.
void addLayerLine(CrossSection& section, double y, double far, std::vector<std::pair<double, double>> occupied,
                  double near = 0.0) {
    const std::size_t first = section.faces.size();
    std::sort(occupied.begin(), occupied.end());
    double from = near;
    for (const auto& [x0, x1] : occupied) {
        if (x0 > from) {
            if (from == 0.0)
                section.addSymmetric(Face::line({-x0, y}, {x0, y}), noConductor);
            else
                section.addMirrorPair(Face::line({from, y}, {x0, y}), noConductor, noConductor);
        }
        from = std::max(from, x1);
    }
    if (from < far) {
        if (from == 0.0)
            section.addSymmetric(Face::line({-far, y}, {far, y}), noConductor);
        else
            section.addMirrorPair(Face::line({from, y}, {far, y}), noConductor, noConductor);
    }
    for (std::size_t k = first; k < section.faces.size(); ++k) section.markOpenEnds(k, far, near);
}

// A conductor of the board: a quadrilateral b0, b1, t1, t0 (counter-clockwise from the bottom
// left) or, of zero thickness, the strip b0 → b1. Symmetric about x = 0, or right of it with
// its mirror image as `mirrorConductor`.
struct Solid {
    Point b0, b1, t1, t0;
    bool thin;
    bool open;  // the right side is left out: a ground taken to the far end

    Outline outline() const { return {b0, b1, t1, t0}; }
    // The image under x → −x, counter-clockwise again.
    Outline mirroredOutline() const {
        const auto m = [](Point p) { return -std::conj(p); };
        return {m(b1), m(b0), m(t0), m(t1)};
    }
};

void addSolid(CrossSection& section, const Solid& solid, std::size_t conductor, std::size_t mirrorConductor,
              double far) {
    const std::size_t first = section.faces.size();
    const bool symmetric = solid.b0.real() < 0;
    const auto add = [&](Point a, Point b, bool acrossMirror) {
        if (acrossMirror)
            section.addSymmetric(Face::line(a, b), conductor);
        else
            section.addMirrorPair(Face::line(a, b), conductor, mirrorConductor);
    };
    if (solid.thin) {
        add(solid.b0, solid.b1, symmetric);
    } else if (symmetric) {
        // Counter-clockwise: the conductor on the left of every face.
        add(solid.b0, solid.b1, true);
        section.addMirrorPair(Face::line(solid.b1, solid.t1), conductor, conductor);
        add(solid.t1, solid.t0, true);
    } else {
        add(solid.b0, solid.b1, false);
        if (!solid.open) add(solid.b1, solid.t1, false);
        add(solid.t1, solid.t0, false);
        add(solid.t0, solid.b0, false);
    }
    for (std::size_t k = first; k < section.faces.size(); ++k) section.markOpenEnds(k, far);
}


}  // namespace

CrossSection structureSection(const Structure& in) {
    // Lengths in bottom widths: the answer is then the same in every unit.
    const double w = in.w;
    const double t = orDefault(in.t, 0.0) / w, wTop = orDefault(in.wTop, in.w) / w, h = in.h / w;
    const bool pair = in.isPair(), thin = t == 0;
    const bool strip = in.kind == StructureKind::stripline, coplanar = in.kind == StructureKind::coplanar;
    const double s = pair ? in.s / w : 0.0;
    const double mask = orDefault(in.mask, 0.0) / w, cover = orDefault(in.cover, 0.0) / w;
    const double maskTop = orDefault(in.maskTop, orDefault(in.mask, 0.0)) / w;

    CrossSection section;
    section.mirrorSymmetric = true;
    section.groundPlane = true;

    // The traces: the right one of a pair, or the one centred on x = 0.
    const double x0 = pair ? s / 2 : -0.5, x1 = x0 + 1, inset = (1 - wTop) / 2;
    const Solid trace{{x0, h}, {x1, h}, {x1 - inset, h + t}, {x0 + inset, h + t}, thin, false};
    std::vector<Solid> grounds;
    double outer = x1;  // the outermost finite x of the arrangement
    if (coplanar) {
        const double xg = x1 + in.g / w;
        const bool infinite = !given(in.groundWidth);
        const double xEnd = infinite ? HUGE_VAL : xg + in.groundWidth / w;
        grounds.push_back({{xg, h}, {xEnd, h}, {xEnd, h + t}, {xg, h + t}, thin, infinite});
        outer = infinite ? xg : xEnd;
    }
    const double size = std::max({outer, h, t + h, std::max(mask, maskTop) + h + t, cover + h, strip ? in.b / w : 0.0});
    section.size = 2 * size;
    const double far = strip ? outer + farBetweenPlanes * in.b / w : farLayers * size;
    for (Solid& g : grounds)
        if (std::isinf(g.b1.real())) g.b1 = {far, h}, g.t1 = {far, h + t};

    // What lies where: the conductors, the substrate, above it the upper layer, the cover or
    // the mask over the substrate and the conductors on it.
    Regions& regions = section.regions;
    for (const Solid& c : grounds) regions.conductors.push_back(c.outline()), regions.conductors.push_back(c.mirroredOutline());
    regions.conductors.push_back(trace.outline());
    if (pair) regions.conductors.push_back(trace.mirroredOutline());
    regions.dielectrics.push_back(DielectricRegion::layer(in.er, 0.0, h));
    if (strip) regions.dielectrics.push_back(DielectricRegion::layer(orDefault(in.erTop, in.er), h, HUGE_VAL));
    if (cover > 0) regions.dielectrics.push_back(DielectricRegion::layer(in.coverEr, h, h + cover));
    if (mask > 0) regions.dielectrics.push_back(DielectricRegion::coatingOf(in.maskEr, h, mask, maskTop, regions.conductors));

    if (pair) {
        const std::size_t left = section.addConductor(ConductorRole::left);
        const std::size_t right = section.addConductor(ConductorRole::right);
        addSolid(section, trace, right, left, far);
    } else {
        const std::size_t single = section.addConductor(ConductorRole::single);
        addSolid(section, trace, single, single, far);
    }
    if (!grounds.empty()) {
        const std::size_t ground = section.addConductor(ConductorRole::ground);
        for (const Solid& g : grounds) addSolid(section, g, ground, ground, far);
    }

    // The substrate's face (or the stripline's layer boundary) between the conductors.
    std::vector<std::pair<double, double>> occupied = {{std::max(x0, 0.0), x1}};
    for (const Solid& g : grounds) occupied.push_back({g.b0.real(), g.b1.real()});
    // Between two planes a pair further apart than twice the field's reach leaves the layers
    // and the upper plane out between them, where no field is left: cut there too.
    const double reach = strip ? farBetweenPlanes * in.b / w : 0.0;
    const double near = strip && pair && x0 > 2 * reach ? x0 - reach : 0.0;
    addLayerLine(section, h, far, occupied, near);

    if (strip) {
        // The upper plane: a conductor face long enough that the field has died away at its ends.
        const double b = in.b / w;
        const std::size_t plane = section.addConductor(ConductorRole::ground);
        const std::size_t face = near > 0 ? section.addMirrorPair(Face::line({near, b}, {far, b}), plane, plane)
                                          : section.addSymmetric(Face::line({far, b}, {-far, b}), plane);
        section.markOpenEnds(face, far, near);
        section.planeSpacing = b;
    } else if (cover > 0) {
        // The cover's face; where it is flush with the traces' tops, between them.
        std::vector<std::pair<double, double>> tops;
        if (cover == t) tops.push_back({std::max(trace.t0.real(), 0.0), trace.t1.real()});
        addLayerLine(section, h + cover, far, tops);
    } else if (mask > 0) {
        // The mask's outer boundary: the band over the substrate raised over the conductors
        // (a zero-thickness one only by a coating thicker than the band).
        std::vector<Piece> pieces = {{0.0, far, h + mask, h + mask, false, {}, 0}};
        if (!thin || maskTop > mask) {
            offsetPieces(trace.b0, trace.b1, trace.t1, trace.t0, maskTop, mask, false, pieces);
            if (pair) {
                const auto m = [](Point p) { return -std::conj(p); };
                offsetPieces(m(trace.b1), m(trace.b0), m(trace.t0), m(trace.t1), maskTop, mask, false, pieces);
            }
            for (const Solid& g : grounds) offsetPieces(g.b0, g.b1, g.t1, g.t0, maskTop, mask, g.open, pieces);
        }
        addEnvelope(section, pieces, far, 1e-12 * size);
    }
    return section;
}

}  // namespace plattor
