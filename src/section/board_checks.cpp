// A board's cross-section checked: the values of its fields, what refers to what, the geometry
// (exact tests between straight sides and circles), the range of its proportions.
#include "section/board_checks.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/text.hpp"
#include "section/converged_range.hpp"
#include "section/face.hpp"
#include "section/structure_arguments.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// A plane whose top lies within this fraction of its layer's thickness above the layer's top is
// flush with it: a height and a thickness given in decimals add up to the layer's thickness
// only to the rounding (0.065 + 0.035 is not 0.1 in binary).
constexpr double flush = 1e-12;

// (b − a) × (c − a): positive where c lies left of the line from a to b, 0 on it.
double orientation(Point a, Point b, Point c) {
    return (b.real() - a.real()) * (c.imag() - a.imag()) - (b.imag() - a.imag()) * (c.real() - a.real());
}

// Whether p, on the line through a and b, lies on the closed segment ab.
bool withinBox(Point a, Point b, Point p) {
    return std::min(a.real(), b.real()) <= p.real() && p.real() <= std::max(a.real(), b.real()) &&
           std::min(a.imag(), b.imag()) <= p.imag() && p.imag() <= std::max(a.imag(), b.imag());
}

// Whether the closed segments ab and cd have a point in common.
bool segmentsMeet(Point a, Point b, Point c, Point d) {
    const double o1 = orientation(c, d, a), o2 = orientation(c, d, b);
    const double o3 = orientation(a, b, c), o4 = orientation(a, b, d);
    if (((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) && ((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0))) return true;
    return (o1 == 0 && withinBox(c, d, a)) || (o2 == 0 && withinBox(c, d, b)) || (o3 == 0 && withinBox(a, b, c)) ||
           (o4 == 0 && withinBox(a, b, d));
}

// Two segments that do not meet are nearest at an end of one of them.
double segmentDistance(Point a, Point b, Point c, Point d) {
    if (segmentsMeet(a, b, c, d)) return 0.0;
    return std::min({distanceToSegment(a, c, d), distanceToSegment(b, c, d), distanceToSegment(c, a, b),
                     distanceToSegment(d, a, b)});
}

// Whether p lies inside the polygon (crossing number; a point on its sides may count either way).
bool inside(Point p, const std::vector<Point>& polygon) {
    bool in = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point a = polygon[i], b = polygon[j];
        if ((a.imag() > p.imag()) != (b.imag() > p.imag()) &&
            p.real() < a.real() + (b.real() - a.real()) * (p.imag() - a.imag()) / (b.imag() - a.imag()))
            in = !in;
    }
    return in;
}

// Whether the line at height y meets a simple polygon in one piece (or not at all): between two
// neighbouring points where it crosses the sides, the line stays in the polygon.
bool oneInterval(const std::vector<Point>& p, double y) {
    std::vector<double> xs;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const Point a = p[k], b = p[(k + 1) % p.size()];
        if ((a.imag() - y) * (b.imag() - y) > 0) continue;
        if (a.imag() == b.imag()) xs.insert(xs.end(), {a.real(), b.real()});
        else xs.push_back(a.real() + (y - a.imag()) / (b.imag() - a.imag()) * (b.real() - a.real()));
    }
    std::sort(xs.begin(), xs.end());
    for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
        const Point middle{(xs[k] + xs[k + 1]) / 2, y};
        if (xs[k] == xs[k + 1] || inside(middle, p)) continue;
        bool onSide = false;
        for (std::size_t j = 0; j < p.size() && !onSide; ++j)
            onSide = distanceToSegment(middle, p[j], p[(j + 1) % p.size()]) == 0;
        if (!onSide) return false;
    }
    return true;
}

// Twice the signed area of a simple polygon: positive where its corners run counter-clockwise.
double area(const std::vector<Point>& p) {
    double a = 0;
    for (std::size_t i = 1; i + 1 < p.size(); ++i) a += orientation(p[0], p[i], p[i + 1]);
    return a;
}

// What a conductor or a piece of plane occupies: a polygon's corners in order (a strip or a
// sheet of no thickness: its two ends), or a circle where there are none.
struct Outline {
    std::vector<Point> corners;
    Point centre{};
    double radius = 0.0;
    double hollow = 0.0;  // a tube's inner radius

