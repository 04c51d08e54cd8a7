#include "solver/solve.hpp"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <exception>
#include <functional>
#include <future>
#include <limits>
#include <list>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <system_error>
#include <thread>

#include "matrix/linalg.hpp"
#include "matrix/vector_math.hpp"
#include "physics/constants.hpp"
#include "solver/interrupt.hpp"
#include "solver/quadrature.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

struct Node {
    Target target;
    double weight;  // quadrature weight in t
    double speed;   // |dX/dt|
    Point normal;
};

// A point's images: the mirror x → −x and the reflection y → −y in the ground plane, and the
// normal carried along. An image of a node on a face lies on that face's mirror image.
struct Image {
    Target target;
    Point normal;
};

Image mirrorImage(const CrossSection& section, const Node& node) {
    const std::size_t face = section.faces[node.target.face].mirror;
    const double t = face == node.target.face ? pi - node.target.t : node.target.t;
    return {{mirrored(node.target.at), face, t}, -std::conj(node.normal)};
}

Image reflectionImage(const Image& image) {
    return {{reflected(image.target.at), noFace, 0.0}, std::conj(image.normal)};
}

// Whether face b lies on face a's line: a point of a then sees no normal field from b. Decided
// for the faces, not for each point: the nodes nearest a corner lie within 1e−12 of the
// arrangement's size of the other face's line, and a tolerance for the rounding of a position
// would take them for points on it and drop that face's field there.
bool collinear(const Face& a, const Face& b, double scale) {
    if (a.isArc() || b.isArc()) return false;
    const Point d = a.end() - a.start();
    const auto off = [&](Point z) {
        return std::fabs(((z - a.start()) * std::conj(d)).imag()) > 1e-13 * scale * std::abs(d);
    };
    return !off(b.start()) && !off(b.end());
}

// On x86-64 clones for AVX-512 and AVX2 beside the baseline body, chosen by the processor at run
// time; elsewhere (WebAssembly) the one body. The file is built without contracting a multiply
// and an add, so every clone computes the baseline's values to the bit.
#if defined(__x86_64__)
#define PLATTOR_VECTOR_CLONES [[gnu::target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")]]
#else
#define PLATTOR_VECTOR_CLONES
#endif

// The nodes' positions by component, each as its anchor and its offset (Anchored), so that a
// row's far sums run over all of them at once.
struct NodeColumns {
    std::vector<double> anchorX, anchorY, offsetX, offsetY, weight;
};

// How a panel is integrated for a point: far off by its own nodes, from 1.8 chords on by the
// outer rule, from one chord on by the middle rule, closer by product integration.
enum class Reach : int { far, outer, middle, near };
constexpr double outerChords = 1.8;

// The panels by component: the middle and half length of each chord, its start (Anchored) and
// its run b − a, and the distance from which its own rule holds.
struct PanelColumns {
    std::vector<double> middleX, middleY, radius, far, startAnchorX, startAnchorY, startOffsetX, startOffsetY, runX,
        runY;
};

// The reach of every panel from z. The distance d to the chord lies between the distance to its
// middle less half its length, and that distance: most panels are told apart by these bounds
// alone, the others by d itself.
PLATTOR_VECTOR_CLONES
void panelReaches(std::size_t count, const PanelColumns& c, const Anchored& z, Reach* out) {
    static_assert(static_cast<int>(Reach::far) == 0 && static_cast<int>(Reach::outer) == 1 &&
                  static_cast<int>(Reach::middle) == 2 && static_cast<int>(Reach::near) == 3);
    int* reach = reinterpret_cast<int*>(out);
    const Point at = z.z();
    const double zx = at.real(), zy = at.imag();
    const double ax = z.anchor.real(), ay = z.anchor.imag(), ox = z.offset.real(), oy = z.offset.imag();
    for (std::size_t q = 0; q < count; ++q) {
        const double far = c.far[q], radius = c.radius[q], chord = 2 * radius;
        const double mx = zx - c.middleX[q], my = zy - c.middleY[q];
        const double centre = std::sqrt(mx * mx + my * my);
        const double slack = 1e-12 * (centre + radius);
        const double outer = outerChords * chord;
        // The nearest point of the chord.
        const double px = (ax - c.startAnchorX[q]) + (ox - c.startOffsetX[q]);
        const double py = (ay - c.startAnchorY[q]) + (oy - c.startOffsetY[q]);
        const double rx = c.runX[q], ry = c.runY[q];
        const double length2 = rx * rx + ry * ry;
        // Branch-free, so that the loop runs on vectors: the projection's parameter clamped to
        // [0, 1], 0 on a chord of no length.
        const double t = (px * rx + py * ry) / (length2 > 0 ? length2 : 1.0);
        const double along = length2 > 0 ? (t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t) : 0.0;
        const double dx = px - along * rx, dy = py - along * ry;
        const double d2 = dx * dx + dy * dy;
        int r = d2 >= far * far ? 0 : d2 >= outer * outer ? 1 : d2 >= chord * chord ? 2 : 3;
        const bool inside = centre < far - slack;
        r = inside && centre - radius >= chord + slack && centre < outer - slack ? 2 : r;
        r = inside && centre - radius >= outer + slack ? 1 : r;
        r = centre - radius >= far + slack ? 0 : r;
        reach[q] = r;
    }
}

// |X_j − z0|² / |X_j − z1|² at the nodes first … first + n − 1 (z1 absent: |X_j − z0|²), the
// differences taken as Anchored ones are; out[j] for node first + j.
PLATTOR_VECTOR_CLONES
void distanceRatios(std::size_t first, std::size_t n, const NodeColumns& x, const Anchored& z0, const Anchored* z1,
                    double* out) {
    const double* ax = x.anchorX.data() + first;
    const double* ay = x.anchorY.data() + first;
    const double* ox = x.offsetX.data() + first;
    const double* oy = x.offsetY.data() + first;
    const double a0x = z0.anchor.real(), a0y = z0.anchor.imag(), o0x = z0.offset.real(), o0y = z0.offset.imag();
    if (!z1) {
        for (std::size_t j = 0; j < n; ++j) {
            const double dx = (ax[j] - a0x) + (ox[j] - o0x), dy = (ay[j] - a0y) + (oy[j] - o0y);
            out[j] = dx * dx + dy * dy;
        }
        return;
    }
    const double a1x = z1->anchor.real(), a1y = z1->anchor.imag(), o1x = z1->offset.real(), o1y = z1->offset.imag();
    for (std::size_t j = 0; j < n; ++j) {
        const double dx = (ax[j] - a0x) + (ox[j] - o0x), dy = (ay[j] - a0y) + (oy[j] - o0y);
        const double ex = (ax[j] - a1x) + (ox[j] - o1x), ey = (ay[j] - a1y) + (oy[j] - o1y);
        out[j] = (dx * dx + dy * dy) / (ex * ex + ey * ey);
    }
}

// out[j] += w_j·Re[n/(z − X_j)] at the nodes first … first + n − 1 from the point z0 with normal
// n0, less the same from z1 with n1 where z1 is given; out[j] for node first + j.
PLATTOR_VECTOR_CLONES
void addNormalFields(std::size_t first, std::size_t n, const NodeColumns& x, const Anchored& z0, Point n0,
                     const Anchored* z1, Point n1, double* out) {
    const double* ax = x.anchorX.data() + first;
    const double* ay = x.anchorY.data() + first;
    const double* ox = x.offsetX.data() + first;
    const double* oy = x.offsetY.data() + first;
    const double* w = x.weight.data() + first;
    const double a0x = z0.anchor.real(), a0y = z0.anchor.imag(), o0x = z0.offset.real(), o0y = z0.offset.imag();
    const double n0x = n0.real(), n0y = n0.imag();
    if (!z1) {
        for (std::size_t j = 0; j < n; ++j) {
            const double dx = (a0x - ax[j]) + (o0x - ox[j]), dy = (a0y - ay[j]) + (o0y - oy[j]);
            out[j] += w[j] * (n0x * dx + n0y * dy) / (dx * dx + dy * dy);
        }
        return;
    }
    const double a1x = z1->anchor.real(), a1y = z1->anchor.imag(), o1x = z1->offset.real(), o1y = z1->offset.imag();
    const double n1x = n1.real(), n1y = n1.imag();
    for (std::size_t j = 0; j < n; ++j) {
        const double dx = (a0x - ax[j]) + (o0x - ox[j]), dy = (a0y - ay[j]) + (o0y - oy[j]);
        const double ex = (a1x - ax[j]) + (o1x - ox[j]), ey = (a1y - ay[j]) + (o1y - oy[j]);
        out[j] += w[j] * (n0x * dx + n0y * dy) / (dx * dx + dy * dy) + -w[j] * (n1x * ex + n1y * ey) / (ex * ex + ey * ey);
    }
}

