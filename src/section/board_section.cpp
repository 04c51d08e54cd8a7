#include "section/board_section.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>
#include <vector>

#include "section/coating_outline.hpp"

namespace plattor {

namespace {

constexpr double pi = std::numbers::pi;

// How far the infinitely wide layers and grounds are taken, in sizes of the arrangement. Over
// one plane the field of a line falls like a dipole's: the charge a layer carries beyond x falls
// like 1/x and acts back on the traces like a dipole layer. Cut at 1e2, 1e3, 1e4 and 1e5 sizes a
// thin microstrip's capacitance (w = h, εr 4.3) lies 2.5e−8, 2.7e−11, 9e−14 and 7e−15 of itself
// from the one cut at 1e7; at 1e3 a thick pair under a mask, a cover, coplanar lines with
// unlimited grounds and strips 0.01 and 100 times the height wide lie within 3e−11 of the cut at
// 1e5, far below the 5e−9 every bar carries for the quadrature, and every face out there takes
// two or three panels fewer than at 1e4. In the open (no plane) the cut matters more: a pair
// beside two ground traces on a slab moves by 1e−9 cut at 1e3 and by 8e−11 at 1e4, where the
// layers are taken.
constexpr double farOverPlane = 1e3;
constexpr double farInTheOpen = 1e4;
// Between two planes the field falls like e^(−π·x/b): 12 spacings beyond the conductors, e^(−37).
constexpr double farBetweenPlanes = 12.0;

Point mirrored(Point p) { return -std::conj(p); }

// A conductor in the section's units: a quadrilateral b0, b1, t1, t0 (counter-clockwise from
// the bottom left; of zero thickness the strip b0 → b1), a circle, or a polygon.
struct Body {
    ConductorShape shape;
    Point b0, b1, t1, t0;
    bool thin = false;
    bool openLeft = false, openRight = false;  // a side left out: taken to the far end
    Point centre;
    double radius = 0.0, innerRadius = 0.0;
    Outline points;

    // The faces of its outline, counter-clockwise: the conductor on the left of each.
    std::vector<Face> faces() const {
        std::vector<Face> out;
        switch (shape) {
            case ConductorShape::trace:
                out.push_back(Face::line(b0, b1));
                if (thin) break;
                if (!openRight) out.push_back(Face::line(b1, t1));
                out.push_back(Face::line(t1, t0));
                if (!openLeft) out.push_back(Face::line(t0, b0));
                break;
            case ConductorShape::circle: {
                // Four quarters from the lowest point, each less than half a turn; a tube's
                // hollow the other way round.
                const auto quarters = [&](double r, double sense) {
                    Point from = centre + Point(0, -r);
                    for (const Point to : {centre + sense * r, centre + Point(0, r), centre - sense * r, from}) {
                        out.push_back(Face::arc(centre, from, to, sense));
                        from = to;
                    }
                };
                quarters(radius, 1);
                if (innerRadius > 0) quarters(innerRadius, -1);
                break;
            }
            case ConductorShape::polygon:
                for (std::size_t k = 0; k < points.size(); ++k)
                    out.push_back(Face::line(points[k], points[(k + 1) % points.size()]));
                break;
        }
        return out;
    }

    Outline outline() const { return shape == ConductorShape::polygon ? points : Outline{b0, b1, t1, t0}; }

    // The closed interval of x where the line at height y meets the conductor: false where it
    // does not. (A polygon's several intervals are covered by their hull: a line never runs
    // through a conductor's hollow, the layers being flat and conductors solid.)
    bool meets(double y, double& x0, double& x1) const {
        switch (shape) {
            case ConductorShape::trace: {
                if (y < b0.imag() || y > t0.imag()) return false;
                if (y == b0.imag()) return x0 = b0.real(), x1 = b1.real(), true;
                if (y == t0.imag()) return x0 = t0.real(), x1 = t1.real(), true;
                const double u = (y - b0.imag()) / (t0.imag() - b0.imag());
                x0 = b0.real() + u * (t0.real() - b0.real());
                x1 = b1.real() + u * (t1.real() - b1.real());
                return true;
            }
            case ConductorShape::circle: {
                const double dy = y - centre.imag();
                if (std::fabs(dy) > radius) return false;
                const double half = std::sqrt(radius * radius - dy * dy);
                return x0 = centre.real() - half, x1 = centre.real() + half, true;
            }
            case ConductorShape::polygon: {
                bool met = false;
                for (std::size_t k = 0; k < points.size(); ++k) {
                    const Point a = points[k], b = points[(k + 1) % points.size()];
                    if ((a.imag() - y) * (b.imag() - y) > 0) continue;
                    double lo, hi;
                    if (a.imag() == b.imag()) {
                        lo = std::min(a.real(), b.real()), hi = std::max(a.real(), b.real());
                    } else {
                        lo = hi = a.real() + (y - a.imag()) / (b.imag() - a.imag()) * (b.real() - a.real());
                    }
                    x0 = met ? std::min(x0, lo) : lo;
                    x1 = met ? std::max(x1, hi) : hi;
                    met = true;
                }
                return met;
            }
        }
        return false;
    }

