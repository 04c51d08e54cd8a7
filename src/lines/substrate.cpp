#include "lines/substrate.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "matrix/linalg.hpp"
#include "solution/capacitance.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;
constexpr double longestPanel = pi / 4;
constexpr double meshRatio = 1.0;
// Geometric layers towards a corner: t-lengths π/8·4^−k, so that a singular density ~ t^λ
// seen from the next panel lies a third of a panel length off it (Bernstein parameter 3).
constexpr double cornerStart = pi / 8;
constexpr double cornerRatio = 0.25;
// The deepest layer, as a distance from the corner relative to the arrangement's size.
constexpr double cornerDepthFloor = 1e-9;
// Pieces of a near panel are integrated by a 16-point rule once every pole of the kernel lies
// outside the Bernstein ellipse of parameter 3 of the piece (error ~3^−32).
constexpr std::size_t pieceOrder = 16;
constexpr double pieceEllipse = 3.0;

bool samePoint(Point a, Point b, double scale) { return std::abs(a - b) <= 1e-13 * scale; }

// The rules a panel [t0, t1] of one face must hold; corners are graded beforehand.
struct MeshRule {
    const SubstrateMesh& mesh;
    std::size_t face;
    double scale;
    double endGap[2];  // from each end to the nearest face not touching it

    bool holds(double t0, double t1) const {
        const double length = t1 - t0;
        if (length > longestPanel) return false;
        const Face& f = mesh.faces[face];
        const double width = 2 * f.halfLength();
        // Where a face ends on a strip's edge its density changes over the distance to the
        // nearest other face, t ~ √(4·s/W) from the end.
        if (std::isfinite(endGap[0]) && length > meshRatio * (t0 + std::sqrt(4 * endGap[0] / width))) return false;
        if (std::isfinite(endGap[1]) && length > meshRatio * ((pi - t1) + std::sqrt(4 * endGap[1] / width)))
            return false;
        const Point a = f.point(t0), b = f.point(t1);
        const double span = std::abs(b - a);
        for (std::size_t k = 0; k < mesh.faces.size(); ++k) {
            if (k == face) continue;
            for (const Point edge : {mesh.faces[k].start, mesh.faces[k].end}) {
                if (samePoint(edge, f.start, scale) || samePoint(edge, f.end, scale)) continue;
                if (span > meshRatio * distanceToSegment(edge, a, b)) return false;
            }
        }
        return true;
    }

    void bisect(double t0, double t1, int depth, std::vector<Panel>& out) const {
        if (depth < 60 && !holds(t0, t1)) {
            const double mid = (t0 + t1) / 2;
            bisect(t0, mid, depth + 1, out);
            bisect(mid, t1, depth + 1, out);
        } else {
            const Face& f = mesh.faces[face];
            out.push_back({face, t0, t1, f.point(t0), f.point(t1)});
        }
    }
};

// Whether a face's end is a corner: another face meets it at an angle there.
bool isCorner(const SubstrateMesh& mesh, std::size_t face, Point end, double scale) {
    const Point direction = mesh.faces[face].end - mesh.faces[face].start;
    for (std::size_t k = 0; k < mesh.faces.size(); ++k) {
        if (k == face) continue;
        const Face& other = mesh.faces[k];
        if (!samePoint(other.start, end, scale) && !samePoint(other.end, end, scale)) continue;
        const Point d = other.end - other.start;
        if (std::fabs((d * std::conj(direction)).imag()) > 1e-12 * std::abs(d) * std::abs(direction)) return true;
    }
    return false;
}