// row_j += factor·w_j·v_j for j = 0 … n − 1.
PLATTOR_VECTOR_CLONES
void addScaled(std::size_t n, double factor, const double* w, const double* v, double* row) {
    for (std::size_t j = 0; j < n; ++j) row[j] += factor * w[j] * v[j];
}

// Runs of consecutive panels, as the ranges of their nodes: a row's far panels, whose sums are
// taken run by run over all their nodes at once.
struct NodeRuns {
    std::vector<std::pair<std::size_t, std::size_t>> runs;  // first node, count

    void clear() { runs.clear(); }
    void add(std::size_t first, std::size_t count) {
        if (!runs.empty() && runs.back().first + runs.back().second == first) runs.back().second += count;
        else runs.emplace_back(first, count);
    }
};

// The nodes of a mesh and the rows of the kernels at them: the potential of every unknown's
// charge at a conductor node, the normal field at an interface node.
class Kernels {
public:
    Kernels(const CrossSection& section, const Mesh& mesh)
        : section_(section), mesh_(mesh), n_(mesh.unknowns()) {
        for (const Panel& panel : mesh.panels) {
            while (rules_.size() <= panel.order) rules_.emplace_back();
            if (!rules_[panel.order]) rules_[panel.order] = &PanelRule::of(panel.order);
            const PanelRule& rule = *rules_[panel.order];
            const Face& f = section.faces[panel.face].face;
            const double centre = (panel.t0 + panel.t1) / 2, half = (panel.t1 - panel.t0) / 2;
            for (std::size_t j = 0; j < panel.order; ++j) {
                const double t = centre + half * rule.node(j);
                nodes_.push_back({{f.anchored(t), panel.face, t}, half * rule.weight(j), f.speed(t), f.normal(t)});
                const Anchored& at = nodes_.back().target.at;
                columns_.anchorX.push_back(at.anchor.real());
                columns_.anchorY.push_back(at.anchor.imag());
                columns_.offsetX.push_back(at.offset.real());
                columns_.offsetY.push_back(at.offset.imag());
                columns_.weight.push_back(nodes_.back().weight);
            }
            PanelColumns& c = panelColumns_;
            c.middleX.push_back(panel.middle.real());
            c.middleY.push_back(panel.middle.imag());
            c.radius.push_back(panel.radius);
            c.far.push_back(rule.farDistance(panel));
            c.startAnchorX.push_back(panel.a.anchor.real());
            c.startAnchorY.push_back(panel.a.anchor.imag());
            c.startOffsetX.push_back(panel.a.offset.real());
            c.startOffsetY.push_back(panel.a.offset.imag());
            const Point run = panel.b - panel.a;
            c.runX.push_back(run.real());
            c.runY.push_back(run.imag());
            const std::vector<Anchored> points = rule.finePoints(f, panel);
            finePoints_.insert(finePoints_.end(), points.begin(), points.end());
            for (const PanelRule::FineRule* r : {&rule.outer(), &rule.middle()})
                for (const double w : r->weights) middleWeights_.push_back(half * w);
        }
        const std::size_t faceCount = section.faces.size();
        onLine_.resize(faceCount * faceCount);
        for (std::size_t a = 0; a < faceCount; ++a)
            for (std::size_t b = 0; b < faceCount; ++b)
                onLine_[a * faceCount + b] = collinear(section.faces[a].face, section.faces[b].face, section.size);
    }

    const std::vector<Node>& nodes() const { return nodes_; }
    const Mesh& mesh() const { return mesh_; }
    const PanelRule& rule(std::size_t order) const { return *rules_[order]; }

    // The normal field Σ_j g_j·∫ ℓ_j·Re[n/(z − X)] of the charges g (per unit t) at a point z on
    // no face, with normal n: the sum of a kernel row against them.
    double fieldOf(Point z, Point normal, const std::vector<double>& g) const {
        thread_local std::vector<double> row;
        row.assign(n_, 0.0);
        const Image image{{Anchored{z, 0}, noFace, 0.0}, normal};
        fieldRow(&image, 1, row.data());
        double sum = 0.0;
        for (std::size_t j = 0; j < n_; ++j) sum += row[j] * g[j];
        return sum;
    }

    // Kᵀ: column i holds the row of node i, the potential (conductor nodes) or the normal field
    // (interface nodes) there of every unknown, from the charges themselves (mirrorGroup false)
    // or from their mirror images (true); the plane's negative images belong to each group.
    // The matrix is size×size (size ≥ n), the kernel in its leading n×n block, the rest zero.
    Matrix transposedKernel(bool mirrorGroup, std::size_t size, const std::function<void()>& check) const {
        Matrix kt(size, size);
        for (std::size_t i = 0; i < n_; ++i) {
            if (i % 32 == 0) check();
            const Node& node = nodes_[i];
            Image images[2];
            images[0] = mirrorGroup ? mirrorImage(section_, node) : Image{node.target, node.normal};
            std::size_t count = 1;
            if (section_.groundPlane) images[count++] = reflectionImage(images[0]);
            double* column = kt.column(i);
            if (section_.isInterface(node.target.face))
                fieldRow(images, count, column);
            else
                potentialRow(images, count, column);
        }
        return kt;
    }

private:
    // The roots of X(t) − z on each face from each image, found at the row's first near panel
    // of the face: in scratch kept from row to row, one set a thread, forgotten at each row.
    struct RowRoots {
        std::vector<FaceRoots> roots[2];
        std::vector<bool> found[2];
    };
    RowRoots& rowRoots() const {
        thread_local RowRoots row;
        for (std::vector<bool>& f : row.found) f.assign(section_.faces.size(), false);
        for (std::vector<FaceRoots>& r : row.roots) r.resize(section_.faces.size());
        return row;
    }
    static const FaceRoots& rootsOn(RowRoots& row, std::size_t m, const Face& face, std::size_t f, const Target& z) {
        if (!row.found[m][f]) row.roots[m][f] = targetRoots(face, f, z), row.found[m][f] = true;
        return row.roots[m][f];
    }

    // The reach of every panel from each image, in scratch kept from row to row, one set a
    // thread (a row is built whole before the next).
    const std::vector<Reach>* reachesFrom(const Image* images, std::size_t count) const {
        thread_local std::vector<Reach> reachOf[2];
        for (std::size_t m = 0; m < count; ++m) {
            reachOf[m].resize(mesh_.panels.size());
            panelReaches(mesh_.panels.size(), panelColumns_, images[m].target.at, reachOf[m].data());
        }
        return reachOf;
    }

