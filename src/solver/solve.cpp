#include "solver/solve.hpp"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <numbers>
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

// The nodes of a mesh and the rows of the kernels at them: the potential of every unknown's
// charge at a conductor node, the normal field at an interface node.
class Kernels {
public:
    Kernels(const CrossSection& section, const Mesh& mesh)
        : section_(section), mesh_(mesh), n_(mesh.unknowns()) {
        for (const Panel& panel : mesh.panels) {
            while (rules_.size() <= panel.order) rules_.emplace_back();
            if (!rules_[panel.order]) rules_[panel.order] = std::make_unique<PanelRule>(panel.order);
            const PanelRule& rule = *rules_[panel.order];
            const Face& f = section.faces[panel.face].face;
            const double centre = (panel.t0 + panel.t1) / 2, half = (panel.t1 - panel.t0) / 2;
            for (std::size_t j = 0; j < panel.order; ++j) {
                const double t = centre + half * rule.node(j);
                nodes_.push_back({{f.anchored(t), panel.face, t}, half * rule.weight(j), f.speed(t), f.normal(t)});
            }
            farDistances_.push_back(rule.farDistance(panel));
            for (const PanelRule::FineRule* r : {&rule.middle(), &rule.outer()})
                for (std::size_t m = 0; m < r->nodes.size(); ++m) {
                    middlePoints_.push_back(f.anchored(centre + half * r->nodes[m]));
                    middleWeights_.push_back(half * r->weights[m]);
                }
        }
        const std::size_t faceCount = section.faces.size();
        onLine_.resize(faceCount * faceCount);
        for (std::size_t a = 0; a < faceCount; ++a)
            for (std::size_t b = 0; b < faceCount; ++b)
                onLine_[a * faceCount + b] = collinear(section.faces[a].face, section.faces[b].face, section.size);
    }

    const std::vector<Node>& nodes() const { return nodes_; }

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
    // How a panel is integrated for a point: far off by its own nodes, from 1.8 chords on by the
    // outer rule, from one chord on by the middle rule, closer by product integration.
    enum class Reach { far, outer, middle, near };
    Reach reach(std::size_t q, const Anchored& z) const {
        // The distance d to the chord lies between the distance to its middle less half its
        // length, and that distance: most points are told apart by these bounds alone.
        const Panel& panel = mesh_.panels[q];
        const double far = farDistances_[q], chord = 2 * panel.radius;
        const double centre = std::sqrt(std::norm(z.z() - panel.middle));
        const double slack = 1e-12 * (centre + panel.radius);
        const double outer = outerChords * chord;
        if (centre - panel.radius >= far + slack) return Reach::far;
        if (centre < far - slack) {
            if (centre - panel.radius >= outer + slack) return Reach::outer;
            if (centre - panel.radius >= chord + slack && centre < outer - slack) return Reach::middle;
        }
        const double d2 = std::norm(fromSegment(z - panel.a, 0, panel.b - panel.a));
        if (d2 >= far * far) return Reach::far;
        if (d2 >= outer * outer) return Reach::outer;
        return d2 >= chord * chord ? Reach::middle : Reach::near;
    }