    bool isCircle() const { return corners.empty(); }
    std::size_t sides() const { return corners.size() == 2 ? 1 : corners.size(); }
    Point corner(std::size_t k) const { return corners[k % corners.size()]; }
};

Outline box(double left, double right, double bottom, double top) {
    if (bottom == top) return {{{left, bottom}, {right, bottom}}};
    return {{{left, bottom}, {right, bottom}, {right, top}, {left, top}}};
}

Outline outlineOf(const BoardConductor& c) {
    switch (c.shape) {
        case ConductorShape::trace: {
            const double b = c.bottomWidth / 2, t = c.topWidth / 2, top = c.y + c.thickness;
            // Taken to an edge: to infinity, until the reach of the board is known.
            if (c.toEdge != 0) return box(c.toEdge < 0 ? -infinity : c.x, c.toEdge < 0 ? c.x : infinity, c.y, top);
            if (c.thickness == 0) return {{{c.x - b, c.y}, {c.x + b, c.y}}};
            return {{{c.x - b, c.y}, {c.x + b, c.y}, {c.x + t, top}, {c.x - t, top}}};
        }
        case ConductorShape::circle: return {{}, {c.x, c.y}, c.radius, c.innerRadius};
        case ConductorShape::polygon: return {c.points};
    }
    return {};
}

struct Extent {
    double left, right, bottom, top;
};

Extent extentOf(const Outline& o) {
    if (o.isCircle())
        return {o.centre.real() - o.radius, o.centre.real() + o.radius, o.centre.imag() - o.radius,
                o.centre.imag() + o.radius};
    Extent e{infinity, -infinity, infinity, -infinity};
    for (const Point p : o.corners) {
        e.left = std::min(e.left, p.real()), e.right = std::max(e.right, p.real());
        e.bottom = std::min(e.bottom, p.imag()), e.top = std::max(e.top, p.imag());
    }
    return e;
}

// The distance between two outlines, exact for their sides and circles; 0 where they touch or
// overlap.
double clearance(const Outline& a, const Outline& b) {
    // Within a tube's hollow: the clearance to its inner face (0 where only partly inside).
    if (b.hollow > 0 && !(a.hollow > 0)) {
        double farthest = 0.0;
        if (a.isCircle()) farthest = std::abs(a.centre - b.centre) + a.radius;
        for (const Point p : a.corners) farthest = std::max(farthest, std::abs(p - b.centre));
        double nearest = a.isCircle() ? std::abs(a.centre - b.centre) - a.radius : infinity;
        if (!a.isCircle()) {
            for (std::size_t k = 0; k < a.sides(); ++k)
                nearest = std::min(nearest, distanceToSegment(b.centre, a.corner(k), a.corner(k + 1)));
            if (a.corners.size() > 2 && inside(b.centre, a.corners)) nearest = 0.0;
        }
        if (farthest < b.hollow) return b.hollow - farthest;
        if (nearest < b.hollow) return 0.0;
    }
    if (a.hollow > 0 && !(b.hollow > 0)) return clearance(b, a);
    if (a.isCircle() && b.isCircle()) return std::max(std::abs(a.centre - b.centre) - a.radius - b.radius, 0.0);
    if (a.isCircle()) return clearance(b, a);
    if (b.isCircle()) {
        if (a.corners.size() > 2 && inside(b.centre, a.corners)) return 0.0;
        double d = infinity;
        for (std::size_t k = 0; k < a.sides(); ++k)
            d = std::min(d, distanceToSegment(b.centre, a.corner(k), a.corner(k + 1)));
        return std::max(d - b.radius, 0.0);
    }
    double d = infinity;
    for (std::size_t i = 0; i < a.sides(); ++i)
        for (std::size_t j = 0; j < b.sides(); ++j) {
            d = std::min(d, segmentDistance(a.corner(i), a.corner(i + 1), b.corner(j), b.corner(j + 1)));
            if (d == 0) return 0.0;
        }
    // Sides apart: one lies wholly inside the other, or they are apart.
    if ((a.corners.size() > 2 && inside(b.corners[0], a.corners)) ||
        (b.corners.size() > 2 && inside(a.corners[0], b.corners)))
        return 0.0;
    return d;
}

