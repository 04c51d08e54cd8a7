#include "lines/strip_pair.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "matrix/error.hpp"
#include "matrix/linalg.hpp"
#include "matrix/text.hpp"
#include "solution/capacitance.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
constexpr double longestPanel = pi / 4;
// The shortest panel the mesh makes, whatever the rule asks: only conductors that touch (which
// are refused) or nearly do would need shorter.
constexpr double shortestPanel = pi * 0x1p-80;

double distanceToFace(Point z, const Face& f) { return distanceToSegment(z, f.start, f.end); }

// |z − segment ab| < d, without a square root.
bool closerThan(Point z, Point a, Point b, double d) { return std::norm(fromSegment(z, a, b)) < d * d; }

struct MeshRule {
    const std::vector<Face>& faces;
    std::size_t face;
    double ratio;
    double endGap[2];  // distance from each end of the face to the nearest other face

    bool holds(double t0, double t1) const {
        const double length = t1 - t0;
        if (length > longestPanel) return false;
        // At an own edge with another conductor s away the density changes over that distance,
        // t ~ √(4·s/W) from the end; at a free edge g is smooth down to t = 0.
        const double width = 2 * faces[face].halfLength();
        if (length > ratio * (t0 + std::sqrt(4 * endGap[0] / width))) return false;
        if (length > ratio * ((pi - t1) + std::sqrt(4 * endGap[1] / width))) return false;
        // Near another face's edge the density varies over the distance to that edge; under the
        // interior of a strip it does not (a parallel plate), so interiors do not refine.
        const Point a = faces[face].point(t0), b = faces[face].point(t1);
        const double span = std::abs(b - a);
        for (std::size_t k = 0; k < faces.size(); ++k) {
            if (k == face) continue;
            for (const Point edge : {faces[k].start, faces[k].end})
                if (span > ratio * distanceToSegment(edge, a, b)) return false;
        }
        return true;
    }

    // [t0, t1] covered from t0 on by the longest panel that holds, then the next: every panel
    // is as long as the rule allows (the rule gets stricter as a panel grows, so the longest
    // is found by bisecting its end), which needs fewer panels than halving would.
    void cover(double t0, double t1, std::vector<Panel>& out) const {
        for (double from = t0; from < t1;) {
            double to = t1;
            if (!holds(from, to)) {
                double good = from + shortestPanel, bad = t1;
                for (int step = 0; step < 60 && bad - good > 1e-6 * (good - from); ++step) {
                    const double mid = (good + bad) / 2;
                    (holds(from, mid) ? good : bad) = mid;
                }
                to = std::min(good, t1);
            }
            out.push_back({face, from, to, faces[face].point(from), faces[face].point(to)});
            from = to;
        }
    }
};

MeshRule ruleFor(const std::vector<Face>& faces, std::size_t face, double ratio) {
    MeshRule rule{faces, face, ratio, {HUGE_VAL, HUGE_VAL}};
    for (std::size_t k = 0; k < faces.size(); ++k) {
        if (k == face) continue;
        rule.endGap[0] = std::min(rule.endGap[0], distanceToFace(faces[face].start, faces[k]));
        rule.endGap[1] = std::min(rule.endGap[1], distanceToFace(faces[face].end, faces[k]));
    }
    return rule;
}

}  // namespace

StripPair scaledStripPair(double g, double w, double c, double h) {
    assert(w > 0 && std::fabs(c) >= w);
    if (std::fabs(c) == w)
        throw RunError("the strips touch: centre distance " + numberText(c) + " equals the strip width " +
                       numberText(w) + "; the capacitance between them is infinite");
    const bool plane = g != 0.0;
    if (plane && h == 0.0) {
        // The strips lie in the plane's line: an edge on the plane's edge closes the gap.
        const double inner = std::fabs(c) / 2 - w / 2;
        if (inner == g / 2)
            throw RunError("the strip from " + numberText(inner) + " to " + numberText(inner + w) +
                           " touches the ground plane from " + numberText(-g / 2) + " to " + numberText(g / 2) +
                           " at height 0; the capacitance between them is infinite");
    }
    return {plane, g / w, std::fabs(c) / w, plane ? h / w : 0.0};
}

std::size_t PairMesh::panelCount(std::size_t face) const {
    return static_cast<std::size_t>(
        std::count_if(panels.begin(), panels.end(), [face](const Panel& p) { return p.face == face; }));
}

PairMesh meshStripPair(const StripPair& pair, double meshRatio) {
    PairMesh mesh;
    mesh.groundPlane = pair.groundPlane;
    const double y = pair.height;
    const double x = pair.centreDistance / 2;
    if (pair.groundPlane) mesh.faces.push_back({Point(-pair.planeWidth / 2, 0), Point(pair.planeWidth / 2, 0)});
    mesh.leftStrip = mesh.faces.size();
    mesh.faces.push_back({Point(-x - 0.5, y), Point(-x + 0.5, y)});
    mesh.rightStrip = mesh.faces.size();
    mesh.faces.push_back({Point(x - 0.5, y), Point(x + 0.5, y)});

    // The plane from its centre (t = π/2) to its right edge; the right strip whole.
    if (pair.groundPlane) ruleFor(mesh.faces, 0, meshRatio).cover(pi / 2, pi, mesh.panels);
    ruleFor(mesh.faces, mesh.rightStrip, meshRatio).cover(0, pi, mesh.panels);
    return mesh;
}