// Panels of face `face` over [lo, hi]: geometric layers towards corner ends, then bisection.
void meshFace(SubstrateMesh& mesh, std::size_t face, double lo, double hi, int layers, double scale) {
    const Face& f = mesh.faces[face];
    MeshRule rule{mesh, face, scale, {HUGE_VAL, HUGE_VAL}};
    const Point ends[2] = {f.start, f.end};
    for (int e = 0; e < 2; ++e) {
        if (isCorner(mesh, face, ends[e], scale)) continue;
        for (std::size_t k = 0; k < mesh.faces.size(); ++k) {
            if (k == face) continue;
            const double d = distanceToSegment(ends[e], mesh.faces[k].start, mesh.faces[k].end);
            if (d > 1e-13 * scale) rule.endGap[e] = std::min(rule.endGap[e], d);
        }
    }
    // The layers stop where a panel would lie closer to the corner than 1e−9 of the
    // arrangement's size (R·t²/2 from it). The innermost panel's nodes lie down to 1e−12 of it
    // from the corner; the kernels keep their distances by taking points near a corner as offsets
    // from it. Deeper layers bring order 8 nearer the higher orders, not needed for its bar.
    const double shallowest = std::sqrt(2 * cornerDepthFloor * scale / f.halfLength());
    std::vector<double> breaks = {lo, hi};
    for (int k = 0; k <= layers && cornerStart * std::pow(cornerRatio, k) >= shallowest; ++k) {
        const double t = cornerStart * std::pow(cornerRatio, k);
        if (lo == 0 && isCorner(mesh, face, f.start, scale)) breaks.push_back(t);
        if (hi == pi && isCorner(mesh, face, f.end, scale)) breaks.push_back(pi - t);
    }
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    for (std::size_t k = 0; k + 1 < breaks.size(); ++k) {
        if (breaks[k] < lo || breaks[k + 1] > hi) continue;
        rule.bisect(breaks[k], breaks[k + 1], 0, mesh.panels);
    }
}

// Lagrange basis through the nodes at u (barycentric form).
void lagrangeValues(const std::vector<double>& nodes, const std::vector<double>& baryWeights, double u,
                    double* values) {
    const std::size_t p = nodes.size();
    for (std::size_t j = 0; j < p; ++j)
        if (u == nodes[j]) {
            for (std::size_t k = 0; k < p; ++k) values[k] = k == j ? 1.0 : 0.0;
            return;
        }
    double sum = 0;
    for (std::size_t j = 0; j < p; ++j) sum += (values[j] = baryWeights[j] / (u - nodes[j]));
    for (std::size_t j = 0; j < p; ++j) values[j] /= sum;
}

struct NodeInfo {
    Target target;
    Point normal;   // interfaces only
    double speed;   // |dX/dt|
    double weight;  // quadrature weight in t
    FaceRole role;
};

// Integrals of the normal field Re[n/(z − X(t))]·ℓ_j(t) over the pieces of a near panel.
class FieldIntegrator {
public:
    explicit FieldIntegrator(const PanelRule& rule) {
        const std::size_t p = rule.order();
        for (std::size_t j = 0; j < p; ++j) nodes_.push_back(rule.node(j));
        bary_.assign(p, 1.0);
        for (std::size_t j = 0; j < p; ++j)
            for (std::size_t k = 0; k < p; ++k)
                if (k != j) bary_[j] /= nodes_[j] - nodes_[k];
        gaussLegendre(pieceOrder, pieceNodes_, pieceWeights_);
    }

    void add(const Face& face, const Panel& panel, const Anchored& z, Point normal, Complex tStar, double* row) const {
        const Complex roots[] = {tStar, -tStar, 2 * pi - tStar};
        piece(face, panel, z, normal, roots, panel.t0, panel.t1, 0, row);
    }

private:
    void piece(const Face& face, const Panel& panel, const Anchored& z, Point normal, const Complex* roots, double a,
               double b, int depth, double* row) const {
        const double centre = (a + b) / 2, half = (b - a) / 2;
        double nearest = HUGE_VAL;
        for (int r = 0; r < 3; ++r) nearest = std::min(nearest, ellipseParameter((roots[r] - centre) / half));
        if (nearest < pieceEllipse && depth < 60) {
            piece(face, panel, z, normal, roots, a, centre, depth + 1, row);
            piece(face, panel, z, normal, roots, centre, b, depth + 1, row);
            return;
        }
        const std::size_t p = nodes_.size();
        const double panelCentre = (panel.t0 + panel.t1) / 2, panelHalf = (panel.t1 - panel.t0) / 2;
        double basis[64];
        for (std::size_t m = 0; m < pieceOrder; ++m) {
            const double t = centre + half * pieceNodes_[m];
            const double kernel = (normal / (z - face.anchored(t))).real();
            lagrangeValues(nodes_, bary_, (t - panelCentre) / panelHalf, basis);
            const double w = half * pieceWeights_[m] * kernel;
            for (std::size_t j = 0; j < p; ++j) row[j] += w * basis[j];
        }
    }