    // The extent of its finite part.
    double farthestX() const {
        double x = 0.0;
        for (const Point p : extentPoints())
            if (std::isfinite(p.real())) x = std::max(x, std::fabs(p.real()));
        return x;
    }
    double highest() const {
        double y = 0.0;
        for (const Point p : extentPoints()) y = std::max(y, std::fabs(p.imag()));
        return y;
    }
    std::vector<Point> extentPoints() const {
        switch (shape) {
            case ConductorShape::trace: {
                std::vector<Point> p;
                for (const Point q : {b0, b1, t1, t0})
                    if (std::isfinite(q.real())) p.push_back(q);
                return p;
            }
            case ConductorShape::circle:
                return {centre + radius, centre - radius, centre + Point(0, radius), centre - Point(0, radius)};
            case ConductorShape::polygon: return points;
        }
        return {};
    }
};

// The conductor in the section's units (lengths divided by `unit`); a trace taken to the edge
// reaches x = ±∞ until `far` is known.
Body bodyOf(const BoardConductor& c, double unit) {
    Body body{c.shape, {}, {}, {}, {}};
    const double x = c.x / unit, y = c.y / unit, t = c.thickness / unit;
    switch (c.shape) {
        case ConductorShape::trace:
            if (c.toEdge != 0) {
                const double inf = HUGE_VAL, x0 = c.toEdge > 0 ? x : -inf, x1 = c.toEdge > 0 ? inf : x;
                body.b0 = {x0, y}, body.b1 = {x1, y}, body.t1 = {x1, y + t}, body.t0 = {x0, y + t};
                body.openLeft = c.toEdge < 0, body.openRight = c.toEdge > 0;
            } else {
                const double w = c.bottomWidth / unit, inset = (c.bottomWidth - c.topWidth) / unit / 2;
                const double x0 = x - w / 2, x1 = x0 + w;
                body.b0 = {x0, y}, body.b1 = {x1, y}, body.t1 = {x1 - inset, y + t}, body.t0 = {x0 + inset, y + t};
            }
            body.thin = t == 0;
            break;
        case ConductorShape::circle:
            body.centre = {x, y};
            body.radius = c.radius / unit;
            body.innerRadius = c.innerRadius / unit;
            break;
        case ConductorShape::polygon:
            for (const Point p : c.points) body.points.push_back(p / unit);
            break;
    }
    return body;
}

void reachFar(Body& body, double far) {
    for (Point* p : {&body.b0, &body.b1, &body.t1, &body.t0})
        if (std::isinf(p->real())) *p = {std::copysign(far, p->real()), p->imag()};
}

// Whether two conductors are each other's image under x → −x, to the rounding of their lengths.
bool images(const BoardConductor& a, const BoardConductor& b) {
    if (a.shape != b.shape || a.signal != b.signal) return false;
    const double scale = std::max({std::fabs(a.x), std::fabs(a.y), a.bottomWidth, a.thickness, a.radius, 1e-300});
    const auto same = [&](double u, double v) { return std::fabs(u - v) <= 1e-12 * scale; };
    switch (a.shape) {
        case ConductorShape::trace:
            return a.toEdge == -b.toEdge && same(a.x, -b.x) && same(a.y, b.y) && same(a.thickness, b.thickness) &&
                   (a.toEdge != 0 || (same(a.bottomWidth, b.bottomWidth) && same(a.topWidth, b.topWidth)));
        case ConductorShape::circle:
            return same(a.x, -b.x) && same(a.y, b.y) && same(a.radius, b.radius) && same(a.innerRadius, b.innerRadius);
        case ConductorShape::polygon: {
            // The image of a counter-clockwise polygon, reversed to run counter-clockwise again.
            const std::size_t n = a.points.size();
            if (b.points.size() != n) return false;
            for (std::size_t shift = 0; shift < n; ++shift) {
                bool all = true;
                for (std::size_t k = 0; k < n && all; ++k) {
                    const Point p = mirrored(a.points[(n - k) % n]), q = b.points[(k + shift) % n];
                    all = same(p.real(), q.real()) && same(p.imag(), q.imag());
                }
                if (all) return true;
            }
            return false;
        }
    }
    return false;
}

// Each conductor's image among the board's conductors, or none.
std::vector<std::size_t> conductorImages(const Board& board) {
    std::vector<std::size_t> image(board.conductors.size(), noConductor);
    for (std::size_t i = 0; i < board.conductors.size(); ++i)
        for (std::size_t j = 0; j < board.conductors.size() && image[i] == noConductor; ++j)
            if (images(board.conductors[i], board.conductors[j])) image[i] = j;
    return image;
}

// Where the section takes its faces: with mirror symmetry only those right of x = 0 (with their
// images) and those across it.
class Builder {
public:
    Builder(CrossSection& section, double far, double near) : section_(section), far_(far), near_(near) {}

