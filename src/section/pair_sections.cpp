// plattor's strip pair (indata3.txt) as a cross-section: in free space, or on a slab as wide as
// its ground plane.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "base/error.hpp"
#include "base/text.hpp"
#include "section/converged_range.hpp"
#include "section/pair_sections.hpp"

namespace plattor {

std::string touchingConductors(double g, double w, double c, double h) {
    assert(w > 0 && std::fabs(c) >= w);
    if (std::fabs(c) == w)
        return "the strips touch: centre distance " + shortestText(c) + " equals the strip width " + shortestText(w) +
               "; the capacitance between them is infinite";
    const double inner = std::fabs(c) / 2 - w / 2;
    if (g != 0.0 && h == 0.0 && inner == g / 2)
        return "the strip from " + shortestText(inner) + " to " + shortestText(inner + w) + " touches the ground plane from " +
               shortestText(-g / 2) + " to " + shortestText(g / 2) + " at height 0; the capacitance between them is infinite";
    return {};
}

CrossSection stripPairSection(double g, double w, double c, double h, double er) {
    if (const std::string touching = touchingConductors(g, w, c, h); !touching.empty()) throw RunError(touching);
    const bool plane = g != 0.0;
    if (const std::string problem = convergedRangeProblem(g, w, c, h); !problem.empty()) throw RunError(problem);
    const bool slab = er != 1 && plane && h != 0.0;
    if (er != 1 && !plane)
        throw RunError("--er needs a ground plane: the substrate lies between the plane and the strips, and "
                       "indata3.txt gives none (ground-plane width 0)");
    // An edge on the board's edge up to the rounding of the unit lies on it (the slab ends there).
    if (slab && std::fabs(c) / 2 + w / 2 > g / 2 * (1 + 1e-13)) {
        const double outer = std::fabs(c) / 2 + w / 2;
        throw RunError("--er: the strips must lie on the substrate, which is as wide as the ground plane: the strip "
                       "from " + shortestText(outer - w) + " to " + shortestText(outer) + " reaches beyond its edge at " +
                       shortestText(g / 2));
    }
    // The slab below a plane under the strips (h < 0) is the mirror image of the one above.
    return slab ? slabPairSection(g / w, std::fabs(c) / w, std::fabs(h) / w, er)
                : freeSpacePairSection(g / w, std::fabs(c) / w, h / w);
}

CrossSection freeSpacePairSection(double g, double c, double h) {
    assert(c >= 1 && g >= 0);
    CrossSection s;
    s.mirrorSymmetric = true;
    const bool plane = g != 0.0;
    const double y = plane ? h : 0.0;
    s.size = std::max({g, c + 1, std::fabs(y)});
    if (plane) s.addSymmetric(Face::line({-g / 2, 0}, {g / 2, 0}), s.addConductor(ConductorRole::ground));
    const std::size_t left = s.addConductor(ConductorRole::left), right = s.addConductor(ConductorRole::right);
    s.addMirrorPair(Face::line({c / 2 - 0.5, y}, {c / 2 + 0.5, y}), right, left);
    return s;
}

CrossSection slabPairSection(double g, double c, double h, double er) {
    assert(c > 1 && h > 0 && g > 0);
    CrossSection s;
    s.mirrorSymmetric = true;
    const double inner = c / 2 - 0.5, outer = c / 2 + 0.5;
    // Where the strips end on the board's edges up to the rounding of the unit, the board ends
    // exactly there: the faces meeting at the corner share its point.
    const bool beside = outer < g / 2 && std::fabs(outer - g / 2) > 1e-13 * g / 2;
    const double edge = beside ? g / 2 : outer;
    s.size = std::max({edge, h}) * 2;
    s.regions.dielectrics.push_back(DielectricRegion::box(er, -edge, edge, 0, h));
    s.addSymmetric(Face::line({-edge, 0}, {edge, 0}), s.addConductor(ConductorRole::ground));
    const std::size_t left = s.addConductor(ConductorRole::left), right = s.addConductor(ConductorRole::right);
    s.addMirrorPair(Face::line({inner, h}, {outer, h}), right, left);
    s.addSymmetric(Face::line({-inner, h}, {inner, h}), noConductor);
    if (beside) s.addMirrorPair(Face::line({outer, h}, {edge, h}), noConductor, noConductor);
    s.addMirrorPair(Face::line({edge, 0}, {edge, h}), noConductor, noConductor);
    return s;
}

}  // namespace plattor