    // −∫ ln|X − z|·ℓ_j at the images (the second, the plane's, with the sign −1). Far off a
    // panel its own rule, a charge and its image as one logarithm of the ratio of their squared
    // distances; in the middle the middle rule's 12 points; those logarithms are taken together, through
    // the vector math, at the end.
    void potentialRow(const Image* images, std::size_t count, double* row) const {
        // Scratch kept from row to row, one set a thread: the even and the odd system are built
        // side by side.
        thread_local std::vector<double> arguments, together;
        thread_local std::vector<PanelSum> fars, middles;
        thread_local NodeRuns taken;
        arguments.clear();
        fars.clear();
        middles.clear();
        taken.clear();
        const std::size_t panels = mesh_.panels.size();
        const std::vector<Reach>* reachOf = reachesFrom(images, count);
        RowRoots& roots = rowRoots();
        for (std::size_t q = 0; q < panels; ++q) {
            const Panel& panel = mesh_.panels[q];
            if (reachOf[0][q] == Reach::far && (count == 1 || reachOf[1][q] == Reach::far)) {
                // Taken run by run at the end.
                taken.add(panel.first, panel.order);
                continue;
            }
            const Face& face = section_.faces[panel.face].face;
            const PanelRule& rule = *rules_[panel.order];
            double* part = &row[panel.first];
            Reach reaches[2] = {Reach::far, Reach::far};
            for (std::size_t m = 0; m < count; ++m) {
                const Target& z = images[m].target;
                reaches[m] = reachOf[m][q];
                if (reaches[m] != Reach::near) continue;
                // Product integration; where no root is close after all, the middle rule.
                if (!rule.addNearIntegrals(face, panel, &finePoints_[q * PanelRule::finePointCount], z,
                                           rootsOn(roots, m, face, panel.face, z), m == 0 ? 1.0 : -1.0, part))
                    reaches[m] = Reach::middle;
            }
            // The same rule for a charge and its image: one logarithm of the ratio.
            if (count == 2 && reaches[0] != reaches[1] && reaches[0] != Reach::near && reaches[1] != Reach::near)
                reaches[0] = reaches[1] = std::max(reaches[0], reaches[1]);
            const bool together = count == 2 && reaches[0] == reaches[1] && reaches[0] != Reach::near;
            const Node* source = &nodes_[panel.first];
            for (std::size_t m = 0; m < count; ++m) {
                if (reaches[m] == Reach::near || (together && m == 1)) continue;
                const double sign = m == 0 ? -0.5 : 0.5;
                if (reaches[m] == Reach::far) {
                    fars.push_back({q, sign, arguments.size(), false});
                    for (std::size_t j = 0; j < panel.order; ++j) {
                        double argument = std::norm(source[j].target.at - images[m].target.at);
                        if (together) argument /= std::norm(source[j].target.at - images[1].target.at);
                        arguments.push_back(argument);
                    }
                    continue;
                }
                const bool outer = reaches[m] == Reach::outer;
                middles.push_back({q, sign, arguments.size(), outer});
                const PanelRule::FineRule& fine = outer ? rule.outer() : rule.middle();
                const Anchored* points = &finePoints_[q * PanelRule::finePointCount + fine.first];
                for (std::size_t k = 0; k < fine.nodes.size(); ++k) {
                    double argument = std::norm(points[k] - images[m].target.at);
                    if (together) argument /= std::norm(points[k] - images[1].target.at);
                    arguments.push_back(argument);
                }
            }
        }
        logInPlace(arguments.data(), arguments.size());
        // The far panels of both images alike, run by run.
        together.resize(n_);
        for (const auto& [first, length] : taken.runs) {
            double* v = &together[first];
            distanceRatios(first, length, columns_, images[0].target.at, count == 2 ? &images[1].target.at : nullptr, v);
            logInPlace(v, length);
            addScaled(length, -0.5, &columns_.weight[first], v, &row[first]);
        }
        for (const PanelSum& sum : fars) {
            const Panel& panel = mesh_.panels[sum.panel];
            const Node* source = &nodes_[panel.first];
            for (std::size_t j = 0; j < panel.order; ++j)
                row[panel.first + j] += sum.sign * source[j].weight * arguments[sum.first + j];
        }
        for (const PanelSum& sum : middles) {
            const Panel& panel = mesh_.panels[sum.panel];
            const PanelRule::FineRule& middle = sum.outer ? rules_[panel.order]->outer() : rules_[panel.order]->middle();
            const double* weights = &middleWeights_[sum.panel * pointsPerPanel + middle.first];
            double w[PanelRule::middleOrder];
            for (std::size_t k = 0; k < middle.nodes.size(); ++k) w[k] = sum.sign * weights[k] * arguments[sum.first + k];
            addAgainstBasis(middle.nodes.size(), panel.order, w, middle.basis.data(), &row[panel.first]);
        }
    }

    // ∫ Re[n/(z − X)]·ℓ_j at the images, the principal value on the node's own line or circle.
    void fieldRow(const Image* images, std::size_t count, double* row) const {
        const std::size_t faceCount = section_.faces.size();
        thread_local NodeRuns taken;
        taken.clear();
        const std::size_t panels = mesh_.panels.size();
        const std::vector<Reach>* reachOf = reachesFrom(images, count);
        RowRoots& roots = rowRoots();
        for (std::size_t q = 0; q < panels; ++q) {
            const Panel& panel = mesh_.panels[q];
            const Face& face = section_.faces[panel.face].face;
            const PanelRule& rule = *rules_[panel.order];
            double* part = &row[panel.first];
            const Node* source = &nodes_[panel.first];
            const std::size_t p = panel.order;
            const auto seen = [&](const Image& image) {
                const std::size_t onFace = image.target.face;
                return onFace == noFace || (!onLine_[onFace * faceCount + panel.face] && onFace != panel.face);
            };
            if (seen(images[0]) && reachOf[0][q] == Reach::far &&
                (count == 1 || (seen(images[1]) && reachOf[1][q] == Reach::far))) {
                // Taken run by run at the end.
                taken.add(panel.first, p);
                continue;
            }
            for (std::size_t m = 0; m < count; ++m) {
                const Image& image = images[m];
                const double sign = m == 0 ? 1.0 : -1.0;
                const std::size_t onFace = image.target.face;
                if (onFace != noFace && onLine_[onFace * faceCount + panel.face]) continue;
                if (onFace == panel.face && face.isArc()) {
                    // On its own circle Re[n/(z − X)] = ±1/(2r), + for the outward normal.
                    const bool outward = ((image.target.z() - face.centre()) * std::conj(image.normal)).real() > 0;
                    const double value = sign * (outward ? 0.5 : -0.5) / face.radius();
                    for (std::size_t j = 0; j < p; ++j) part[j] += value * source[j].weight;
                    continue;
                }
                Reach r = reachOf[m][q];
                if (r == Reach::near &&
                    !rule.addFieldIntegrals(face, panel, &finePoints_[q * PanelRule::finePointCount], image.target.at,
                                            image.normal, rootsOn(roots, m, face, panel.face, image.target), sign,
                                            part))
                    r = Reach::middle;
                if (r == Reach::near) continue;
                // Re[n/d] = (n·d)/|d|², d = z − X.
                const double nx = image.normal.real(), ny = image.normal.imag();
                if (r == Reach::middle || r == Reach::outer) {
                    const bool outer = r == Reach::outer;
                    const PanelRule::FineRule& middle = outer ? rule.outer() : rule.middle();
                    const Anchored* points = &finePoints_[q * PanelRule::finePointCount + middle.first];
                    const double* weights = &middleWeights_[q * pointsPerPanel + middle.first];
                    double w[PanelRule::middleOrder];
                    for (std::size_t k = 0; k < middle.nodes.size(); ++k) {
                        const Point d = image.target.at - points[k];
                        w[k] = sign * weights[k] * (nx * d.real() + ny * d.imag()) / std::norm(d);
                    }
                    addAgainstBasis(middle.nodes.size(), p, w, middle.basis.data(), part);
                    continue;
                }
                for (std::size_t j = 0; j < p; ++j) {
                    const Point d = image.target.at - source[j].target.at;
                    part[j] += sign * source[j].weight * (nx * d.real() + ny * d.imag()) / std::norm(d);
                }
            }
        }
        // The far panels of every image, run by run.
        for (const auto& [first, length] : taken.runs)
            addNormalFields(first, length, columns_, images[0].target.at, images[0].normal,
                            count == 2 ? &images[1].target.at : nullptr, count == 2 ? images[1].normal : Point{},
                            &row[first]);
    }

    const CrossSection& section_;
    const Mesh& mesh_;
    std::vector<const PanelRule*> rules_;  // by order
    std::size_t n_;
    std::vector<Node> nodes_;
    NodeColumns columns_;
    PanelColumns panelColumns_;
    std::vector<bool> onLine_;
    // Every fine rule's points on every panel (PanelRule::finePoints), and the outer and middle
    // rules' weights in t.
    static constexpr std::size_t pointsPerPanel = PanelRule::outerOrder + PanelRule::middleOrder;
    std::vector<Anchored> finePoints_;
    std::vector<double> middleWeights_;
    // Work arrays of potentialRow: the logarithms' arguments, and the sums over a panel they
    // make, by its own nodes (far) or a fine rule's points.
    struct PanelSum {
        std::size_t panel;
        double sign;
        std::size_t first;  // the slot of its first argument
        bool outer;         // the outer rule's, else the middle one's (not far)
    };
};

// The angle a horizontal segment [x0, x1] at height y subtends from z, ∫ (y − y_z)/r² dx: the
// flux through it of a unit line charge at z, upwards.
double subtended(const Anchored& z, double x0, double x1, double y) {
    const double dy = (y - z.anchor.imag()) - z.offset.imag();
    if (dy == 0) return 0.0;
    const auto along = [&](double x) { return (x - z.anchor.real()) - z.offset.real(); };
    return std::atan(along(x1) / dy) - std::atan(along(x0) / dy);
}

// Whether the arrangement has a reference for the even mode: a ground plane or a grounded conductor.
bool hasReference(const CrossSection& section) {
    return section.groundPlane || std::find(section.conductors.begin(), section.conductors.end(),
                                            ConductorRole::ground) != section.conductors.end();
}

// One mode's charges g on every node (per unit t, units of 2π·ε0·V) and, where the system is
// bordered, the free constant potential V0 the charges' own potential lies below the conductors'.
using Check = std::function<void()>;

thread_local bool aloneOnThisThread = false;