    // A face of conductor c (noConductor: an interface) whose image belongs to `image`.
    void add(const Face& face, std::size_t c, std::size_t image) {
        const std::size_t first = section_.faces.size();
        if (!section_.mirrorSymmetric) {
            section_.add(face, c);
        } else {
            const Point a = face.start(), b = face.end();
            const double tolerance = 1e-12 * std::max(std::abs(a), std::abs(b));
            if (std::abs(a - mirrored(b)) <= tolerance && !face.isArc())
                section_.addSymmetric(face, c);
            else if (face.point(pi / 2).real() > 0 && a.real() >= 0 && b.real() >= 0)
                section_.addMirrorPair(face, c, image);
            // else: left of x = 0, the image of a face added from the right
        }
        for (std::size_t k = first; k < section_.faces.size(); ++k) section_.markOpenEnds(k, far_, near_);
    }

    // A horizontal line at height y over the board's width less the intervals conductors occupy
    // there: an interface, or (conductor given) a plane's sheet; none where the regions on the
    // interface's two sides have one permittivity.
    void addLine(double y, std::vector<std::pair<double, double>> occupied, std::size_t conductor = noConductor) {
        std::sort(occupied.begin(), occupied.end());
        const bool mirror = section_.mirrorSymmetric;
        double from = mirror ? near_ : -far_;
        const auto piece = [&](double x0, double x1) {
            const std::size_t first = section_.faces.size();
            if (mirror && x0 == 0.0) {
                // Across the mirror: one face symmetric about it, a plane's from right to left.
                if (conductor == noConductor)
                    section_.addSymmetric(Face::line({-x1, y}, {x1, y}), conductor);
                else
                    section_.addSymmetric(Face::line({x1, y}, {-x1, y}), conductor);
            } else if (mirror) {
                section_.addMirrorPair(Face::line({x0, y}, {x1, y}), conductor, conductor);
            } else {
                section_.add(Face::line({x0, y}, {x1, y}), conductor);
            }
            for (std::size_t k = first; k < section_.faces.size(); ++k) section_.markOpenEnds(k, far_, near_);
        };
        for (const auto& [x0, x1] : occupied) {
            if (x1 <= from) continue;
            if (x0 > from) piece(from, x0);
            from = std::max(from, x1);
        }
        if (from < far_) piece(from, far_);
    }

private:
    CrossSection& section_;
    double far_, near_;
};

}  // namespace

bool mirrorSymmetric(const Board& board) {
    const std::vector<std::size_t> image = conductorImages(board);
    if (std::find(image.begin(), image.end(), noConductor) != image.end()) return false;
    for (const auto& [a, b] : board.pairs) {
        const std::pair<std::size_t, std::size_t> mapped{image[a], image[b]};
        const bool found = std::any_of(board.pairs.begin(), board.pairs.end(), [&](const auto& p) {
            return (p.first == mapped.first && p.second == mapped.second) ||
                   (p.first == mapped.second && p.second == mapped.first);
        });
        if (!found) return false;
    }
    for (const BoardLayer& layer : board.layers)
        for (const auto& cut : layer.cutouts)
            if (std::none_of(layer.cutouts.begin(), layer.cutouts.end(),
                             [&](const auto& c) { return c.first == -cut.second && c.second == -cut.first; }))
                return false;
    return true;
}

double boardUnit(const Board& board) {
    const auto first = std::find_if(board.conductors.begin(), board.conductors.end(),
                                    [](const BoardConductor& c) { return c.signal; });
    assert(first != board.conductors.end());
    switch (first->shape) {
        case ConductorShape::trace: return first->bottomWidth;
        case ConductorShape::circle: return 2 * first->radius;
        case ConductorShape::polygon: break;
    }
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const Point p : first->points) lo = std::min(lo, p.real()), hi = std::max(hi, p.real());
    return hi - lo;
}