    std::vector<double> nodes_, bary_, pieceNodes_, pieceWeights_;
};

// Whether face b lies on face a's line: a point of a then sees no normal field from b. Decided
// for the faces, not for each point: the nodes of a side face nearest its corners lie within
// 1e−12 of the arrangement's size of the strip's or the plane's line, and a tolerance for the
// rounding of a position would take them for points on it and drop that face's field there.
bool collinear(const Face& a, const Face& b, double scale) {
    const Point d = a.end - a.start;
    const auto off = [&](Point z) {
        return std::fabs(((z - a.start) * std::conj(d)).imag()) > 1e-13 * scale * std::abs(d);
    };
    return !off(b.start) && !off(b.end);
}

}  // namespace

SubstrateMesh meshSubstratePair(const StripPair& pair, int level) {
    assert(pair.groundPlane && pair.height > 0 && pair.centreDistance > 1);
    SubstrateMesh mesh;
    mesh.order = 4 + 2 * static_cast<std::size_t>(level);
    const double x = pair.centreDistance / 2, h = pair.height;
    assert(x + 0.5 <= pair.planeWidth / 2 * (1 + 1e-12));  // the input's check, up to the rounding of the scaling
    // Where the strips end on the slab's edges up to the rounding of the unit, the slab ends
    // exactly there: the faces meeting at the corner share its point, and points near it their
    // anchor.
    const bool beside = !samePoint(x + 0.5, pair.planeWidth / 2, pair.planeWidth / 2) && x + 0.5 < pair.planeWidth / 2;
    const double g = beside ? pair.planeWidth / 2 : x + 0.5;
    const auto add = [&](Point a, Point b, FaceRole role, Point normal) {
        mesh.faces.push_back({a, b});
        mesh.roles.push_back(role);
        mesh.normals.push_back(normal);
        return mesh.faces.size() - 1;
    };
    // Faces in mirror pairs (left, right) or mapped onto themselves; x → −x maps t to π − t on
    // the horizontal faces, to t on the sides.
    const std::size_t plane = add({-g, 0}, {g, 0}, FaceRole::plane, 0);
    const std::size_t leftStrip = add({-x - 0.5, h}, {-x + 0.5, h}, FaceRole::strip, 0);
    mesh.rightStrip = add({x - 0.5, h}, {x + 0.5, h}, FaceRole::strip, 0);
    const std::size_t between = add({-x + 0.5, h}, {x - 0.5, h}, FaceRole::interface, {0, 1});
    const std::size_t leftSide = add({-g, 0}, {-g, h}, FaceRole::interface, {-1, 0});
    const std::size_t rightSide = add({g, 0}, {g, h}, FaceRole::interface, {1, 0});
    mesh.mirrors = {plane, mesh.rightStrip, leftStrip, between, rightSide, leftSide};
    // Else the strips end on the slab's edges (no sliver of face).
    if (beside) {
        const std::size_t leftFace = add({-g, h}, {-x - 0.5, h}, FaceRole::interface, {0, 1});
        const std::size_t rightFace = add({x + 0.5, h}, {g, h}, FaceRole::interface, {0, 1});
        mesh.mirrors.push_back(rightFace);
        mesh.mirrors.push_back(leftFace);
    }
    const double scale = std::max({g, x + 0.5, h});
    const int layers = 5 + 2 * level;
    meshFace(mesh, plane, pi / 2, pi, layers, scale);
    meshFace(mesh, mesh.rightStrip, 0, pi, layers, scale);
    meshFace(mesh, between, pi / 2, pi, layers, scale);
    meshFace(mesh, rightSide, 0, pi, layers, scale);
    if (beside) meshFace(mesh, mesh.faces.size() - 1, 0, pi, layers, scale);
    return mesh;
}