// Runs two pieces of one solve, each calling its check where it may stop: the interrupt's, and
// a stop once the other piece has failed. Where both have work (`both`), the machine has two
// cores and this thread is not one of a pool's, side by side, the second on a thread of its own
// where one can be started; else one after the other. The first failure is rethrown once both
// have ended.
void sideBySide(const std::function<void(const Check&)>& first, const std::function<void(const Check&)>& second,
                bool both) {
    std::atomic<bool> failed{false};
    const Check check = [&failed] {
        if (failed.load(std::memory_order_relaxed)) throw Interrupted();
        checkInterrupt();
    };
    const auto oneByOne = [&] {
        first(check);
        second(check);
    };
    if (!both || aloneOnThisThread || std::thread::hardware_concurrency() < 2) return oneByOne();
    std::future<void> other;
    try {
        other = std::async(std::launch::async, [&] {
            try {
                second(check);
            } catch (...) {
                failed = true;
                throw;
            }
        });
    } catch (const std::system_error&) {  // no thread to be had
        return oneByOne();
    }
    try {
        first(check);
    } catch (...) {
        // Where the other piece failed first, this one only stopped for it: its failure is the
        // one to tell (a memory exhausted, not an interrupt).
        const bool otherFailedFirst = failed.exchange(true);
        std::exception_ptr theirs;
        try {
            other.get();
        } catch (...) {
            theirs = std::current_exception();
        }
        if (otherFailedFirst && theirs) std::rethrow_exception(theirs);
        throw;
    }
    other.get();
}

// The kernels of a mesh, for KernelsKept: what they are computed from is the geometry alone
// (the faces, which of them are conductors, their mirror images, the plane, the panels).
struct KernelGeometry {
    std::vector<Face> faces;
    std::vector<bool> interfaces;
    std::vector<std::size_t> mirrors;
    bool groundPlane;
    bool mirrorSymmetric;
    double size;
    std::vector<double> panels;  // face, t0, t1 and order of each

    KernelGeometry(const CrossSection& section, const Mesh& mesh)
        : groundPlane(section.groundPlane), mirrorSymmetric(section.mirrorSymmetric), size(section.size) {
        for (std::size_t f = 0; f < section.faces.size(); ++f) {
            faces.push_back(section.faces[f].face);
            interfaces.push_back(section.isInterface(f));
            mirrors.push_back(section.faces[f].mirror);
        }
        for (const Panel& p : mesh.panels)
            panels.insert(panels.end(), {static_cast<double>(p.face), p.t0, p.t1, static_cast<double>(p.order)});
    }
    bool operator==(const KernelGeometry&) const = default;
};

struct KeptKernels {
    std::shared_ptr<const Matrix> direct, images;  // images empty without mirror symmetry

    std::size_t bytes() const { return (direct->size() + (images ? images->size() : 0)) * sizeof(double); }
};

class KernelStore {
public:
    static KernelStore& instance() {
        static KernelStore store;
        return store;
    }
    void open() {
        const std::lock_guard lock(mutex_);
        ++users_;
    }
    void close() {
        const std::lock_guard lock(mutex_);
        if (--users_ == 0) kept_.clear(), bytes_ = 0;
    }
    bool active() {
        const std::lock_guard lock(mutex_);
        return users_ > 0;
    }
    std::optional<KeptKernels> find(const KernelGeometry& geometry) {
        const std::lock_guard lock(mutex_);
        for (auto k = kept_.begin(); k != kept_.end(); ++k)
            if (k->first == geometry) {
                kept_.splice(kept_.begin(), kept_, k);  // the most recently used first
                return k->second;
            }
        return std::nullopt;
    }
    void keep(KernelGeometry geometry, KeptKernels kernels) {
        const std::lock_guard lock(mutex_);
        if (users_ == 0 || kernels.bytes() > budget) return;
        bytes_ += kernels.bytes();
        kept_.emplace_front(std::move(geometry), std::move(kernels));
        while (bytes_ > budget) {
            bytes_ -= kept_.back().second.bytes();
            kept_.pop_back();
        }
    }

private:
    static constexpr std::size_t budget = std::size_t{256} << 20;
    std::mutex mutex_;
    std::list<std::pair<KernelGeometry, KeptKernels>> kept_;
    std::size_t bytes_ = 0;
    std::size_t users_ = 0;
};

struct ModeCharges {
    std::vector<double> g;
    double offset = 0.0;
};

// The potential of every conductor in one excitation, indexed as CrossSection::conductors.
using Potentials = std::vector<double>;

// The charges of the excitations of one solve: real, and for each set of complex media asked for
// (outer index) each excitation's complex charges (inner).
struct ExcitationCharges {
    std::vector<ModeCharges> even, odd;
    std::vector<std::vector<std::vector<Complex>>> lossyEven, lossyOdd;
};

// Solves (I + M)·x = b by restarted GMRES, M·v given by `apply`, to 1e−14 of |b|: the solution
// is exact to rounding however many iterations that takes (at most the system's size).
std::vector<Complex> gmres(const std::function<void(const std::vector<Complex>&, std::vector<Complex>&)>& apply,
                           const std::vector<Complex>& b) {
    const std::size_t n = b.size();
    const auto norm = [](const std::vector<Complex>& v) {
        double sum = 0.0;
        for (const Complex& c : v) sum += std::norm(c);
        return std::sqrt(sum);
    };
    const double target = 1e-14 * norm(b);
    constexpr std::size_t restart = 40;
    std::vector<Complex> x = b, mv(n);
    std::vector<std::vector<Complex>> basis;
    for (std::size_t done = 0; done <= n + restart;) {
        apply(x, mv);
        std::vector<Complex> r(n);
        for (std::size_t i = 0; i < n; ++i) r[i] = b[i] - x[i] - mv[i];
        const double beta = norm(r);
        if (!(beta > target)) return x;
        basis.assign(1, r);
        for (Complex& v : basis[0]) v /= beta;
        std::vector<std::vector<Complex>> h;  // columns of the Hessenberg matrix, rotated
        std::vector<double> cs;
        std::vector<Complex> sn, g{beta};
        std::size_t k = 0;
        for (; k < restart; ++k, ++done) {
            checkInterrupt();
            std::vector<Complex> w(n);
            apply(basis[k], w);
            for (std::size_t i = 0; i < n; ++i) w[i] += basis[k][i];
            std::vector<Complex> column(k + 2);
            for (std::size_t j = 0; j <= k; ++j) {
                Complex dot = 0.0;
                for (std::size_t i = 0; i < n; ++i) dot += std::conj(basis[j][i]) * w[i];
                column[j] = dot;
                for (std::size_t i = 0; i < n; ++i) w[i] -= dot * basis[j][i];
            }
            const double next = norm(w);
            column[k + 1] = next;
            for (std::size_t j = 0; j < k; ++j) {
                const Complex a = column[j], c = column[j + 1];
                column[j] = cs[j] * a + sn[j] * c;
                column[j + 1] = -std::conj(sn[j]) * a + cs[j] * c;
            }
            const Complex a = column[k];
            const double t = std::hypot(std::abs(a), next);
            const Complex phase = std::abs(a) == 0 ? Complex(1.0) : a / std::abs(a);
            cs.push_back(t == 0 ? 1.0 : std::abs(a) / t);
            sn.push_back(t == 0 ? Complex(0.0) : phase * next / t);
            column[k] = t * phase;
            column[k + 1] = 0.0;
            g.push_back(-std::conj(sn[k]) * g[k]);
            g[k] = cs[k] * g[k];
            h.push_back(std::move(column));
            if (!(std::abs(g[k + 1]) > target) || next == 0) {
                ++k;
                break;
            }
            for (Complex& v : w) v /= next;
            basis.push_back(std::move(w));
        }
        // The least-squares step: the rotated Hessenberg matrix is upper triangular.
        std::vector<Complex> y(k);
        for (std::size_t i = k; i-- > 0;) {
            Complex sum = g[i];
            for (std::size_t j = i + 1; j < k; ++j) sum -= h[j][i] * y[j];
            y[i] = sum / h[i][i];
        }
        for (std::size_t j = 0; j < k; ++j)
            for (std::size_t i = 0; i < n; ++i) x[i] += y[j] * basis[j][i];
    }
    return x;
}

// The least unknowns of a system with one or two right-hand sides factored in single precision
// (see solveExcitations), and the most: the single factors live beside the system in double,
// and the largest systems keep to the memory of their double factors alone (2000 unknowns take
// 32 + 16 MB, less than a system of the 3200 the ladder admits).
constexpr std::size_t refinedFrom = 300;
constexpr std::size_t refinedUpTo = 2000;