CrossSection boardSection(const Board& board) {
    // Lengths in the first signal conductor's size: the answer is then the same in every unit.
    const double unit = boardUnit(board);
    const std::size_t layerCount = board.layers.size();
    std::vector<double> levels;  // the layers' faces, bottom to top
    for (std::size_t k = 0; k <= layerCount; ++k) levels.push_back(board.layerBottom(k) / unit);
    const double top = levels.back();
    const bool enclosed = board.bottomPlane && board.topPlane;

    CrossSection section;
    section.groundPlane = board.bottomPlane;
    section.mirrorSymmetric = mirrorSymmetric(board);
    const std::vector<std::size_t> image = conductorImages(board);

    std::vector<Body> bodies;
    for (const BoardConductor& c : board.conductors) bodies.push_back(bodyOf(c, unit));
    // The planes inside layers: sheets or slabs over the board's width less their cut-outs.
    struct Plane {
        double y0, y1;
        std::vector<std::pair<double, double>> cutouts;
    };
    std::vector<Plane> planes;
    for (std::size_t k = 0; k < layerCount; ++k) {
        const BoardLayer& layer = board.layers[k];
        if (!layer.plane) continue;
        Plane p{levels[k] + layer.planeHeight / unit, levels[k] + (layer.planeHeight + layer.planeThickness) / unit, {}};
        for (const auto& [x0, x1] : layer.cutouts) p.cutouts.push_back({x0 / unit, x1 / unit});
        std::sort(p.cutouts.begin(), p.cutouts.end());
        planes.push_back(std::move(p));
    }

    // The size of the arrangement itself, and how far its layers and planes are taken.
    double outer = 0.0, size = top;
    double onTop = 0.0;  // the thickest conductor on the top face
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        outer = std::max(outer, bodies[i].farthestX());
        size = std::max(size, bodies[i].highest());
        if (board.conductors[i].shape == ConductorShape::trace && bodies[i].b0.imag() == top)
            onTop = std::max(onTop, bodies[i].t0.imag() - top);
    }
    for (const Plane& p : planes)
        for (const auto& [x0, x1] : p.cutouts) outer = std::max({outer, std::fabs(x0), std::fabs(x1)});
    const BoardCoating* coating = board.coating.empty() ? nullptr : &board.coating.front();
    const double mask = coating ? coating->thickness / unit : 0.0, maskTop = coating ? coating->thicknessOver / unit : 0.0;
    if (coating) size = std::max(size, std::max(mask, maskTop) + top + onTop);
    size = std::max(size, outer);
    section.size = 2 * size;
    const double reach = enclosed ? farBetweenPlanes * top : 0.0;
    const double far = enclosed ? outer + reach : (board.bottomPlane ? farOverPlane : farInTheOpen) * size;
    for (Body& b : bodies) reachFar(b, far);
    // Between two planes conductors further apart than twice the field's reach on either side of
    // the mirror leave the layers and the upper plane out between them, where no field is left.
    double near = 0.0;
    if (enclosed && section.mirrorSymmetric && planes.empty()) {
        double inner = HUGE_VAL;
        for (const Body& b : bodies) {
            double lo = HUGE_VAL, hi = -HUGE_VAL;
            for (const Point p : b.extentPoints()) lo = std::min(lo, p.real()), hi = std::max(hi, p.real());
            inner = lo <= 0 && hi >= 0 ? 0.0 : std::min({inner, std::fabs(lo), std::fabs(hi)});
        }
        if (inner > 2 * reach) near = inner - reach;
    }
    if (enclosed) section.planeSpacing = top;

    // What lies where: the conductors, the layers (the top one on up to the upper plane and
    // beyond it), the coating over the top face and the conductors on it.
    Regions& regions = section.regions;
    std::vector<Outline> coated;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const Body& b = bodies[i];
        if (b.shape == ConductorShape::circle)
            regions.circles.push_back({b.centre, b.radius, b.innerRadius});
        else
            regions.conductors.push_back(b.outline());
        if (b.shape == ConductorShape::trace && b.b0.imag() == top) coated.push_back(b.outline());
    }
    for (const Plane& p : planes) {
        double from = -far;
        for (const auto& [x0, x1] : p.cutouts) {
            if (p.y1 > p.y0) regions.conductors.push_back({{from, p.y0}, {x0, p.y0}, {x0, p.y1}, {from, p.y1}});
            from = x1;
        }
        if (p.y1 > p.y0) regions.conductors.push_back({{from, p.y0}, {far, p.y0}, {far, p.y1}, {from, p.y1}});
    }
    for (std::size_t k = 0; k < layerCount; ++k) {
        const double y1 = k + 1 == layerCount && board.topPlane ? HUGE_VAL : levels[k + 1];
        regions.dielectrics.push_back(DielectricRegion::layer(board.layers[k].er, levels[k], y1));
        regions.dielectrics.back().lossTangent = board.layers[k].tanDelta;
    }
    if (coating) {
        regions.dielectrics.push_back(DielectricRegion::coatingOf(coating->er, top, mask, maskTop, coated));
        regions.dielectrics.back().lossTangent = coating->tanDelta;
    }

    // The conductors: signals with the roles of a line's modes where they are one trace or a
    // pair of images, else each of role signal; grounds at 0 V.
    std::vector<std::size_t> signals;
    for (std::size_t i = 0; i < board.conductors.size(); ++i)
        if (board.conductors[i].signal) signals.push_back(i);
    const bool single = signals.size() == 1;
    const bool pair = signals.size() == 2 && section.mirrorSymmetric && image[signals[0]] == signals[1] &&
                      board.pairs.size() == 1;
    std::vector<std::size_t> index(board.conductors.size());
    for (std::size_t i = 0; i < board.conductors.size(); ++i) {
        ConductorRole role = ConductorRole::ground;
        if (board.conductors[i].signal)
            role = single ? ConductorRole::single
                   : pair ? (bodies[i].extentPoints().front().real() < 0 ? ConductorRole::left : ConductorRole::right)
                          : ConductorRole::signal;
        index[i] = section.addConductor(role);
    }

    Builder builder(section, far, near);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const std::size_t c = index[i], mirror = image[i] == noConductor ? c : index[image[i]];
        for (const Face& f : bodies[i].faces()) builder.add(f, c, mirror);
    }
    // The planes inside layers, each one ground.
    for (const Plane& p : planes) {
        const std::size_t ground = section.addConductor(ConductorRole::ground);
        std::vector<std::pair<double, double>> gaps = p.cutouts;
        if (p.y1 == p.y0) {
            builder.addLine(p.y0, gaps, ground);
            continue;
        }
        double from = -far;
        gaps.push_back({far, far});
        for (const auto& [x0, x1] : gaps) {
            Body slab{ConductorShape::trace, {from, p.y0}, {x0, p.y0}, {x0, p.y1}, {from, p.y1}};
            slab.openLeft = from == -far, slab.openRight = x0 == far;
            if (x0 > from)
                for (const Face& f : slab.faces()) builder.add(f, ground, ground);
            from = x1;
        }
    }
    // The layers' faces, bottom to top, less where conductors lie on them or run through them;
    // the bottom face where no plane is there, the top face where no plane is there.
    const auto occupiedAt = [&](double y) {
        std::vector<std::pair<double, double>> occupied;
        for (const Body& b : bodies) {
            double x0, x1;
            if (b.meets(y, x0, x1)) occupied.push_back({x0, x1});
        }
        for (const Plane& p : planes)
            if (p.y0 <= y && y <= p.y1) {
                double from = -far;
                for (const auto& [x0, x1] : p.cutouts) occupied.push_back({from, x0}), from = x1;
                occupied.push_back({from, far});
            }
        return occupied;
    };
    for (std::size_t k = board.bottomPlane ? 1 : 0; k <= layerCount; ++k) {
        if (k == layerCount && board.topPlane) break;
        if (layerCount == 0) break;
        builder.addLine(levels[k], occupiedAt(levels[k]));
    }
    if (board.topPlane) {
        // The upper plane: a conductor face long enough that the field has died away at its ends.
        const std::size_t plane = section.addConductor(ConductorRole::ground);
        builder.addLine(top, {}, plane);
    }
    if (coating) {
        // The coating's outer boundary: the band over the top face raised over the conductors on
        // it (one of zero thickness only by a coating thicker than the band).
        std::vector<Piece> pieces = {{section.mirrorSymmetric ? 0.0 : -far, far, top + mask, top + mask, false, {}, 0}};
        for (const Body& b : bodies) {
            if (b.shape != ConductorShape::trace || b.b0.imag() != top || (b.thin && !(maskTop > mask))) continue;
            if (!b.openLeft) {
                offsetPieces(b.b0, b.b1, b.t1, b.t0, maskTop, mask, b.openRight, pieces);
                continue;
            }
            // Taken to the left edge: the pieces of its image, mirrored back.
            std::vector<Piece> imaged;
            offsetPieces(mirrored(b.b1), mirrored(b.b0), mirrored(b.t0), mirrored(b.t1), maskTop, mask, true, imaged);
            for (Piece& p : imaged) {
                p = {-p.x1, -p.x0, p.y1, p.y0, p.arc, mirrored(p.centre), p.radius};
                pieces.push_back(p);
            }
        }
        addEnvelope(section, pieces, far, 1e-12 * size);
    }
    return section;
}