    // −∫ ln|X − z|·ℓ_j at the images (the second, the plane's, with the sign −1). Far off a
    // panel its own rule, a charge and its image as one logarithm of the ratio of their squared
    // distances; in the middle the middle rule's 12 points; those logarithms are taken together, through
    // the vector math, at the end.
    void potentialRow(const Image* images, std::size_t count, double* row) const {
        // Scratch kept from row to row, one set a thread: the even and the odd system are built
        // side by side.
        thread_local std::vector<double> arguments, factor;
        thread_local std::vector<std::size_t> index, slot;
        thread_local std::vector<MiddleSum> middles;
        arguments.clear();
        index.clear();
        factor.clear();
        slot.clear();
        middles.clear();
        for (std::size_t q = 0; q < mesh_.panels.size(); ++q) {
            const Panel& panel = mesh_.panels[q];
            const Face& face = section_.faces[panel.face].face;
            const PanelRule& rule = *rules_[panel.order];
            double* part = &row[panel.first];
            Reach reaches[2] = {Reach::far, Reach::far};
            for (std::size_t m = 0; m < count; ++m) {
                const Target& z = images[m].target;
                reaches[m] = reach(q, z.at);
                if (reaches[m] != Reach::near) continue;
                // Product integration; where no root is close after all, the middle rule.
                if (!rule.addNearIntegrals(face, panel, z, targetParameter(face, panel.face, z), m == 0 ? 1.0 : -1.0,
                                           part))
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
                    for (std::size_t j = 0; j < panel.order; ++j) {
                        double argument = std::norm(source[j].target.at - images[m].target.at);
                        if (together) argument /= std::norm(source[j].target.at - images[1].target.at);
                        slot.push_back(arguments.size());
                        arguments.push_back(argument);
                        index.push_back(panel.first + j);
                        factor.push_back(sign * source[j].weight);
                    }
                    continue;
                }
                const bool outer = reaches[m] == Reach::outer;
                middles.push_back({q, sign, arguments.size(), outer});
                const Anchored* points = &middlePoints_[q * pointsPerPanel + (outer ? middleOrder : 0)];
                for (std::size_t k = 0; k < (outer ? outerOrder : middleOrder); ++k) {
                    double argument = std::norm(points[k] - images[m].target.at);
                    if (together) argument /= std::norm(points[k] - images[1].target.at);
                    arguments.push_back(argument);
                }
            }
        }
        logInPlace(arguments.data(), arguments.size());
        for (std::size_t k = 0; k < index.size(); ++k) row[index[k]] += factor[k] * arguments[slot[k]];
        for (const MiddleSum& sum : middles) {
            const Panel& panel = mesh_.panels[sum.panel];
            const PanelRule::FineRule& middle = sum.outer ? rules_[panel.order]->outer() : rules_[panel.order]->middle();
            const double* weights = &middleWeights_[sum.panel * pointsPerPanel + (sum.outer ? middleOrder : 0)];
            double* part = &row[panel.first];
            for (std::size_t k = 0; k < middle.nodes.size(); ++k) {
                const double w = sum.sign * weights[k] * arguments[sum.first + k];
                const double* basis = &middle.basis[k * panel.order];
                for (std::size_t j = 0; j < panel.order; ++j) part[j] += w * basis[j];
            }
        }
    }

    // ∫ Re[n/(z − X)]·ℓ_j at the images, the principal value on the node's own line or circle.
    void fieldRow(const Image* images, std::size_t count, double* row) const {
        const std::size_t faceCount = section_.faces.size();
        for (std::size_t q = 0; q < mesh_.panels.size(); ++q) {
            const Panel& panel = mesh_.panels[q];
            const Face& face = section_.faces[panel.face].face;
            const PanelRule& rule = *rules_[panel.order];
            double* part = &row[panel.first];
            const Node* source = &nodes_[panel.first];
            const std::size_t p = panel.order;
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
                Reach r = reach(q, image.target.at);
                if (r == Reach::near && !rule.addFieldIntegrals(face, panel, image.target.at, image.normal,
                                                                targetParameter(face, panel.face, image.target), sign,
                                                                part))
                    r = Reach::middle;
                if (r == Reach::near) continue;
                // Re[n/d] = (n·d)/|d|², d = z − X.
                const double nx = image.normal.real(), ny = image.normal.imag();
                if (r == Reach::middle || r == Reach::outer) {
                    const bool outer = r == Reach::outer;
                    const PanelRule::FineRule& middle = outer ? rule.outer() : rule.middle();
                    const Anchored* points = &middlePoints_[q * pointsPerPanel + (outer ? middleOrder : 0)];
                    const double* weights = &middleWeights_[q * pointsPerPanel + (outer ? middleOrder : 0)];
                    for (std::size_t k = 0; k < middle.nodes.size(); ++k) {
                        const Point d = image.target.at - points[k];
                        const double w = sign * weights[k] * (nx * d.real() + ny * d.imag()) / std::norm(d);
                        const double* basis = &middle.basis[k * p];
                        for (std::size_t j = 0; j < p; ++j) part[j] += w * basis[j];
                    }
                    continue;
                }
                for (std::size_t j = 0; j < p; ++j) {
                    const Point d = image.target.at - source[j].target.at;
                    part[j] += sign * source[j].weight * (nx * d.real() + ny * d.imag()) / std::norm(d);
                }
            }
        }
    }

    const CrossSection& section_;
    const Mesh& mesh_;
    std::vector<std::unique_ptr<PanelRule>> rules_;  // by order
    std::size_t n_;
    std::vector<Node> nodes_;
    std::vector<double> farDistances_;
    std::vector<bool> onLine_;
    // The middle and outer rules' points on every panel and their weights in t.
    static constexpr std::size_t middleOrder = PanelRule::middleOrder, outerOrder = PanelRule::outerOrder;
    static constexpr std::size_t pointsPerPanel = middleOrder + outerOrder;
    static constexpr double outerChords = 1.8;
    std::vector<Anchored> middlePoints_;
    std::vector<double> middleWeights_;
    // Work arrays of potentialRow: the logarithms' arguments; for the far ones where each goes,
    // its factor and its slot among the arguments; for the middle ones their sums.
    struct MiddleSum {
        std::size_t panel;
        double sign;
        std::size_t first;  // the slot of its first argument
        bool outer;         // the outer rule's, else the middle one's
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
        failed = true;
        try {
            other.get();
        } catch (...) {
        }
        throw;
    }
    other.get();
}