ModeCapacitances substrateModes(const SubstrateMesh& mesh, double permittivity) {
    const PanelRule rule(mesh.order);
    const FieldIntegrator field(rule);
    const std::size_t p = mesh.order;
    const std::size_t n = mesh.panels.size() * p;
    const double scale = std::abs(mesh.faces[0].end - mesh.faces[0].start) + std::abs(mesh.faces[2].end);

    // Nodes and their mirror images: sides map t → t, faces across the mirror t → π − t.
    std::vector<NodeInfo> nodes, images;
    for (const Panel& panel : mesh.panels) {
        const Face& f = mesh.faces[panel.face];
        const double centre = (panel.t0 + panel.t1) / 2, half = (panel.t1 - panel.t0) / 2;
        const std::size_t mirror = mesh.mirrors[panel.face];
        const bool side = f.start.real() == f.end.real();
        for (std::size_t j = 0; j < p; ++j) {
            const double t = centre + half * rule.node(j);
            const Anchored z = f.anchored(t);
            const double speed = f.halfLength() * std::sin(t);
            const FaceRole role = mesh.roles[panel.face];
            nodes.push_back({{z, panel.face, t}, mesh.normals[panel.face], speed, half * rule.weight(j), role});
            images.push_back({{mirrored(z), mirror, side ? t : pi - t}, -std::conj(mesh.normals[panel.face]), speed,
                              half * rule.weight(j), role});
        }
    }
    const std::size_t faceCount = mesh.faces.size();
    std::vector<bool> onOwnLine(faceCount * faceCount);
    for (std::size_t a = 0; a < faceCount; ++a)
        for (std::size_t b = 0; b < faceCount; ++b)
            onOwnLine[a * faceCount + b] = collinear(mesh.faces[a], mesh.faces[b], scale);
    std::vector<double> farDistances;
    for (const Panel& panel : mesh.panels) farDistances.push_back(rule.farDistance(panel));

    // Row i of the potential (conductors) or of the principal-value normal field (interfaces)
    // at target `at` from every unknown.
    const auto kernelMatrix = [&](const std::vector<NodeInfo>& at) {
        Matrix k(n, n);
        std::vector<double> row(n);
        for (std::size_t i = 0; i < n; ++i) {
            std::fill(row.begin(), row.end(), 0.0);
            const NodeInfo& target = at[i];
            for (std::size_t q = 0; q < mesh.panels.size(); ++q) {
                const Panel& panel = mesh.panels[q];
                const Face& face = mesh.faces[panel.face];
                double* part = &row[q * p];
                const bool near = distanceToSegment(target.target.z(), panel.a, panel.b) < farDistances[q];
                if (target.role != FaceRole::interface) {
                    const Complex tStar = targetParameter(face, panel.face, target.target);
                    if (near && rule.addNearIntegrals(face, panel, target.target, tStar, 1.0, part)) continue;
                    // Far off: −ln|X − z| as −½·ln|X − z|², without a root.
                    for (std::size_t j = 0; j < p; ++j)
                        part[j] = -0.5 * nodes[q * p + j].weight *
                                  std::log(std::norm(nodes[q * p + j].target.at - target.target.at));
                } else {
                    // A face on the target's own line has no normal field there.
                    if (onOwnLine[target.target.face * faceCount + panel.face]) continue;
                    if (near) {
                        field.add(face, panel, target.target.at, target.normal,
                                  targetParameter(face, panel.face, target.target), part);
                        continue;
                    }
                    for (std::size_t j = 0; j < p; ++j)
                        part[j] = nodes[q * p + j].weight *
                                  (target.normal / (target.target.at - nodes[q * p + j].target.at)).real();
                }
            }
            for (std::size_t j = 0; j < n; ++j) k(i, j) = row[j];
        }
        return k;
    };
    const Matrix direct = kernelMatrix(nodes);
    const Matrix mirrored = kernelMatrix(images);

    // Interface rows: π·σ_i = κ·E_pv,i with κ = (εr − 1)/(εr + 1), σ_i = g_i/|dX/dt|.
    const double kappa = (permittivity - 1) / (permittivity + 1);
    // The angle a strip subtends from a point off its line, ∫ (y_s − y)/r² dx over the strip:
    // the flux of a unit line charge through it.
    const Face& strip = mesh.faces[mesh.rightStrip];
    const double stripY = strip.start.imag();
    const auto subtended = [&](const Anchored& z, double a, double b) {
        const double dy = (stripY - z.anchor.imag()) - z.offset.imag();
        if (dy == 0) return 0.0;
        const auto along = [&](double x) { return (x - z.anchor.real()) - z.offset.real(); };
        return std::atan(along(b) / dy) - std::atan(along(a) / dy);
    };
    const double right[2] = {strip.start.real(), strip.end.real()};
    const double left[2] = {-strip.end.real(), -strip.start.real()};

    // The free charges of the right and the left strip in one mode.
    const auto solveMode = [&](double imageSign, bool bordered) {
        const std::size_t size = bordered ? n + 1 : n;
        Matrix a(size, size);
        Matrix b(size, 1);
        for (std::size_t i = 0; i < n; ++i) {
            const bool interface = nodes[i].role == FaceRole::interface;
            const double factor = interface ? -kappa : 1.0;
            for (std::size_t j = 0; j < n; ++j) a(i, j) = factor * (direct(i, j) + imageSign * mirrored(i, j));
            if (interface) a(i, i) += pi / nodes[i].speed;
            b(i, 0) = nodes[i].role == FaceRole::strip ? 1.0 : 0.0;
            if (bordered) {
                if (!interface) a(i, n) = 1.0;
                a(n, i) = nodes[i].weight;
            }
        }
        const Matrix charge = luSolve(luFactor(std::move(a)), std::move(b));
        // Total charge of each strip, and the polarisation term: the flux through it of every
        // charge off its line (the faces on the line add none).
        double total = 0, fluxRight = 0, fluxLeft = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const double q = nodes[j].weight * charge(j, 0);
            if (nodes[j].target.face == mesh.rightStrip) total += q;
            if (nodes[j].role == FaceRole::strip) continue;
            const Anchored& z = nodes[j].target.at;
            const Anchored& image = images[j].target.at;
            fluxRight += q * (subtended(z, right[0], right[1]) + imageSign * subtended(image, right[0], right[1]));
            fluxLeft += q * (subtended(z, left[0], left[1]) + imageSign * subtended(image, left[0], left[1]));
        }
        const auto freeCharge = [&](double stripTotal, double flux) {
            return inFaradPerMetre((permittivity + 1) / 2 * stripTotal - (permittivity - 1) / (2 * pi) * flux);
        };
        return std::pair{freeCharge(total, fluxRight), freeCharge(imageSign * total, fluxLeft)};
    };
    const auto even = solveMode(1.0, true);
    const auto odd = solveMode(-1.0, false);
    return {even.first, odd.first, even.second, odd.second};
}