Board structureBoard(const Structure& in) {
    const bool strip = in.kind == StructureKind::stripline, coplanar = in.kind == StructureKind::coplanar;
    const double t = orDefault(in.t, 0.0);
    Board board;
    board.topPlane = strip;
    const double tand = orDefault(in.tand, 0.0);
    board.layers.push_back({"substrate", in.h, in.er, tand});
    if (strip) board.layers.push_back({"upper layer", in.b - in.h, orDefault(in.erTop, in.er), orDefault(in.tandTop, tand)});
    if (given(in.cover) && in.cover > 0) board.layers.push_back({"cover", in.cover, in.coverEr, orDefault(in.coverTand, 0.0)});
    if (given(in.mask) && in.mask > 0)
        board.coating.push_back({in.mask, orDefault(in.maskTop, in.mask), in.maskEr, orDefault(in.maskTand, 0.0)});
    const auto trace = [&](const char* name, double x) {
        BoardConductor c;
        c.name = name;
        c.x = x;
        c.y = in.h;
        c.bottomWidth = in.w;
        c.topWidth = orDefault(in.wTop, in.w);
        c.thickness = t;
        return c;
    };
    if (in.isPair()) {
        const double x = in.s / 2 + in.w / 2;
        board.conductors.push_back(trace("left", -x));
        board.conductors.push_back(trace("right", x));
        board.pairs.push_back({0, 1});
    } else {
        board.conductors.push_back(trace("trace", 0.0));
    }
    if (coplanar) {
        const double inner = (in.isPair() ? in.s / 2 + in.w : in.w / 2) + in.g;
        for (const double side : {-1.0, 1.0}) {
            BoardConductor g;
            g.name = side < 0 ? "left ground" : "right ground";
            g.signal = false;
            g.y = in.h;
            g.thickness = t;
            if (given(in.groundWidth)) {
                g.x = side * (inner + in.groundWidth / 2);
                g.bottomWidth = g.topWidth = in.groundWidth;
            } else {
                g.x = side * inner;
                g.toEdge = side < 0 ? -1 : 1;
            }
            board.conductors.push_back(g);
        }
    }
    return board;
}

}  // namespace plattor