// The factored systems of this thread's last solve of an arrangement with interfaces, while a
// ConductorSystemsKept lives here, for the solve of its vacuum that follows (section.inVacuum()
// on conductorMesh, `geometry`): the conductors' unknowns lead them and were factored as a block
// of their own, and that block is the vacuum's system (a conductor's row is its potential,
// scaled by nothing, whatever the permittivities). Without mirror symmetry `even` serves every
// excitation.
struct ConductorSystems {
    bool keep = false;
    std::optional<KernelGeometry> geometry;
    std::optional<TransposedSolver> even, odd;
};
thread_local ConductorSystems conductorSystems;

// The kept systems where they are those of `geometry`'s vacuum with the excitations asked for,
// given up by the keep.
std::optional<ConductorSystems> takeConductorSystems(const KernelGeometry& geometry, bool even, bool odd, bool mirror) {
    ConductorSystems& kept = conductorSystems;
    if (!kept.geometry || !(*kept.geometry == geometry)) return std::nullopt;
    const bool complete = (!even || kept.even) && (!odd || (mirror ? kept.odd : kept.even));
    std::optional<ConductorSystems> taken;
    if (complete) taken.emplace(std::move(kept));
    kept.geometry.reset(), kept.even.reset(), kept.odd.reset();
    return taken;
}

// The contrast κ = (ε₋ − ε₊)/(ε₋ + ε₊) of an interface, ε₋ left of it, ε₊ right.
template <typename Scalar>
Scalar contrast(Scalar minus, Scalar plus) {
    return (minus - plus) / (minus + plus);
}

// The charges of each excitation asked for: `even` ones, whose mirror images (with mirror
// symmetry) carry the same potentials, and `odd` ones, whose images carry the opposite. The
// systems are factored in the storage of the kernels, transposed as they are built: Aᵀ(j, i) =
// factor_i·(K_direct ± K_mirror)ᵀ(j, i), solved by the transposed factors. Without mirror
// symmetry one system serves every excitation, even and odd alike. With complex media, each
// excitation's complex charges follow from the same factors: the media change only the
// interface rows, by −Δκ_i·|dX/dt|_i/π times their kernel row.
ExcitationCharges solveExcitations(const CrossSection& section, const Kernels& kernels,
                                   const std::vector<Potentials>& even, const std::vector<Potentials>& odd,
                                   const std::vector<FaceMedia>& media = {}) {
    const std::vector<Node>& nodes = kernels.nodes();
    const std::size_t n = nodes.size();
    const bool mirror = section.mirrorSymmetric;
    // Without a plane the even system (and the odd one of an arrangement solved whole) is
    // bordered: one more row and column; the odd one of a mirrored arrangement is neutral by
    // symmetry and gets a unit there.
    const bool border = !section.groundPlane;
    const std::size_t size = border ? n + 1 : n;
    // A vacuum's systems may be the leading blocks of its arrangement's, factored just before:
    // then nothing is assembled or factored.
    const std::optional<ConductorSystems> shared =
        conductorSystems.geometry
            ? takeConductorSystems(KernelGeometry(section, kernels.mesh()), !even.empty(), !odd.empty(), mirror)
            : std::nullopt;
    // With mirror symmetry the even and the odd system are built, and later factored, side by
    // side: each is half the work.
    Matrix direct, images;
    KernelStore& store = KernelStore::instance();
    std::optional<KernelGeometry> geometry;
    std::optional<KeptKernels> kept;
    if (!shared && store.active()) kept = store.find(*(geometry = KernelGeometry(section, kernels.mesh())));
    if (kept) {
        direct = *kept->direct;
        if (mirror) images = *kept->images;
    } else if (!shared) {
        sideBySide([&](const Check& check) { direct = kernels.transposedKernel(false, size, check); },
                   [&](const Check& check) { if (mirror) images = kernels.transposedKernel(true, size, check); },
                   mirror);
        if (geometry)
            store.keep(std::move(*geometry), {std::make_shared<const Matrix>(direct),
                                              mirror ? std::make_shared<const Matrix>(images) : nullptr});
    }

    std::vector<double> rowFactor(n), diagonal(n, 0.0);
    // With complex media: each interface row's change of factor, per set of media, and the
    // interface rows' kernels before scaling (of the even and the odd system).
    std::vector<std::size_t> interfaces;
    std::vector<std::vector<Complex>> factorChange(media.size());
    for (std::size_t i = 0; i < n; ++i) {
        const SectionFace& face = section.faces[nodes[i].target.face];
        if (face.conductor != noConductor) {
            rowFactor[i] = 1.0;
            continue;
        }
        // π·g/|dX/dt| = κ·E_pv, the row scaled by |dX/dt|/π: O(1) however deep into a corner.
        const double plus = face.rightPermittivity, minus = face.leftPermittivity;
        rowFactor[i] = -(minus - plus) / (minus + plus) * nodes[i].speed / pi;
        diagonal[i] = 1.0;
        if (media.empty()) continue;
        interfaces.push_back(i);
        const std::size_t f = nodes[i].target.face;
        for (std::size_t m = 0; m < media.size(); ++m)
            factorChange[m].push_back(-(contrast(media[m].left[f], media[m].right[f]) - contrast(minus, plus)) *
                                      nodes[i].speed / pi);
    }
    std::vector<std::vector<double>> evenRows, oddRows;
    // Column i of Aᵀ is row i of A: the even system in `direct`'s storage, the odd in `images`'.
    for (std::size_t i = 0, next = 0; i < n && !shared; ++i) {
        double* d = direct.column(i);
        const bool kept = next < interfaces.size() && interfaces[next] == i;
        if (kept) ++next;
        if (mirror) {
            double* m = images.column(i);
            if (kept) {
                evenRows.emplace_back(n);
                oddRows.emplace_back(n);
            }
            for (std::size_t j = 0; j < n; ++j) {
                const double sum = d[j] + m[j], difference = d[j] - m[j];
                if (kept) evenRows.back()[j] = sum, oddRows.back()[j] = difference;
                d[j] = rowFactor[i] * sum;
                m[j] = rowFactor[i] * difference;
            }
            m[i] += diagonal[i];
        } else {
            if (kept) evenRows.emplace_back(d, d + n);
            for (std::size_t j = 0; j < n; ++j) d[j] *= rowFactor[i];
        }
        d[i] += diagonal[i];
    }
    const auto addBorder = [&](Matrix& a, bool bordered) {
        if (!border) return;
        if (!bordered) {
            a(n, n) = 1.0;
            return;
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (!section.isInterface(nodes[i].target.face)) a(n, i) = 1.0;  // A(i, n): the free potential
            a(i, n) = nodes[i].weight;                                         // A(n, i): neutrality
        }
    };
    const auto rightHandSide = [&](const Potentials& potentials) {
        std::vector<double> b(size, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            const SectionFace& face = section.faces[nodes[i].target.face];
            if (face.conductor != noConductor) b[i] = potentials[face.conductor];
        }
        return b;
    };
    // x + A⁻¹·ΔA·x = A⁻¹·b, x the real solution's complex counterpart.
    const auto solveLossy = [&](TransposedSolver& system, const std::vector<std::vector<double>>& rows,
                                const std::vector<Complex>& change, const std::vector<double>& real) {
        const auto apply = [&](const std::vector<Complex>& v, std::vector<Complex>& out) {
            std::vector<double> re(size, 0.0), im(size, 0.0);
            for (std::size_t k = 0; k < interfaces.size(); ++k) {
                Complex dot = 0.0;
                const double* row = rows[k].data();
                for (std::size_t j = 0; j < n; ++j) dot += row[j] * v[j];
                const Complex delta = change[k] * dot;
                re[interfaces[k]] = delta.real();
                im[interfaces[k]] = delta.imag();
            }
            re = system.solve(re);
            im = system.solve(im);
            for (std::size_t j = 0; j < size; ++j) out[j] = Complex(re[j], im[j]);
        };
        std::vector<Complex> x = gmres(apply, std::vector<Complex>(real.begin(), real.end()));
        x.resize(n);
        return x;
    };
    const auto solveAll = [&](TransposedSolver& system, const std::vector<Potentials>& excitations, bool bordered,
                              const std::vector<std::vector<double>>& rows, std::vector<ModeCharges>& solved,
                              std::vector<std::vector<std::vector<Complex>>>& lossy) {
        lossy.assign(media.size(), {});
        for (const Potentials& potentials : excitations) {
            std::vector<double> x = system.solve(rightHandSide(potentials));
            for (std::size_t m = 0; m < media.size(); ++m)
                lossy[m].push_back(solveLossy(system, rows, factorChange[m], x));
            ModeCharges c;
            c.offset = bordered ? x[n] : 0.0;
            x.resize(n);
            c.g = std::move(x);
            solved.push_back(std::move(c));
        }
    };
    // Factors in single precision, each solution refined in double, where a system is large
    // enough for the half of its factorisation this saves to outweigh the refinement's products:
    // from about 300 unknowns on for one or two right-hand sides (measured), in proportion for
    // more. The complex media's iterations solve with one system many times.
    const std::size_t rightHandSides = std::max<std::size_t>(2, std::max(even.size(), odd.size()));
    const bool refined = media.empty() && 2 * size >= refinedFrom * rightHandSides && size <= refinedUpTo;
    ExcitationCharges result;
    // Where a vacuum's solve follows (a ConductorSystemsKept lives on this thread), the
    // conductors' unknowns, which lead the mesh, are factored as a block of their own.
    std::optional<Mesh> conductors;  // the vacuum's mesh, whose unknowns lead this one's
    if (conductorSystems.keep && !border && !shared) conductors = conductorMesh(section, kernels.mesh());
    const std::size_t leading = conductors ? conductors->unknowns() : size;
    std::optional<TransposedSolver> evenSystem, oddSystem;
    // A system's factors, from its matrix or from the arrangement's whose leading block it is.
    const auto factored = [&](std::optional<TransposedSolver>& system, Matrix& a, bool bordered, const Check& check,
                              const std::optional<TransposedSolver>* whole) -> TransposedSolver& {
        if (whole) {
            system.emplace((*whole)->leadingBlock(check));
        } else {
            addBorder(a, bordered);
            system.emplace(std::move(a), refined, check, leading);
        }
        return *system;
    };
    if (!mirror) {
        TransposedSolver& system = factored(evenSystem, direct, true, checkInterrupt, shared ? &shared->even : nullptr);
        solveAll(system, even, border, evenRows, result.even, result.lossyEven);
        solveAll(system, odd, border, evenRows, result.odd, result.lossyOdd);
    } else {
        sideBySide(
            [&](const Check& check) {
                if (even.empty()) return;
                solveAll(factored(evenSystem, direct, true, check, shared ? &shared->even : nullptr), even, border,
                         evenRows, result.even, result.lossyEven);
            },
            [&](const Check& check) {
                if (odd.empty()) return;
                solveAll(factored(oddSystem, images, false, check, shared ? &shared->odd : nullptr), odd, false,
                         oddRows, result.odd, result.lossyOdd);
            },
            !even.empty() && !odd.empty());
    }
    if (leading < size) {
        ConductorSystems& keep = conductorSystems;
        keep.geometry = KernelGeometry(section.inVacuum(), *conductors);
        keep.even = std::move(evenSystem);
        keep.odd = std::move(oddSystem);
    }
    return result;
}