Matrix maxwellMatrix(const PairMesh& mesh, std::size_t order) {
    const PanelRule rule(order);
    const std::size_t p = order;
    const std::size_t n = mesh.panels.size() * p;

    // Collocation points and their mirror images x → −x: the plane maps onto itself (t → π − t),
    // the right strip onto the left. A source charge g at y acts with its image at ȳ, with the
    // same sign in the even mode and the opposite one in the odd mode; the image's potential at
    // z is the source's at z̄.
    std::vector<Target> targets, images;
    std::vector<double> potentials, chargeWeights, farDistances;
    for (const Panel& panel : mesh.panels) farDistances.push_back(rule.farDistance(panel));
    for (const Panel& panel : mesh.panels) {
        const double centre = (panel.t0 + panel.t1) / 2, half = (panel.t1 - panel.t0) / 2;
        for (std::size_t j = 0; j < p; ++j) {
            const double t = centre + half * rule.node(j);
            const Anchored z = mesh.faces[panel.face].anchored(t);
            targets.push_back({z, panel.face, t});
            const std::size_t imageFace = panel.face == mesh.rightStrip ? mesh.leftStrip : panel.face;
            images.push_back({mirrored(z), imageFace, pi - t});
            potentials.push_back(panel.face == mesh.rightStrip ? 1.0 : 0.0);
            chargeWeights.push_back(half * rule.weight(j));
        }
    }

    // K(i, j): the potential at target i of the unknown j, −∫ ln|X − z_i|·ℓ_j; the same with
    // the targets' images for the images of the sources. Kept transposed, Kᵀ(j, i): a target's
    // row is then one contiguous column.
    auto transposedKernel = [&](const std::vector<Target>& at) {
        Matrix kt(n, n);
        std::vector<Complex> parameters(mesh.faces.size());
        for (std::size_t i = 0; i < n; ++i) {
            double* row = &kt(0, i);
            for (std::size_t f = 0; f < mesh.faces.size(); ++f) parameters[f] = targetParameter(mesh.faces[f], f, at[i]);
            for (std::size_t q = 0; q < mesh.panels.size(); ++q) {
                const Panel& panel = mesh.panels[q];
                double* part = &row[q * p];
                const bool near = closerThan(at[i].z(), panel.a, panel.b, farDistances[q]) &&
                                  rule.addNearIntegrals(mesh.faces[panel.face], panel, at[i], parameters[panel.face],
                                                        1.0, part);
                if (near) continue;
                // Far off the panel its own rule: −ln|X − z| as −½·ln|X − z|², without a root.
                for (std::size_t j = 0; j < p; ++j)
                    part[j] = -0.5 * chargeWeights[q * p + j] * std::log(std::norm(targets[q * p + j].at - at[i].at));
            }
        }
        return kt;
    };
    const Matrix direct = transposedKernel(targets);
    const Matrix mirrored = transposedKernel(images);

    // The even system is bordered with the free constant potential V0 (column n) and the
    // neutrality of the charge (row n).
    auto solveMode = [&](double imageSign, bool bordered) {
        const std::size_t size = bordered ? n + 1 : n;
        Matrix a(size, size);
        // A = K_direct ± K_mirrored from the transposes, in tiles that stay in the cache.
        constexpr std::size_t tile = 32;
        for (std::size_t j0 = 0; j0 < n; j0 += tile)
            for (std::size_t i0 = 0; i0 < n; i0 += tile)
                for (std::size_t j = j0; j < std::min(n, j0 + tile); ++j)
                    for (std::size_t i = i0; i < std::min(n, i0 + tile); ++i)
                        a(i, j) = direct(j, i) + imageSign * mirrored(j, i);
        Matrix b(size, 1);
        for (std::size_t i = 0; i < n; ++i) b(i, 0) = potentials[i];
        if (bordered) {
            for (std::size_t i = 0; i < n; ++i) {
                a(i, n) = 1.0;
                a(n, i) = chargeWeights[i];
            }
        }
        const Matrix g = luSolve(luFactor(std::move(a)), std::move(b));
        // The charge of the right strip, in units of 2π·ε0 per volt.
        double charge = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            if (potentials[i] == 1.0) charge += chargeWeights[i] * g(i, 0);
        return inFaradPerMetre(charge);
    };

    const double odd = solveMode(-1.0, false);
    if (!mesh.groundPlane) return Matrix(1, 1, odd / 2);  // ±1 V: twice the volt between them
    const double even = solveMode(1.0, true);
    // Strips at (+1, +1) carry C11 + C12 each, at (−1, +1) C22 − C21 = C11 − C12.
    Matrix maxwell(2, 2);
    maxwell(0, 0) = maxwell(1, 1) = (even + odd) / 2;
    maxwell(0, 1) = maxwell(1, 0) = (even - odd) / 2;
    return maxwell;
}

}  // namespace plattor