// A layer's plane: the band it fills, and the pieces of it between its cut-outs.
struct PlaneBand {
    std::string name;
    double bottom, top;
    std::vector<Outline> pieces;
};

class Checker {
public:
    Checker(const Board& board, const std::string& source, const std::string& displayUnit)
        : b_(board), source_(source) {
        if (board.lengthUnit == "m") {
            unit_ = displayUnit.empty() ? "m" : displayUnit;
            metres_ = lengthUnitMetres(unit_);
        }
    }

    void run() {
        counts();
        layers();
        conductors();
        coating();
        pairs();
        roles();
        geometry();
        interfaces();
        proportions();
    }

private:
    [[noreturn]] void refuse(const std::string& why) const { throw RunError(source_ + ": " + why); }

    // A length as its user reads it: bare as given, else in the display unit; one worked out
    // from others (a height reached) to a few digits.
    std::string length(double v) const { return unit_.empty() ? shortestText(v) : numberText(v / metres_) + unit_; }
    std::string derived(double v) const { return numberText(v / metres_) + unit_; }

    std::string layerName(std::size_t k) const {
        const std::string& name = b_.layers[k].name;
        return "layers[" + std::to_string(k) + "]" + (name.empty() ? "" : " (\"" + printableExcerpt(name) + "\")");
    }
    std::string conductorName(std::size_t k) const {
        const std::string& name = b_.conductors[k].name;
        return "conductors[" + std::to_string(k) + "]" + (name.empty() ? "" : " (\"" + printableExcerpt(name) + "\")");
    }

    void positive(double v, const std::string& what) const {
        if (!(v > 0) || !std::isfinite(v)) refuse(what + ": must be positive, got " + length(v));
    }
    void notNegative(double v, const std::string& what) const {
        if (!(v >= 0) || !std::isfinite(v)) refuse(what + ": must not be negative, got " + length(v));
    }
    void finite(double v, const std::string& what) const {
        if (!std::isfinite(v)) refuse(what + ": must be a finite number, got " + shortestText(v));
    }
    void permittivity(double er, const std::string& what) const {
        if (!(er >= 1) || !(er <= largestPermittivity))
            refuse(what + ": must be a relative permittivity from 1 to " + numberText(largestPermittivity) + ", got " +
                   shortestText(er));
    }
    void lossTangent(double tanDelta, const std::string& what) const {
        if (!(tanDelta >= 0) || !std::isfinite(tanDelta))
            refuse(what + ": must be a loss tangent, not negative, got " + shortestText(tanDelta));
    }

    void counts() const {
        if (b_.layers.size() > mostLayers)
            refuse("layers: at most " + std::to_string(mostLayers) + " layers, got " +
                   std::to_string(b_.layers.size()));
        if (b_.conductors.size() > mostConductors)
            refuse("conductors: at most " + std::to_string(mostConductors) + " conductors, got " +
                   std::to_string(b_.conductors.size()));
    }

    void layers() {
        if (b_.topPlane && b_.layers.empty()) refuse("planes: a top plane needs a layer under it");
        for (std::size_t k = 0; k < b_.layers.size(); ++k) {
            const BoardLayer& l = b_.layers[k];
            const std::string path = "layers[" + std::to_string(k) + "]";
            positive(l.thickness, path + ".thickness");
            permittivity(l.er, path + ".er");
            lossTangent(l.tanDelta, path + ".tand");
            for (std::size_t j = 0; j < k; ++j)
                if (!l.name.empty() && l.name == b_.layers[j].name)
                    refuse(path + ".name: \"" + printableExcerpt(l.name) + "\" is also the name of layers[" +
                           std::to_string(j) + "]");
            if (!l.plane) continue;
            notNegative(l.planeHeight, path + ".plane.height");
            notNegative(l.planeThickness, path + ".plane.thickness");
            if (l.planeHeight + l.planeThickness > l.thickness * (1 + flush))
                refuse(path + ".plane: reaches " + derived(l.planeHeight + l.planeThickness) +
                       " above its layer's bottom, beyond the layer's thickness " + length(l.thickness));
            for (std::size_t j = 0; j < l.cutouts.size(); ++j) {
                const auto [x0, x1] = l.cutouts[j];
                const std::string cut = path + ".plane.cutouts[" + std::to_string(j) + "]";
                finite(x0, cut + "[0]");
                finite(x1, cut + "[1]");
                if (!(x0 < x1))
                    refuse(cut + ": its left end must lie left of its right end, got [" + length(x0) + ", " +
                           length(x1) + "]");
                for (std::size_t i = 0; i < j; ++i)
                    if (x0 <= l.cutouts[i].second && l.cutouts[i].first <= x1)
                        refuse(cut + ": overlaps or touches cutouts[" + std::to_string(i) + "]");
            }
            bands_.push_back({path + ".plane", b_.layerBottom(k) + l.planeHeight,
                              std::min(b_.layerBottom(k) + l.planeHeight + l.planeThickness, b_.layerBottom(k + 1)),
                              {}});
        }
        // Two planes that touch are one conductor with a face inside it.
        const double top = b_.layerBottom(b_.layers.size());
        for (std::size_t i = 0; i < bands_.size(); ++i) {
            if (b_.bottomPlane && bands_[i].bottom <= 0) refuse(bands_[i].name + ": touches the bottom plane");
            if (b_.topPlane && bands_[i].top >= top) refuse(bands_[i].name + ": touches the top plane");
            if (i > 0 && bands_[i].bottom <= bands_[i - 1].top)
                refuse(bands_[i].name + ": touches " + bands_[i - 1].name);
        }
    }