// Each conductor's potential in a mode of a line (its role's).
Potentials modePotentials(const CrossSection& section, bool odd) {
    Potentials potentials;
    for (const ConductorRole role : section.conductors) potentials.push_back(conductorPotential(role, odd));
    return potentials;
}

// The free charge of conductor `measured` in one excitation's charges g (`odd`: its mirror
// images carry the opposite), in units of 2π·ε0: where the conductor is its own mirror image,
// twice its solved half. The faces' sides have the permittivities `sides(f)` (real, or complex
// with loss).
template <typename Scalar, typename Sides>
Scalar freeChargeOf(const CrossSection& section, const std::vector<Node>& nodes, const std::vector<Scalar>& g,
                    bool odd, std::size_t measured, const Sides& sides) {
    const std::size_t n = nodes.size();
    const bool mirror = section.mirrorSymmetric;
    const double imageSign = odd ? -1.0 : 1.0;
    const double multiplicity = mirror && section.mirrorConductor(measured) == measured ? 2.0 : 1.0;

    Scalar total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const SectionFace& face = section.faces[nodes[i].target.face];
        if (face.conductor != measured) continue;
        const auto [left, right] = sides(nodes[i].target.face);
        const Scalar permittivity = face.leftPermittivity == 0    ? right
                                    : face.rightPermittivity == 0 ? left
                                                                  : (left + right) / 2.0;
        total += multiplicity * permittivity * nodes[i].weight * g[i];
    }
    // Zero-thickness faces between two permittivities: the flux of every charge off their line.
    for (std::size_t f = 0; f < section.faces.size(); ++f) {
        const SectionFace& face = section.faces[f];
        if (face.conductor != measured) continue;
        if (face.leftPermittivity == 0 || face.rightPermittivity == 0) continue;
        const auto [left, right] = sides(f);
        if (left == right) continue;
        const ParameterRange range = solvedRange(section, f);
        if (range.t0 == range.t1) continue;
        const Point a = face.face.point(range.t0), b = face.face.point(range.t1);
        assert(!face.face.isArc() && a.imag() == b.imag());
        // Travelling towards +x the left side is the top.
        const bool rightwards = b.real() > a.real();
        const Scalar top = rightwards ? left : right;
        const Scalar bottom = rightwards ? right : left;
        const double x0 = std::min(a.real(), b.real()), x1 = std::max(a.real(), b.real()), y = a.imag();
        Scalar flux = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            const Face& source = section.faces[nodes[j].target.face].face;
            const Scalar q = nodes[j].weight * g[j];
            const Anchored& at = nodes[j].target.at;
            const bool collinear = !source.isArc() && source.start().imag() == y && source.end().imag() == y;
            double angle = 0.0;
            if (!collinear) angle += subtended(at, x0, x1, y);
            if (section.groundPlane) angle -= subtended(reflected(at), x0, x1, y);
            if (mirror) {
                if (!collinear) angle += imageSign * subtended(mirrored(at), x0, x1, y);
                if (section.groundPlane) angle -= imageSign * subtended(reflected(mirrored(at)), x0, x1, y);
            }
            flux += q * angle;
        }
        total += multiplicity * (top - bottom) / (2 * pi) * flux;
    }
    return total;
}

// The free charge of conductor `measured` with the faces' own permittivities, F/m.
double freeCharge(const CrossSection& section, const std::vector<Node>& nodes, const ModeCharges& charges, bool odd,
                  std::size_t measured) {
    const auto sides = [&](std::size_t f) {
        return std::pair{section.faces[f].leftPermittivity, section.faces[f].rightPermittivity};
    };
    return inFaradPerMetre(freeChargeOf(section, nodes, charges.g, odd, measured, sides));
}

// The same with complex permittivities, C − jG/ω, F/m.
Complex freeCharge(const CrossSection& section, const std::vector<Node>& nodes, const std::vector<Complex>& g,
                   bool odd, std::size_t measured, const FaceMedia& media) {
    const auto sides = [&](std::size_t f) { return std::pair{media.left[f], media.right[f]}; };
    return inFaradPerMetre(1.0) * freeChargeOf(section, nodes, g, odd, measured, sides);
}

// The angle of the field (0 … 2π: 3π/2 outside a rectangle's corner) where conductor face f
// meets another face of its conductor at its start (end 0) or end (1); 0 where it meets none at
// an angle: a cut, a free edge, a smooth join.
double cornerAngle(const CrossSection& section, std::size_t f, int end) {
    const SectionFace& face = section.faces[f];
    if (end == 0 ? face.openStart : face.openEnd) return 0.0;
    const Point p = end == 0 ? face.face.start() : face.face.end();
    // Along each face away from the corner.
    const Point away = end == 0 ? face.face.startDirection() : -face.face.endDirection();
    const double tolerance = 1e-12 * section.size;
    for (std::size_t k = 0; k < section.faces.size(); ++k) {
        const SectionFace& other = section.faces[k];
        if (k == f || other.conductor != face.conductor) continue;
        Point otherAway;
        if (std::abs(other.face.start() - p) <= tolerance) otherAway = other.face.startDirection();
        else if (std::abs(other.face.end() - p) <= tolerance) otherAway = -other.face.endDirection();
        else continue;
        const double between = std::fabs(std::arg(otherAway / away));  // 0 … π
        if (std::fabs(between - pi) <= 1e-9) return 0.0;
        // The bisector points into the field or into the conductor.
        const Point bisector = away / std::abs(away) + otherAway / std::abs(otherAway);
        const double hair = 1e-9 * std::min(face.face.length(), other.face.length());
        const bool field = section.regions.permittivityAt(p + hair * bisector / std::abs(bisector)) != 0;
        return field ? between : 2 * pi - between;
    }
    return 0.0;
}

// Whether a conductor face has a free edge: of zero thickness (dielectric on both sides), with an
// end that is no cut.
bool freeEdge(const SectionFace& face) {
    return face.conductor != noConductor && face.leftPermittivity != 0 && face.rightPermittivity != 0 &&
           !(face.openStart && face.openEnd);
}

