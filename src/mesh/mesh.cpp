#include "mesh/mesh.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>
#include <string>
#include <tuple>

#include "base/error.hpp"
#include "base/text.hpp"

namespace plattor {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double longestParameterPanel = pi / 4;
// A panel is at most this many times its distance to a neighbouring edge. The mesh makes every
// panel as long as that allows, with no slack: at 2 the error at order 10 reached 1e−8 of the
// value for strips low over a narrow plane, at 1.5 it stays near 1e−10.
constexpr double meshRatio = 1.5;
// Towards a corner each panel is at most this many times its parameter distance to it: layers
// a quarter of the one before, so that the singular charge seen from the next panel lies a
// third of a panel length off it.
constexpr double cornerGrowth = 3.0;
// Between two planes a panel is at most their spacing b plus this many times its distance d to
// the nearest edge: the charge differs from the plates' uniform charge by e^(−π·d/b), which a
// polynomial resolves on a panel of b + d/2 as well as on one of b at the edge, so the panels
// grow geometrically away from the edges and a trace 1e6 spacings wide takes a few dozen.
constexpr double planeGrowth = 0.5;
// More panels than this on one face is a fault of the mesh: the range check admits no geometry
// that needs them.
constexpr std::size_t panelLimit = 2000;
// A panel leaving less than this part of itself to the face's end covers it.
constexpr double sliver = 1e-3;

std::string pointText(Point p) {
    return "(" + formatted("%.*g", 6, p.real()) + ", " + formatted("%.*g", 6, p.imag()) + ")";
}

struct EndInfo {
    bool corner = false;
    double gap = HUGE_VAL;    // to the nearest face that does not touch this end (or the plane)
    double scale = HUGE_VAL;  // of a corner: the shortest face meeting there, or the gap
};

class FaceRule {
public:
    FaceRule(const CrossSection& section, std::size_t face, const std::vector<Point>& edges)
        : section_(section), face_(section.faces[face].face), index_(face) {
        const double tolerance = 1e-12 * section.size;
        for (const Point edge : edges)
            if (std::abs(edge - face_.start()) > tolerance && std::abs(edge - face_.end()) > tolerance)
                edges_.push_back(edge);
        if (std::isfinite(section.planeSpacing)) allEdges_ = edges;
        ends_[0] = endInfo(face_.start(), face_.startDirection(), section.faces[face].openStart);
        ends_[1] = endInfo(face_.end(), -face_.endDirection(), section.faces[face].openEnd);
    }

    const EndInfo& end(int e) const { return ends_[e]; }

    bool holds(double t0, double t1) const {
        const double length = t1 - t0;
        if (length > longestParameterPanel * (1 + 1e-12)) return false;
        const double faceLength = face_.length();
        for (int e = 0; e < 2; ++e) {
            const double distance = e == 0 ? t0 : pi - t1;  // in t, from the panel to that end
            if (ends_[e].corner) {
                if (length > cornerGrowth * distance) return false;
            } else if (length > meshRatio * (distance + std::sqrt(4 * ends_[e].gap / faceLength))) {
                return false;
            }
        }
        const Anchored a = face_.anchored(t0), b = face_.anchored(t1);
        const double span = std::abs(b - a);
        if (span > section_.planeSpacing && !gradedBetweenPlanes(a, b - a, span)) return false;
        // An edge at least span·(1 + 1/α) from the panel's start lies at least span/α from it.
        const double limit = span * span / (meshRatio * meshRatio);
        const double clear = span * span * (1 + 1 / meshRatio) * (1 + 1 / meshRatio);
        for (const Point edge : edges_) {
            const Point fromStart = Anchored{edge, 0} - a;
            if (std::norm(fromStart) >= clear) continue;
            if (std::norm(fromSegment(fromStart, 0, b - a)) < limit) return false;
        }
        return true;
    }