    void conductors() const {
        for (std::size_t k = 0; k < b_.conductors.size(); ++k) {
            const BoardConductor& c = b_.conductors[k];
            const std::string path = "conductors[" + std::to_string(k) + "]";
            for (std::size_t j = 0; j < k; ++j)
                if (!c.name.empty() && c.name == b_.conductors[j].name)
                    refuse(path + ": the name \"" + printableExcerpt(c.name) + "\" is also the name of conductors[" +
                           std::to_string(j) + "]");
            switch (c.shape) {
                case ConductorShape::trace:
                    finite(c.x, path + ".trace.x");
                    finite(c.y, path + ".trace.y");
                    notNegative(c.thickness, path + ".trace.thickness");
                    if (c.toEdge != 0) {
                        if (c.toEdge != -1 && c.toEdge != 1)
                            refuse(path + ".trace.to_edge: must be -1 (left) or 1 (right), got " +
                                   std::to_string(c.toEdge));
                        // Reaching without end, it would carry charge without end.
                        if (c.signal) refuse(path + ": a trace taken to the board's edge must have the role ground");
                        break;
                    }
                    positive(c.bottomWidth, path + ".trace.bottom_width");
                    positive(c.topWidth, path + ".trace.top_width");
                    if (c.thickness == 0 && c.topWidth != c.bottomWidth)
                        refuse(path + ".trace: a strip of no thickness has one width, got " + length(c.bottomWidth) +
                               " at the bottom and " + length(c.topWidth) + " at the top");
                    break;
                case ConductorShape::circle:
                    finite(c.x, path + ".circle.x");
                    finite(c.y, path + ".circle.y");
                    positive(c.radius, path + ".circle.radius");
                    notNegative(c.innerRadius, path + ".circle.inner_radius");
                    if (!(c.innerRadius < c.radius))
                        refuse(path + ".circle.inner_radius: must be below the radius " + length(c.radius) + ", got " +
                               length(c.innerRadius));
                    break;
                case ConductorShape::polygon:
                    for (std::size_t j = 0; j < c.points.size(); ++j) {
                        finite(c.points[j].real(), path + ".polygon[" + std::to_string(j) + "][0]");
                        finite(c.points[j].imag(), path + ".polygon[" + std::to_string(j) + "][1]");
                    }
                    if (const std::string problem = polygonProblem(c.points); !problem.empty())
                        refuse(path + ".polygon: " + problem);
                    if (!(area(c.points) > 0))
                        refuse(path + ".polygon: its corners run clockwise; a board's polygon runs counter-clockwise");
                    break;
            }
        }
    }

    void coating() const {
        if (b_.coating.empty()) return;
        if (b_.coating.size() > 1) refuse("coating: at most one, got " + std::to_string(b_.coating.size()));
        const BoardCoating& c = b_.coating.front();
        positive(c.thickness, "coating.thickness");
        positive(c.thicknessOver, "coating.over");
        permittivity(c.er, "coating.er");
        lossTangent(c.tanDelta, "coating.tand");
        if (b_.layers.empty()) refuse("coating: needs a layer to lie on");
        if (b_.topPlane) refuse("coating: the stack's top face, where a coating lies, carries the top plane");
    }