// The Lagrange interpolant through a panel's nodes at u (panel parameter −1 … 1), barycentric.
double interpolate(const PanelRule& rule, const double* values, double u) {
    double numerator = 0.0, denominator = 0.0;
    for (std::size_t j = 0; j < rule.order(); ++j) {
        const double d = u - rule.node(j);
        if (d == 0) return values[j];
        double w = 1.0;
        for (std::size_t k = 0; k < rule.order(); ++k)
            if (k != j) w /= rule.node(j) - rule.node(k);
        numerator += w / d * values[j];
        denominator += w / d;
    }
    return numerator / denominator;
}

// ∫ σ² ds over one panel of a conductor face, σ = g/|dX/dt| from its charges g per unit t. The
// panel's Gauss rule is exact for the square of its interpolant; but towards a corner of field
// angle α the charge goes like r^ν, ν = π/α − 1, r the distance to it, and its square is
// singular. On the half of a face nearer such a corner the smooth part h = σ/r^ν is
// interpolated instead, and ∫ h²·r^(2ν) dr taken in s = r^(2ν + 1), where it is ∫ h² ds/(2ν + 1).
double squareIntegral(const CrossSection& section, const Mesh& mesh, std::size_t index, const Kernels& kernels,
                      const std::vector<double>& charges) {
    const Panel& panel = mesh.panels[index];
    const double* g = &charges[panel.first];
    const PanelRule& rule = kernels.rule(panel.order);
    const std::vector<Node>& nodes = kernels.nodes();
    const Face& face = section.faces[panel.face].face;
    const int end = panel.t1 <= pi / 2 ? 0 : panel.t0 >= pi / 2 ? 1 : -1;
    const double angle = end < 0 ? 0.0 : cornerAngle(section, panel.face, end);
    if (angle == 0 || face.isArc()) {
        double sum = 0.0;
        for (std::size_t j = 0; j < panel.order; ++j) {
            const Node& node = nodes[panel.first + j];
            sum += node.weight * g[j] * g[j] / node.speed;
        }
        return sum;
    }
    const double nu = pi / angle - 1, length = face.length();
    const double corner = end == 0 ? 0.0 : pi;
    if (panel.t0 == 0 || panel.t1 == pi) {
        // The innermost panel: there the interpolant is good for the panel's charge q alone, and
        // σ = c·r^ν holding it gives ∫ σ² dr = q²·(ν + 1)²/((2ν + 1)·r0). What the panel's
        // truncation leaves goes like r0^(2ν + 1) (skinConvergence).
        double q = 0.0;
        for (std::size_t j = 0; j < panel.order; ++j) q += nodes[panel.first + j].weight * g[j];
        return q * q * (nu + 1) * (nu + 1) / ((2 * nu + 1) * panel.chord());
    }
    // The distance to the corner along the face (its parameter runs by the cosine map), and back.
    const auto distance = [&](double t) { return face.separation(t, corner); };
    const auto parameter = [&](double r) {
        const double t = 2 * std::asin(std::sqrt(std::min(r / length, 1.0)));
        return end == 0 ? t : pi - t;
    };
    std::vector<double> h(panel.order);
    for (std::size_t j = 0; j < panel.order; ++j) {
        const Node& node = nodes[panel.first + j];
        h[j] = g[j] / node.speed / std::pow(distance(node.target.t), nu);
    }
    const double exponent = 2 * nu + 1;
    const double s0 = std::pow(distance(panel.t0), exponent), s1 = std::pow(distance(panel.t1), exponent);
    const PanelRule::FineRule& fine = rule.middle();
    const double centre = (panel.t0 + panel.t1) / 2, half = (panel.t1 - panel.t0) / 2;
    double sum = 0.0;
    for (std::size_t k = 0; k < fine.nodes.size(); ++k) {
        const double sk = (s0 + s1) / 2 + (s1 - s0) / 2 * fine.nodes[k];
        const double t = parameter(std::pow(sk, 1 / exponent));
        const double value = interpolate(rule, h.data(), (t - centre) / half);
        sum += std::fabs(s1 - s0) / 2 * fine.weights[k] * value * value;
    }
    return sum / exponent;
}

// ∮ ρ̂² dl of one excitation's charges over every conductor (with mirror symmetry, the images'
// halves too) and the ground plane, ρ̂ the charge density divided by `charge`.
double skinIntegral(const CrossSection& section, const Mesh& mesh, const Kernels& kernels, const ModeCharges& charges,
                    bool odd, double charge) {
    if (std::any_of(section.faces.begin(), section.faces.end(), freeEdge)) return HUGE_VAL;
    double sum = 0.0;
    for (std::size_t p = 0; p < mesh.panels.size(); ++p)
        if (section.faces[mesh.panels[p].face].conductor != noConductor)
            sum += squareIntegral(section, mesh, p, kernels, charges.g);
    if (section.groundPlane) {
        // The plane's charge, −(1/π)·Σ q·y/|x − z|², squared and integrated over x: for two line
        // charges (1/π)·q·q'·(y + y')/|z − z̄'|², the field at the image of one of the image of
        // the other. On a panel long against its height the image's field, smooth within the
        // panel, changes over that height where the charge's pieces join at its ends: the panel is
        // halved where its halves' sum departs from the whole by more than its share of 1e−10 of
        // the conductors' own integral, down to pieces of about that height at its ends.
        const double imageSign = odd ? -1.0 : 1.0;
        const double tolerance = 1e-10 * sum;
        double plane = 0.0;
        for (const Panel& panel : mesh.panels) {
            const SectionFace& face = section.faces[panel.face];
            if (face.conductor == noConductor) continue;
            const Face& f = face.face;
            const PanelRule& rule = kernels.rule(panel.order);
            const double* g = &charges.g[panel.first];
            const double half = (panel.t1 - panel.t0) / 2;
            // The rule on [u0, u1] of the panel's parameter −1 … 1.
            const auto piece = [&](double u0, double u1) {
                double part = 0.0;
                for (std::size_t k = 0; k < rule.order(); ++k) {
                    const double u = (u0 + u1) / 2 + (u1 - u0) / 2 * rule.node(k);
                    const double t = (panel.t0 + panel.t1) / 2 + half * u;
                    const double charge = u0 == -1 && u1 == 1 ? g[k] : interpolate(rule, g, u);
                    const Point z = f.point(t);
                    double field = kernels.fieldOf(std::conj(z), Point(0, -1), charges.g);
                    if (section.mirrorSymmetric) field += imageSign * kernels.fieldOf(-z, Point(0, -1), charges.g);
                    part += half * (u1 - u0) / 2 * rule.weight(k) * charge * field;
                }
                return part;
            };
            const std::function<double(double, double, double, int)> adaptive = [&](double u0, double u1, double whole,
                                                                                     int depth) {
                const double m = (u0 + u1) / 2, left = piece(u0, m), right = piece(m, u1);
                if (depth >= 40 || std::fabs(left + right - whole) <= tolerance * (u1 - u0) / 2) return left + right;
                return adaptive(u0, m, left, depth + 1) + adaptive(m, u1, right, depth + 1);
            };
            plane += adaptive(-1, 1, piece(-1, 1), 0);
        }
        sum += plane / pi;
    }
    return (section.mirrorSymmetric ? 2.0 : 1.0) * sum / (charge * charge);
}

}  // namespace

KernelsKept::KernelsKept() { KernelStore::instance().open(); }

KernelsKept::~KernelsKept() { KernelStore::instance().close(); }

ConductorSystemsKept::ConductorSystemsKept() : before_(conductorSystems.keep) { conductorSystems.keep = true; }

ConductorSystemsKept::~ConductorSystemsKept() {
    conductorSystems.keep = before_;
    if (!before_) conductorSystems.geometry.reset(), conductorSystems.even.reset(), conductorSystems.odd.reset();
}

SolvesOnThisThreadOnly::SolvesOnThisThreadOnly() : before_(aloneOnThisThread) { aloneOnThisThread = true; }

SolvesOnThisThreadOnly::~SolvesOnThisThreadOnly() { aloneOnThisThread = before_; }

ModeCapacitances modeCapacitances(const CrossSection& section, const Mesh& mesh) {
    return solveModes(section, mesh, {}, false).modes;
}