    // [t0, t1] covered from t0 on by the longest panel that holds, then the next: the rule gets
    // stricter as a panel grows, so the longest is found by bisecting its end.
    void cover(double t0, double t1, std::vector<Panel>& out) const {
        constexpr double shortest = pi * 0x1p-80;
        std::size_t count = 0;
        for (double from = t0; from < t1;) {
            double to = t1;
            if (!holds(from, to)) {
                double good = from + shortest, bad = t1;
                for (int step = 0; step < 64 && bad - good > 1e-6 * (good - from); ++step) {
                    const double mid = (good + bad) / 2;
                    (holds(from, mid) ? good : bad) = mid;
                }
                to = std::min(good, t1);
                // The bisection leaves each panel up to 1e−6 of itself short of its limit: where
                // the face ends just beyond (a quarter arc of four panels of π/4), the rest would be
                // a sliver of 1e−13 of the face with a whole panel's nodes on it. Such a panel runs
                // on to the end, past its limit by less than a thousandth.
                if (t1 - to < sliver * (to - from)) to = t1;
            }
            add(from, to, out);
            from = to;
            if (++count > panelLimit)
                throw RunError("the mesh needs more than " + std::to_string(panelLimit) + " panels on the face from " +
                               pointText(face_.start()) + " to " + pointText(face_.end()) +
                               " (in trace widths); this is a fault of the mesh: please report the input");
        }
    }

    void add(double t0, double t1, std::vector<Panel>& out) const {
        const Anchored a = face_.anchored(t0), b = face_.anchored(t1);
        out.push_back({index_, t0, t1, a, b, (a.z() + b.z()) / 2.0, std::abs(b - a) / 2, 0, 0});
    }

private:
    // Whether a chord a → a + d of length span lies at least (span − b)/planeGrowth from every
    // edge, this face's own ends among them.
    bool gradedBetweenPlanes(const Anchored& a, Point d, double span) const {
        const double reach = (span - section_.planeSpacing) / planeGrowth;
        for (const Point edge : allEdges_)
            if (std::norm(fromSegment(Anchored{edge, 0} - a, 0, d)) < reach * reach) return false;
        return true;
    }

    EndInfo endInfo(Point end, Point inward, bool open) const {
        EndInfo info;
        if (open) return info;  // a cut, not an edge: nothing to refine for
        const double tolerance = 1e-12 * section_.size;
        for (std::size_t k = 0; k < section_.faces.size(); ++k) {
            if (k == index_) continue;
            const Face& other = section_.faces[k].face;
            Point direction;
            if (std::abs(other.start() - end) <= tolerance) {
                direction = other.startDirection();
            } else if (std::abs(other.end() - end) <= tolerance) {
                direction = -other.endDirection();
            } else {
                info.gap = std::min(info.gap, distanceToFace(end, other));
                continue;
            }
            // A face leaving straight on continues this one (a strip's edge on an interface keeps
            // the exponents of a free edge); at any other angle the end is a corner.
            const Point turn = direction / inward;
            if (!(turn.real() < 0 && std::fabs(turn.imag()) <= 1e-9)) info.corner = true;
            info.scale = std::min(info.scale, other.length());
        }
        if (section_.groundPlane) info.gap = std::min(info.gap, std::fabs(end.imag()));
        info.scale = std::min({info.scale, face_.length(), info.gap});
        return info;
    }

    const CrossSection& section_;
    const Face& face_;
    std::size_t index_;
    std::vector<Point> edges_;
    std::vector<Point> allEdges_;  // between two planes: every edge, for the grading
    EndInfo ends_[2];
};

// The parameter distance from a face's end at which the face lies `depth` away from it.
double parameterAtDepth(const Face& face, double depth) {
    return 2 * std::asin(std::sqrt(std::min(depth / face.length(), 0.5)));
}

}  // namespace

double Panel::chord() const { return std::abs(b - a); }

bool Mesh::layered() const {
    return std::any_of(panels.begin(), panels.end(), [](const Panel& p) { return p.innermost; });
}

Mesh conductorMesh(const CrossSection& section, const Mesh& mesh) {
    // The faces of section.inVacuum() are the others in their order; their panels lead the mesh.
    std::vector<std::size_t> index(section.faces.size());
    for (std::size_t f = 0, kept = 0; f < section.faces.size(); ++f) index[f] = section.isInterface(f) ? noFace : kept++;
    Mesh vacuum;
    for (const Panel& panel : mesh.panels) {
        if (index[panel.face] == noFace) break;
        vacuum.panels.push_back(panel);
        vacuum.panels.back().face = index[panel.face];
    }
    return vacuum;
}

std::size_t Mesh::panelsOn(std::size_t face) const {
    return static_cast<std::size_t>(
        std::count_if(panels.begin(), panels.end(), [face](const Panel& p) { return p.face == face; }));
}