namespace {

using S = SubstrateQuantity;
constexpr std::size_t substrateLevels = 3;
// Quadrature and rounding: 1e−9 of each value, and 1e−10 of the mode capacitances that every
// quantity derives from (differences such as C12 = (C_e − C_o)/2 inherit it): the mode
// capacitances of meshes graded differently towards the corners agree to 2e−10 at order 8.
constexpr double relativeFloor = 1e-9;
constexpr double modeFloor = 1e-10;

struct Modes {
    ModeCapacitances slab;
    Matrix air;  // the free-space Maxwell matrix of the strips
};

SubstrateValues substrateValues(const Modes& m) {
    SubstrateValues v;
    const ModeCapacitances& c = m.slab;
    // Strip 1 is the left one: C11 is its charge at (+1, 0), C12 its charge at (0, +1).
    v[S::maxwell11] = (c.evenLeft - c.oddLeft) / 2;
    v[S::maxwell12] = (c.evenLeft + c.oddLeft) / 2;
    v[S::maxwell21] = (c.even - c.odd) / 2;
    v[S::maxwell22] = (c.even + c.odd) / 2;
    v[S::stripToStripCapacitance] = -v[S::maxwell21];
    v[S::stripToGroundCapacitance] = v[S::maxwell22] + v[S::maxwell21];
    v[S::airMaxwell11] = m.air(0, 0);
    v[S::airMaxwell12] = m.air(0, 1);
    v[S::airMaxwell21] = m.air(1, 0);
    v[S::airMaxwell22] = m.air(1, 1);
    v[S::airStripToStripCapacitance] = -m.air(1, 0);
    v[S::airStripToGroundCapacitance] = m.air(1, 1) + m.air(1, 0);
    const double c0 = freeSpaceLightSpeed();
    const double evenAir = m.air(1, 1) + m.air(1, 0), oddAir = m.air(1, 1) - m.air(1, 0);
    v[S::evenModeCapacitance] = c.even;
    v[S::evenModeAirCapacitance] = evenAir;
    v[S::evenModePermittivity] = c.even / evenAir;
    v[S::evenModeImpedance] = 1 / (c0 * std::sqrt(c.even * evenAir));
    v[S::oddModeCapacitance] = c.odd;
    v[S::oddModeAirCapacitance] = oddAir;
    v[S::oddModePermittivity] = c.odd / oddAir;
    v[S::oddModeImpedance] = 1 / (c0 * std::sqrt(c.odd * oddAir));
    v[S::differentialImpedance] = 2 * v[S::oddModeImpedance];
    v[S::commonModeImpedance] = v[S::evenModeImpedance] / 2;
    v[S::couplingCoefficient] = (v[S::evenModeImpedance] - v[S::oddModeImpedance]) /
                                (v[S::evenModeImpedance] + v[S::oddModeImpedance]);
    return v;
}

// What moving each mode capacitance by its floor (the slab's) or its bar (air's) does to
// every quantity, summed over the modes.
SubstrateValues propagatedFloor(const Modes& m, double evenAirBar, double oddAirBar) {
    const SubstrateValues base = substrateValues(m);
    SubstrateValues change;
    const auto accumulate = [&](const Modes& moved) {
        const SubstrateValues v = substrateValues(moved);
        for (std::size_t k = 0; k < substrateQuantityCount; ++k) {
            const auto q = static_cast<S>(k);
            change[q] += std::fabs(v[q] - base[q]);
        }
    };
    for (int mode = 0; mode < 2; ++mode) {
        Modes moved = m;
        double& right = mode == 0 ? moved.slab.even : moved.slab.odd;
        double& left = mode == 0 ? moved.slab.evenLeft : moved.slab.oddLeft;
        right += modeFloor * std::fabs(right);
        left += modeFloor * std::fabs(left);
        accumulate(moved);
        // Air: C_e,air and C_o,air moved by their bars.
        Modes air = m;
        moveModeCapacitance(air.air, mode == 0 ? 1.0 : -1.0, mode == 0 ? evenAirBar : oddAirBar);
        accumulate(air);
    }
    return change;
}

}  // namespace