ModeSolution solveModes(const CrossSection& section, const Mesh& mesh, const std::vector<FaceMedia>& media,
                        bool skin) {
    const Kernels kernels(section, mesh);
    const bool even = hasReference(section), odd = section.isPair();
    std::vector<Potentials> evenModes, oddModes;
    if (even) evenModes.push_back(modePotentials(section, false));
    if (odd) oddModes.push_back(modePotentials(section, true));
    const ExcitationCharges charges = solveExcitations(section, kernels, evenModes, oddModes, media);
    // The trace whose charge is reported: the right one of a pair, else the single one.
    const auto conductor = std::find(section.conductors.begin(), section.conductors.end(),
                                     odd ? ConductorRole::right : ConductorRole::single);
    assert(conductor != section.conductors.end());
    const auto measured = static_cast<std::size_t>(conductor - section.conductors.begin());
    const double none = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Node>& nodes = kernels.nodes();
    ModeSolution solution;
    solution.modes = {even ? freeCharge(section, nodes, charges.even.front(), false, measured) : none,
                      odd ? freeCharge(section, nodes, charges.odd.front(), true, measured) : none};
    for (std::size_t m = 0; m < media.size(); ++m)
        solution.lossy.push_back(
            {even ? freeCharge(section, nodes, charges.lossyEven[m].front(), false, measured, media[m]) : Complex(none),
             odd ? freeCharge(section, nodes, charges.lossyOdd[m].front(), true, measured, media[m]) : Complex(none)});
    solution.skin = {none, none};
    if (skin) {
        // Each trace's own charge normalises the density: a unit current on each.
        const auto of = [&](const ModeCharges& c, bool oddMode) {
            const auto unit = [](std::size_t) { return std::pair{1.0, 1.0}; };
            const double q = freeChargeOf(section, nodes, c.g, oddMode, measured, unit);
            return skinIntegral(section, mesh, kernels, c, oddMode, q) / (odd ? 2.0 : 1.0);
        };
        if (even) solution.skin.even = of(charges.even.front(), false);
        if (odd) solution.skin.odd = of(charges.odd.front(), true);
    }
    return solution;
}

double skinConvergence(const CrossSection& section) {
    double rate = 0.0;
    for (std::size_t f = 0; f < section.faces.size(); ++f) {
        if (section.faces[f].conductor == noConductor) continue;
        for (const int end : {0, 1})
            if (const double angle = cornerAngle(section, f, end); angle > 0) {
                const double nu = pi / angle - 1;
                rate = std::max(rate, std::pow(1.0 / 16, 2 * nu + 1));
            }
    }
    return rate;
}

FaceMedia faceMedia(const CrossSection& section,
                    const std::function<std::complex<double>(double permittivity, double lossTangent)>& model) {
    FaceMedia media;
    for (const SectionFace& f : section.faces) {
        media.left.push_back(f.leftPermittivity == 0 ? Complex(0.0) : model(f.leftPermittivity, f.leftLossTangent));
        media.right.push_back(f.rightPermittivity == 0 ? Complex(0.0) : model(f.rightPermittivity, f.rightLossTangent));
    }
    return media;
}

std::vector<double> maxwellMatrix(const CrossSection& section, const Mesh& mesh) {
    assert(hasReference(section));
    const Kernels kernels(section, mesh);
    const std::vector<std::size_t> signals = section.signals();
    const std::size_t count = signals.size();
    // Whether a conductor has an image apart from it, and so an odd excitation of its own.
    const auto paired = [&](std::size_t c) { return section.mirrorSymmetric && section.mirrorConductor(c) != c; };
    // Each signal's solved representative: itself, or with mirror symmetry the one of it and its
    // image whose faces carry the unknowns, and whether that is the image (sign −1).
    std::vector<std::size_t> representative(count);
    std::vector<double> side(count, 1.0);
    std::vector<std::size_t> solved;  // the representatives, each once
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t c = signals[k];
        std::size_t r = c;
        if (section.mirrorSymmetric && !section.carriesUnknowns(c)) r = section.mirrorConductor(c), side[k] = -1.0;
        const auto at = std::find(solved.begin(), solved.end(), r);
        representative[k] = static_cast<std::size_t>(at - solved.begin());
        if (at == solved.end()) solved.push_back(r);
    }
    // A unit potential on each representative: with its image at the same potential (even) and,
    // where it has an image apart from it, at the opposite (odd); a conductor of the one is then
    // ½(even ± odd). Without mirror symmetry the even excitations are the unit ones themselves.
    std::vector<Potentials> even, odd;
    for (const std::size_t r : solved) {
        Potentials unit(section.conductors.size(), 0.0);
        unit[r] = 1.0;
        even.push_back(unit);
        if (paired(r)) odd.push_back(unit);
    }
    const ExcitationCharges charges = solveExcitations(section, kernels, even, odd);
    const std::vector<ModeCharges>& evenCharges = charges.even;
    const std::vector<ModeCharges>& oddCharges = charges.odd;
    const std::size_t m = solved.size();
    std::vector<double> qEven(m * m), qOdd(m * m, 0.0);
    for (std::size_t e = 0, o = 0; e < m; ++e) {
        const bool hasOdd = paired(solved[e]);
        for (std::size_t k = 0; k < m; ++k) {
            qEven[k * m + e] = freeCharge(section, kernels.nodes(), evenCharges[e], false, solved[k]);
            // A conductor that is its own image carries no charge in an odd excitation.
            if (hasOdd && paired(solved[k]))
                qOdd[k * m + e] = freeCharge(section, kernels.nodes(), oddCharges[o], true, solved[k]);
        }
        if (hasOdd) ++o;
    }
    std::vector<double> c(count * count);
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t ri = representative[i], rj = representative[j];
            c[i * count + j] = paired(solved[rj]) ? (qEven[ri * m + rj] + side[i] * side[j] * qOdd[ri * m + rj]) / 2
                                                  : qEven[ri * m + rj];
        }
    return c;
}

ModeField::ModeField(const CrossSection& section, const Mesh& mesh, bool odd)
    : ModeField(section, mesh, modePotentials(section, odd)) {
    assert(odd ? section.isPair() : hasReference(section));
}

ModeField::ModeField(const CrossSection& section, const Mesh& mesh, const std::vector<double>& potentials)
    : mirror_(section.mirrorSymmetric), plane_(section.groundPlane) {
    const Kernels kernels(section, mesh);
    Potentials even = potentials, odd(potentials.size(), 0.0);
    bool anyEven = !mirror_, anyOdd = false;
    if (mirror_)
        for (std::size_t c = 0; c < potentials.size(); ++c) {
            const double image = potentials[section.mirrorConductor(c)];
            even[c] = (potentials[c] + image) / 2;
            odd[c] = (potentials[c] - image) / 2;
            anyEven = anyEven || even[c] != 0;
            anyOdd = anyOdd || odd[c] != 0;
        }
    std::vector<Potentials> evenParts, oddParts;
    if (anyEven) evenParts.push_back(even);
    if (anyOdd) oddParts.push_back(odd);
    const ExcitationCharges charges = solveExcitations(section, kernels, evenParts, oddParts);
    const std::vector<ModeCharges>& evenCharges = charges.even;
    const std::vector<ModeCharges>& oddCharges = charges.odd;
    const std::size_t n = kernels.nodes().size();
    charges_.assign(n, 0.0);
    oddCharges_.assign(n, 0.0);
    if (anyEven) offset_ = evenCharges.front().offset;
    for (std::size_t j = 0; j < n; ++j) {
        positions_.push_back(kernels.nodes()[j].target.z());
        const double w = kernels.nodes()[j].weight;
        if (anyEven) charges_[j] = w * evenCharges.front().g[j];
        if (anyOdd) oddCharges_[j] = w * oddCharges.front().g[j];
    }
}

double ModeField::potential(Point z) const {
    // −Σ q·ln|z − z_j| over the charges and their images, as halves of squared logarithms.
    double sum = 0.0;
    for (std::size_t j = 0; j < positions_.size(); ++j) {
        const Point c = positions_[j];
        const double self = -std::log(std::norm(z - c)) + (plane_ ? std::log(std::norm(z - std::conj(c))) : 0.0);
        double image = 0.0;
        if (mirror_) image = -std::log(std::norm(z + std::conj(c))) + (plane_ ? std::log(std::norm(z + c)) : 0.0);
        sum += 0.5 * (charges_[j] * (self + image) + oddCharges_[j] * (self - image));
    }
    return sum + offset_;
}

Point ModeField::field(Point z) const {
    // A line charge q at c pushes with q·(z − c)/|z − c|².
    const auto push = [&z](Point c) { return (z - c) / std::norm(z - c); };
    Point sum = 0.0;
    for (std::size_t j = 0; j < positions_.size(); ++j) {
        const Point c = positions_[j];
        const Point self = push(c) - (plane_ ? push(std::conj(c)) : Point(0.0));
        Point image = 0.0;
        if (mirror_) image = push(-std::conj(c)) - (plane_ ? push(-c) : Point(0.0));
        sum += charges_[j] * (self + image) + oddCharges_[j] * (self - image);
    }
    return sum;
}

}  // namespace plattor
