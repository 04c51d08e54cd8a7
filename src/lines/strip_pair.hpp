#pragma once
// The strip pair's own solver: graded panels on the faces, collocation of the potential, the
// even and odd modes of the mirror-symmetric arrangement solved separately.
//
// Lengths are divided by the strip width once, on entry; the answer is then the same in every
// length unit. The even mode keeps the total charge zero by a constraint with a free constant
// potential (the bordered system), so no length unit makes the logarithmic kernel singular.
#include <cstddef>
#include <vector>

#include "lines/panels.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// Two strips of width 1 centred at x = ∓centreDistance/2, at height `height` over a ground
// plane of width planeWidth centred at x = 0 (y = 0), or at y = 0 without a plane.
struct StripPair {
    bool groundPlane;
    double planeWidth;
    double centreDistance;  // ≥ 1
    double height;
};

// The pair of ground-plane width g, strip width w, centre distance c and height h in any one
// unit (g = 0: no plane), in strip widths. Raises RunError if two conductors touch: the
// capacitance between them is infinite.
StripPair scaledStripPair(double g, double w, double c, double h);

// The faces of a pair and the panels of the right half (x ≥ 0) that carry the unknowns.
struct PairMesh {
    std::vector<Face> faces;    // [plane,] left strip, right strip
    std::vector<Panel> panels;  // on the plane's right half and the right strip
    bool groundPlane;
    std::size_t leftStrip;      // face index
    std::size_t rightStrip;
    std::size_t panelCount(std::size_t face) const;  // panels of one face in `panels`
};

// Bisection until every panel holds (t in [0, π], W a face's length, α = meshRatio):
// length ≤ π/4; near an own end, length ≤ α·(t-distance to it + √(4·s/W)), s the distance
// from that end to the nearest other face; and |X(t1) − X(t0)| ≤ α·(distance of the panel to
// every edge of another face).
PairMesh meshStripPair(const StripPair& pair, double meshRatio);

// The Maxwell matrix of the strips in F/m, from one mesh at order p: against the plane 2×2,
// without one the 1×1 capacitance between the strips.
Matrix maxwellMatrix(const PairMesh& mesh, std::size_t order);

}  // namespace plattor