    void pairs() const {
        for (std::size_t k = 0; k < b_.pairs.size(); ++k) {
            const std::string path = "pairs[" + std::to_string(k) + "]";
            const std::size_t ends[2] = {b_.pairs[k].first, b_.pairs[k].second};
            for (int side = 0; side < 2; ++side) {
                const std::string end = path + "[" + std::to_string(side) + "]";
                if (ends[side] >= b_.conductors.size()) refuse(end + ": no conductor " + std::to_string(ends[side]));
                const std::string name = std::string("\"") + printableExcerpt(b_.conductors[ends[side]].name) + "\"";
                if (!b_.conductors[ends[side]].signal) refuse(end + ": " + name + " is not a signal conductor");
                for (std::size_t l = 0; l < k; ++l)
                    if (b_.pairs[l].first == ends[side] || b_.pairs[l].second == ends[side])
                        refuse(end + ": " + name + " is already in pairs[" + std::to_string(l) + "]");
            }
            if (ends[0] == ends[1])
                refuse(path + ": pairs two distinct conductors, got \"" +
                       printableExcerpt(b_.conductors[ends[0]].name) + "\" twice");
        }
    }

    void roles() const {
        if (b_.signalCount() == 0) refuse("needs a signal conductor (one whose role is signal)");
        bool reference = b_.bottomPlane || b_.topPlane || !bands_.empty();
        for (const BoardConductor& c : b_.conductors) reference = reference || !c.signal;
        if (!reference) refuse("needs a reference: a plane or a conductor with role ground");
    }

    void geometry() {
        top_ = b_.layerBottom(b_.layers.size());
        // The pieces of each layer's plane, its outer ones reaching beyond every conductor and
        // cut-out: past them a plane is as good as infinite for these tests.
        double reach = 0;
        for (const BoardConductor& c : b_.conductors) {
            outlines_.push_back(outlineOf(c));
            const Extent e = extentOf(outlines_.back());
            extents_.push_back(e);
            for (const double x : {e.left, e.right})
                if (std::isfinite(x)) reach = std::max(reach, std::fabs(x));
        }
        for (const BoardLayer& l : b_.layers)
            for (const auto& [x0, x1] : l.cutouts) reach = std::max({reach, std::fabs(x0), std::fabs(x1)});
        reach *= 2;
        // Conductors taken to an edge end there too.
        for (Outline& o : outlines_)
            for (Point& p : o.corners)
                if (std::isinf(p.real())) p = {std::copysign(reach, p.real()), p.imag()};
        std::size_t band = 0;
        for (const BoardLayer& l : b_.layers) {
            if (!l.plane) continue;
            PlaneBand& p = bands_[band++];
            std::vector<std::pair<double, double>> cuts = l.cutouts;
            std::sort(cuts.begin(), cuts.end());
            double left = -reach;
            for (const auto& [x0, x1] : cuts) {
                p.pieces.push_back(box(left, x0, p.bottom, p.top));
                left = x1;
            }
            p.pieces.push_back(box(left, reach, p.bottom, p.top));
        }

        for (std::size_t k = 0; k < b_.conductors.size(); ++k) {
            const Extent& e = extents_[k];
            if (b_.bottomPlane && !(e.bottom > 0))
                refuse(conductorName(k) + ": reaches down to y = " + derived(e.bottom) +
                       ", not above the bottom plane at y = 0");
            if (b_.topPlane && !(e.top < top_))
                refuse(conductorName(k) + ": reaches up to y = " + derived(e.top) +
                       ", not below the top plane at y = " + derived(top_));
            for (const PlaneBand& p : bands_)
                if (planeClearance(k, p) == 0) refuse(conductorName(k) + ": touches or crosses " + p.name);
            // A tube's hollow is one region: no layer's face runs through it.
            const BoardConductor& c = b_.conductors[k];
            if (c.shape == ConductorShape::circle && c.innerRadius > 0 && !b_.layers.empty())
                for (std::size_t layer = 0; layer <= b_.layers.size(); ++layer) {
                    const double y = b_.layerBottom(layer);
                    if ((layer > 0 || !b_.bottomPlane) && std::fabs(y - c.y) < c.radius)
                        refuse(conductorName(k) + ": the face of the layers at y = " + derived(y) +
                               " runs through the tube; a tube lies within one layer");
                }
            for (std::size_t j = 0; j < k; ++j)
                if (clearance(outlines_[k], outlines_[j]) == 0)
                    refuse(conductorName(k) + ": overlaps or touches " + conductorName(j));
        }
    }