SubstrateParameters substrateParameters(const StripPair& pair, double permittivity, const LineParameters& air) {
    assert(pair.groundPlane && permittivity >= 1 && air.levels.size() >= substrateLevels);
    SubstrateParameters p;
    p.permittivity = permittivity;
    // The slab below the plane (h < 0) is the mirror image of the one above.
    StripPair slab = pair;
    slab.height = std::fabs(pair.height);
    const bool freeSpace = permittivity == 1 || slab.height == 0;
    assert(freeSpace || pair.centreDistance / 2 + 0.5 <= pair.planeWidth / 2 * (1 + 1e-12));

    std::vector<SubstrateValues> values;
    Modes finest;
    for (std::size_t k = 0; k < substrateLevels; ++k) {
        // The same rung of the free-space ladder: the air values and their changes are air's.
        const std::size_t level = air.levels.size() - substrateLevels + k;
        Modes m{{}, air.levels[level].maxwell};
        if (freeSpace) {
            const Matrix& a = m.air;
            m.slab = {a(1, 1) + a(1, 0), a(1, 1) - a(1, 0), a(0, 0) + a(0, 1), -(a(0, 0) - a(0, 1))};
        } else {
            const SubstrateMesh mesh = meshSubstratePair(slab, static_cast<int>(k));
            m.slab = substrateModes(mesh, permittivity);
            p.levels.push_back({mesh.order, mesh.panels.size(), mesh.panels.size() * mesh.order});
        }
        values.push_back(substrateValues(m));
        finest = m;
    }
    p.converged = values.back();
    const SubstrateValues floor = propagatedFloor(finest, air.error[LineQuantity::evenModeCapacitance],
                                                  air.error[LineQuantity::oddModeCapacitance]);
    for (std::size_t k = 0; k < substrateQuantityCount; ++k) {
        const auto q = static_cast<S>(k);
        p.error[q] = observedChange(values[0][q], values[1][q], values[2][q]) +
                     relativeFloor * std::fabs(p.converged[q]) + floor[q];
    }
    // The air quantities are exactly the free-space report's; without a slab, all of them.
    const struct {
        S substrate;
        LineQuantity free;
        bool air;
    } same[] = {{S::airMaxwell11, LineQuantity::maxwell11, true},
                {S::airMaxwell12, LineQuantity::maxwell12, true},
                {S::airMaxwell21, LineQuantity::maxwell21, true},
                {S::airMaxwell22, LineQuantity::maxwell22, true},
                {S::airStripToStripCapacitance, LineQuantity::stripToStripCapacitance, true},
                {S::airStripToGroundCapacitance, LineQuantity::stripToGroundCapacitance, true},
                {S::evenModeAirCapacitance, LineQuantity::evenModeCapacitance, true},
                {S::oddModeAirCapacitance, LineQuantity::oddModeCapacitance, true},
                {S::maxwell11, LineQuantity::maxwell11, false},
                {S::maxwell12, LineQuantity::maxwell12, false},
                {S::maxwell21, LineQuantity::maxwell21, false},
                {S::maxwell22, LineQuantity::maxwell22, false},
                {S::stripToStripCapacitance, LineQuantity::stripToStripCapacitance, false},
                {S::stripToGroundCapacitance, LineQuantity::stripToGroundCapacitance, false},
                {S::evenModeCapacitance, LineQuantity::evenModeCapacitance, false},
                {S::oddModeCapacitance, LineQuantity::oddModeCapacitance, false},
                {S::evenModeImpedance, LineQuantity::evenModeImpedance, false},
                {S::oddModeImpedance, LineQuantity::oddModeImpedance, false},
                {S::differentialImpedance, LineQuantity::differentialImpedance, false},
                {S::commonModeImpedance, LineQuantity::commonModeImpedance, false},
                {S::couplingCoefficient, LineQuantity::couplingCoefficient, false}};
    for (const auto& pairing : same) {
        if (!pairing.air && !freeSpace) continue;
        p.converged[pairing.substrate] = air.converged[pairing.free];
        p.error[pairing.substrate] = air.error[pairing.free];
    }
    if (freeSpace) {
        for (const S q : {S::evenModePermittivity, S::oddModePermittivity}) {
            p.converged[q] = 1;
            p.error[q] = 0;
        }
    }
    return p;
}

}  // namespace plattor