struct ModeCharges {
    std::vector<double> g;
    double offset = 0.0;
};

// The potential of every conductor in one excitation, indexed as CrossSection::conductors.
using Potentials = std::vector<double>;

// The charges of each excitation asked for: `even` ones, whose mirror images (with mirror
// symmetry) carry the same potentials, and `odd` ones, whose images carry the opposite. The
// systems are factored in the storage of the kernels, transposed as they are built: Aᵀ(j, i) =
// factor_i·(K_direct ± K_mirror)ᵀ(j, i), solved by the transposed factors. Without mirror
// symmetry one system serves every excitation, even and odd alike.
std::pair<std::vector<ModeCharges>, std::vector<ModeCharges>> solveExcitations(const CrossSection& section,
                                                                               const Kernels& kernels,
                                                                               const std::vector<Potentials>& even,
                                                                               const std::vector<Potentials>& odd) {
    const std::vector<Node>& nodes = kernels.nodes();
    const std::size_t n = nodes.size();
    const bool mirror = section.mirrorSymmetric;
    // Without a plane the even system (and the odd one of an arrangement solved whole) is
    // bordered: one more row and column; the odd one of a mirrored arrangement is neutral by
    // symmetry and gets a unit there.
    const bool border = !section.groundPlane;
    const std::size_t size = border ? n + 1 : n;
    // With mirror symmetry the even and the odd system are built, and later factored, side by
    // side: each is half the work.
    Matrix direct, images;
    sideBySide([&](const Check& check) { direct = kernels.transposedKernel(false, size, check); },
               [&](const Check& check) { if (mirror) images = kernels.transposedKernel(true, size, check); }, mirror);

    std::vector<double> rowFactor(n), diagonal(n, 0.0);
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
    }
    // Column i of Aᵀ is row i of A: the even system in `direct`'s storage, the odd in `images`'.
    for (std::size_t i = 0; i < n; ++i) {
        double* d = direct.column(i);
        if (mirror) {
            double* m = images.column(i);
            for (std::size_t j = 0; j < n; ++j) {
                const double sum = d[j] + m[j], difference = d[j] - m[j];
                d[j] = rowFactor[i] * sum;
                m[j] = rowFactor[i] * difference;
            }
            m[i] += diagonal[i];
        } else {
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
    const auto solveAll = [&](const LuFactors& factors, const std::vector<Potentials>& excitations, bool bordered) {
        std::vector<ModeCharges> solved;
        for (const Potentials& potentials : excitations) {
            std::vector<double> x = luSolveTransposed(factors, rightHandSide(potentials));
            ModeCharges c;
            c.offset = bordered ? x[n] : 0.0;
            x.resize(n);
            c.g = std::move(x);
            solved.push_back(std::move(c));
        }
        return solved;
    };
    std::pair<std::vector<ModeCharges>, std::vector<ModeCharges>> result;
    if (!mirror) {
        addBorder(direct, true);
        const LuFactors factors = luFactor(std::move(direct), checkInterrupt);
        result.first = solveAll(factors, even, border);
        result.second = solveAll(factors, odd, border);
        return result;
    }
    sideBySide(
        [&](const Check& check) {
            if (even.empty()) return;
            addBorder(direct, true);
            result.first = solveAll(luFactor(std::move(direct), check), even, border);
        },
        [&](const Check& check) {
            if (odd.empty()) return;
            addBorder(images, false);
            result.second = solveAll(luFactor(std::move(images), check), odd, false);
        },
        !even.empty() && !odd.empty());
    return result;
}

// Each conductor's potential in a mode of a line (its role's).
Potentials modePotentials(const CrossSection& section, bool odd) {
    Potentials potentials;
    for (const ConductorRole role : section.conductors) potentials.push_back(conductorPotential(role, odd));
    return potentials;
}

// The free charge of conductor `measured` in one excitation's charges (`odd`: its mirror images
// carry the opposite), F/m: where the conductor is its own mirror image, twice its solved half.
double freeCharge(const CrossSection& section, const std::vector<Node>& nodes, const ModeCharges& charges, bool odd,
                  std::size_t measured) {
    const std::size_t n = nodes.size();
    const bool mirror = section.mirrorSymmetric;
    const double imageSign = odd ? -1.0 : 1.0;
    const double multiplicity = mirror && section.mirrorConductor(measured) == measured ? 2.0 : 1.0;

    // In units of 2π·ε0.
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const SectionFace& face = section.faces[nodes[i].target.face];
        if (face.conductor != measured) continue;
        const double left = face.leftPermittivity, right = face.rightPermittivity;
        const double permittivity = left == 0 ? right : right == 0 ? left : (left + right) / 2;
        total += multiplicity * permittivity * nodes[i].weight * charges.g[i];
    }
    // Zero-thickness faces between two permittivities: the flux of every charge off their line.
    for (std::size_t f = 0; f < section.faces.size(); ++f) {
        const SectionFace& face = section.faces[f];
        if (face.conductor != measured) continue;
        if (face.leftPermittivity == 0 || face.rightPermittivity == 0) continue;
        if (face.leftPermittivity == face.rightPermittivity) continue;
        const ParameterRange range = solvedRange(section, f);
        if (range.t0 == range.t1) continue;
        const Point a = face.face.point(range.t0), b = face.face.point(range.t1);
        assert(!face.face.isArc() && a.imag() == b.imag());
        // Travelling towards +x the left side is the top.
        const bool rightwards = b.real() > a.real();
        const double top = rightwards ? face.leftPermittivity : face.rightPermittivity;
        const double bottom = rightwards ? face.rightPermittivity : face.leftPermittivity;
        const double x0 = std::min(a.real(), b.real()), x1 = std::max(a.real(), b.real()), y = a.imag();
        double flux = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            const Face& source = section.faces[nodes[j].target.face].face;
            const double q = nodes[j].weight * charges.g[j];
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
    return inFaradPerMetre(total);
}

}  // namespace