    // A layer's face is cut where it meets a conductor, across the whole extent met: in a
    // polygon's notch a face that is there would be left out. (No face runs through a tube.)
    void interfaces() const {
        if (b_.layers.empty()) return;
        std::vector<std::pair<double, std::string>> faces;
        for (std::size_t k = 0; k <= b_.layers.size(); ++k)
            faces.push_back({b_.layerBottom(k), k == 0 ? "the bottom face of " + layerName(0)
                                                       : "the top face of " + layerName(k - 1)});
        if (!b_.coating.empty()) faces.push_back({top_ + b_.coating.front().thickness, "the coating's outer face"});
        for (std::size_t k = 0; k < b_.conductors.size(); ++k) {
            const BoardConductor& c = b_.conductors[k];
            if (c.shape != ConductorShape::polygon) continue;
            for (const auto& [y, face] : faces) {
                if (y > extents_[k].bottom && y < extents_[k].top && !oneInterval(c.points, y))
                    refuse(conductorName(k) + ": " + face + " crosses the polygon more than once; a layer's face " +
                           "may cross a polygon only where it meets it in one piece");
            }
        }
    }

    double planeClearance(std::size_t k, const PlaneBand& p) const {
        double d = infinity;
        for (const Outline& piece : p.pieces) d = std::min(d, clearance(outlines_[k], piece));
        return d;
    }