ParameterRange solvedRange(const CrossSection& section, std::size_t face) {
    if (!section.mirrorSymmetric) return {0, pi};
    const Face& f = section.faces[face].face;
    if (section.faces[face].mirror == face) return f.end().real() > 0 ? ParameterRange{pi / 2, pi} : ParameterRange{0, pi / 2};
    assert(f.start().real() * f.end().real() >= 0);  // a face across the mirror maps onto itself
    return f.point(pi / 2).real() > 0 ? ParameterRange{0, pi} : ParameterRange{0, 0};
}

Mesh meshCrossSection(const CrossSection& section, const MeshLevel& level) {
    Mesh mesh;
    // The points where charge concentrates: every end of a face but the cuts and the smooth
    // joins of interfaces (one interface continuing another straight on or tangentially, where
    // nothing is singular).
    std::vector<Point> edges;
    const double tolerance = 1e-12 * section.size;
    for (std::size_t k = 0; k < section.faces.size(); ++k) {
        const SectionFace& f = section.faces[k];
        for (const auto& [p, open, inward] : {std::tuple{f.face.start(), f.openStart, f.face.startDirection()},
                                               std::tuple{f.face.end(), f.openEnd, -f.face.endDirection()}}) {
            if (open) continue;
            // A conductor's outline continuing tangentially (the arcs of a circle) is smooth too.
            bool smooth = true, met = false;
            for (std::size_t j = 0; j < section.faces.size() && smooth; ++j) {
                if (j == k) continue;
                const SectionFace& g = section.faces[j];
                Point direction;
                if (std::abs(g.face.start() - p) <= tolerance) direction = g.face.startDirection();
                else if (std::abs(g.face.end() - p) <= tolerance) direction = -g.face.endDirection();
                else continue;
                met = true;
                const Point turn = direction / inward;
                smooth = g.conductor == f.conductor && turn.real() < 0 && std::fabs(turn.imag()) <= 1e-9;
            }
            if (smooth && met) continue;
            edges.push_back(p);
            if (section.groundPlane) edges.push_back(std::conj(p));
        }
    }
    // The conductors' faces first, then the interfaces: the conductors' unknowns lead every
    // system, so that the system in vacuum is its leading block (conductorMesh).
    std::vector<std::size_t> order;
    for (const bool interfaces : {false, true})
        for (std::size_t k = 0; k < section.faces.size(); ++k)
            if (section.isInterface(k) == interfaces) order.push_back(k);
    for (const std::size_t k : order) {
        ParameterRange range = solvedRange(section, k);
        if (range.t0 == range.t1) continue;
        const FaceRule rule(section, k, edges);
        const Face& face = section.faces[k].face;
        // Corners get their innermost layer first; the cover grows from it.
        std::vector<Panel> panels, last;
        double innermost[2] = {0, 0};
        if (range.t0 == 0 && rule.end(0).corner) {
            const double t = std::min(parameterAtDepth(face, level.cornerDepth * rule.end(0).scale), pi / 8);
            rule.add(0, t, panels);
            panels.back().innermost = true;
            range.t0 = innermost[0] = t;
        }
        if (range.t1 == pi && rule.end(1).corner) {
            const double t = std::min(parameterAtDepth(face, level.cornerDepth * rule.end(1).scale), pi / 8);
            rule.add(pi - t, pi, last);
            last.back().innermost = true;
            range.t1 = pi - (innermost[1] = t);
        }
        rule.cover(range.t0, range.t1, panels);
        panels.insert(panels.end(), last.begin(), last.end());
        // The order: 3 + the number of layers between a panel and the corner, at most the rung's.
        for (Panel& panel : panels) {
            std::size_t order = level.order;
            for (int e = 0; e < 2; ++e) {
                if (innermost[e] == 0) continue;
                const double distance = e == 0 ? panel.t0 : pi - panel.t1;
                const double layers = distance <= 0 ? 0 : 1 + std::floor(std::log(distance / innermost[e]) / std::log(1 + cornerGrowth) + 1e-9);
                order = std::min(order, static_cast<std::size_t>(3 + std::max(layers, 0.0)));
            }
            panel.order = order;
        }
        mesh.panels.insert(mesh.panels.end(), panels.begin(), panels.end());
    }
    std::size_t first = 0;
    for (Panel& panel : mesh.panels) {
        panel.first = first;
        first += panel.order;
    }
    return mesh;
}

}  // namespace plattor