SolvesOnThisThreadOnly::SolvesOnThisThreadOnly() : before_(aloneOnThisThread) { aloneOnThisThread = true; }

SolvesOnThisThreadOnly::~SolvesOnThisThreadOnly() { aloneOnThisThread = before_; }

ModeCapacitances modeCapacitances(const CrossSection& section, const Mesh& mesh) {
    const Kernels kernels(section, mesh);
    const bool even = hasReference(section), odd = section.isPair();
    std::vector<Potentials> evenModes, oddModes;
    if (even) evenModes.push_back(modePotentials(section, false));
    if (odd) oddModes.push_back(modePotentials(section, true));
    const auto [evenCharges, oddCharges] = solveExcitations(section, kernels, evenModes, oddModes);
    // The trace whose charge is reported: the right one of a pair, else the single one.
    const auto conductor = std::find(section.conductors.begin(), section.conductors.end(),
                                     odd ? ConductorRole::right : ConductorRole::single);
    assert(conductor != section.conductors.end());
    const auto measured = static_cast<std::size_t>(conductor - section.conductors.begin());
    const double none = std::numeric_limits<double>::quiet_NaN();
    return {even ? freeCharge(section, kernels.nodes(), evenCharges.front(), false, measured) : none,
            odd ? freeCharge(section, kernels.nodes(), oddCharges.front(), true, measured) : none};
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
    const auto [evenCharges, oddCharges] = solveExcitations(section, kernels, even, odd);
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
    const auto [evenCharges, oddCharges] = solveExcitations(section, kernels, evenParts, oddParts);
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