    // Every length that shapes the field and every clearance the mesh resolves, within the
    // resolved range of each other: the conductors' sizes first (the first trace's width is
    // what a ratio is named against), then the stack's, then the clearances.
    void proportions() const {
        std::vector<NamedLength> lengths;
        for (std::size_t k = 0; k < b_.conductors.size(); ++k) {
            const BoardConductor& c = b_.conductors[k];
            const std::string of = " of " + conductorName(k);
            switch (c.shape) {
                case ConductorShape::trace:
                    if (c.toEdge == 0) lengths.push_back({"bottom width" + of, c.bottomWidth});
                    if (c.toEdge == 0 && c.topWidth != c.bottomWidth) lengths.push_back({"top width" + of, c.topWidth});
                    lengths.push_back({"thickness" + of, c.thickness});
                    break;
                case ConductorShape::circle:
                    lengths.push_back({"radius" + of, c.radius});
                    lengths.push_back({"inner radius" + of, c.innerRadius});
                    if (c.innerRadius > 0) lengths.push_back({"wall of " + conductorName(k), c.radius - c.innerRadius});
                    break;
                case ConductorShape::polygon: {
                    const Extent& e = extents_[k];
                    lengths.push_back({"size" + of, std::max(e.right - e.left, e.top - e.bottom)});
                    double shortest = infinity;
                    for (std::size_t j = 0; j < c.points.size(); ++j)
                        shortest = std::min(shortest, std::abs(c.points[(j + 1) % c.points.size()] - c.points[j]));
                    lengths.push_back({"shortest side" + of, shortest});
                    break;
                }
            }
        }
        std::size_t band = 0;
        for (std::size_t k = 0; k < b_.layers.size(); ++k) {
            const BoardLayer& l = b_.layers[k];
            lengths.push_back({"thickness of " + layerName(k), l.thickness});
            if (!l.plane) continue;
            const PlaneBand& p = bands_[band++];
            lengths.push_back({"thickness of " + p.name, l.planeThickness});
            lengths.push_back({"height of " + p.name + " over its layer's bottom", l.planeHeight});
            lengths.push_back({"gap between " + p.name + " and its layer's top", b_.layerBottom(k + 1) - p.top});
            for (std::size_t j = 0; j < l.cutouts.size(); ++j)
                lengths.push_back({"width of " + p.name + ".cutouts[" + std::to_string(j) + "]",
                                   l.cutouts[j].second - l.cutouts[j].first});
            // The outer pieces are infinite; those between two cut-outs are strips of plane.
            for (std::size_t j = 1; j + 1 < p.pieces.size(); ++j)
                lengths.push_back({"width of " + p.name + " between two cut-outs",
                                   p.pieces[j].corners[1].real() - p.pieces[j].corners[0].real()});
        }
        if (!b_.coating.empty()) {
            lengths.push_back({"thickness of the coating", b_.coating.front().thickness});
            lengths.push_back({"thickness of the coating over the conductors", b_.coating.front().thicknessOver});
        }
        // Each conductor's clearance to its nearest neighbour, and to the planes it faces: the
        // nearest below and above, and those it passes through in a cut-out.
        const std::size_t n = b_.conductors.size();
        std::vector<std::size_t> nearest(n, n);
        for (std::size_t k = 0; k < n; ++k) {
            double d = infinity;
            for (std::size_t j = 0; j < n; ++j)
                if (const double c = j == k ? infinity : clearance(outlines_[k], outlines_[j]); c < d)
                    d = c, nearest[k] = j;
            if (nearest[k] < n && !(nearest[nearest[k]] == k && nearest[k] < k))
                lengths.push_back({"clearance between " + conductorName(std::min(k, nearest[k])) + " and " +
                                       conductorName(std::max(k, nearest[k])),
                                   d});
        }
        for (std::size_t k = 0; k < n; ++k) {
            const Extent& e = extents_[k];
            const std::string between = "clearance between " + conductorName(k) + " and ";
            double below = b_.bottomPlane ? 0 : -infinity, above = b_.topPlane ? top_ : infinity;
            const PlaneBand *under = nullptr, *over = nullptr;
            for (const PlaneBand& p : bands_) {
                if (p.top < e.bottom && p.top > below) below = p.top, under = &p;
                else if (p.bottom > e.top && p.bottom < above) above = p.bottom, over = &p;
                else if (p.top >= e.bottom && p.bottom <= e.top)
                    lengths.push_back({between + p.name, planeClearance(k, p)});
            }
            if (under) lengths.push_back({between + under->name, planeClearance(k, *under)});
            else if (b_.bottomPlane) lengths.push_back({between + "the bottom plane", e.bottom});
            if (over) lengths.push_back({between + over->name, planeClearance(k, *over)});
            else if (b_.topPlane) lengths.push_back({between + "the top plane", top_ - e.top});
        }
        if (const std::string problem = ratioOutOfRange(lengths, "plattor-lines"); !problem.empty()) refuse(problem);
    }

    const Board& b_;
    const std::string& source_;
    std::string unit_;  // "" for bare lengths
    double metres_ = 1.0;
    std::vector<PlaneBand> bands_;  // the layers' planes, bottom to top
    std::vector<Outline> outlines_;
    std::vector<Extent> extents_;
    double top_ = 0.0;  // the stack's top face
};

}  // namespace

std::string polygonProblem(const std::vector<Point>& p) {
    const std::size_t n = p.size();
    if (n < 3) return "needs at least 3 corners, got " + std::to_string(n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (p[i] == p[j]) return "corners " + std::to_string(i) + " and " + std::to_string(j) + " coincide";
    // Side k runs from corner k to the next. Sides that share no corner must not meet; two that
    // share one must not double back along each other.
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const std::string sides = "the sides from corners " + std::to_string(i) + " and " + std::to_string(j);
            const bool next = j == i + 1, last = i == 0 && j == n - 1;
            if (!next && !last) {
                if (segmentsMeet(p[i], p[i + 1], p[j], p[(j + 1) % n])) return sides + " cross or touch";
                continue;
            }
            const Point shared = next ? p[j] : p[0], u = next ? p[i] : p[1], v = next ? p[(j + 1) % n] : p[n - 1];
            const Point du = u - shared, dv = v - shared;
            if (orientation(shared, u, v) == 0 && du.real() * dv.real() + du.imag() * dv.imag() > 0)
                return sides + " overlap";
        }
    return {};
}

void checkBoard(const Board& board, const std::string& source, const std::string& displayUnit) {
    Checker(board, source, displayUnit).run();
}

}  // namespace plattor
