#include "section/structures.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "base/error.hpp"
#include "base/text.hpp"
#include "section/converged_range.hpp"

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

const std::vector<StructureOption> options = {
    {"w", &Structure::w, true, "trace width"},
    {"w-top", &Structure::wTop, true, "trace's top width"},
    {"t", &Structure::t, true, "trace thickness"},
    {"s", &Structure::s, true, "gap between the traces"},
    {"h", &Structure::h, true, "height"},
    {"b", &Structure::b, true, "spacing of the planes"},
    {"er", &Structure::er, false, "relative permittivity"},
    {"er-top", &Structure::erTop, false, "relative permittivity above the traces"},
    {"mask", &Structure::mask, true, "mask thickness"},
    {"mask-er", &Structure::maskEr, false, "mask's relative permittivity"},
    {"mask-top", &Structure::maskTop, true, "mask thickness over the conductors"},
    {"cover", &Structure::cover, true, "cover thickness"},
    {"cover-er", &Structure::coverEr, false, "cover's relative permittivity"},
    {"g", &Structure::g, true, "gap to the coplanar grounds"},
    {"ground-width", &Structure::groundWidth, true, "coplanar ground width"},
};

bool given(double value) { return !std::isnan(value); }

[[noreturn]] void refuse(const Structure& s, const std::string& why) {
    throw RunError(std::string(structureName(s.kind)) + ": " + why);
}

void checkPermittivity(const Structure& s, double value, const char* option) {
    if (!given(value)) return;
    if (!(value >= 1) || !(value <= largestPermittivity))
        refuse(s, std::string(option) + " must be a relative permittivity from 1 to " + numberText(largestPermittivity) +
                      ", got " + shortestText(value));
}

// A piece of the upper boundary of the region within the mask's thickness of the board: a
// curve y(x) over [x0, x1] from height y0 to y1, a line or the upper part of a circle. At its
// ends it is exactly the points it was made from, so that pieces meeting there meet exactly: a
// steep side's height anywhere else carries the rounding of x times its slope.
struct Piece {
    double x0, x1;
    double y0, y1;
    bool arc;
    Point centre;  // arc
    double radius;

    double y(double x) const {
        if (x == x0) return y0;
        if (x == x1) return y1;
        if (!arc) return y0 + (y1 - y0) * ((x - x0) / (x1 - x0));
        const double dx = std::clamp(x - centre.real(), -radius, radius);
        return centre.imag() + std::sqrt(radius * radius - dx * dx);
    }
    bool horizontal() const { return !arc && y0 == y1; }
    Face face(Point a, Point b) const { return arc ? Face::arc(centre, a, b, -1) : Face::line(a, b); }
};

Piece linePiece(Point a, Point b) {
    if (b.real() < a.real()) std::swap(a, b);
    return {a.real(), b.real(), a.imag(), b.imag(), false, {}, 0};
}

Piece arcPiece(Point centre, double radius, Point from, Point to) {
    if (to.real() < from.real()) std::swap(from, to);
    return {from.real(), to.real(), from.imag(), to.imag(), true, centre, radius};
}

// The pieces of the boundary of the points within m of a convex quadrilateral of the board
// (bottom corners b0, b1 on the substrate, top corners t1, t0, counter-clockwise; of zero
// thickness, the strip b0 → b1) that can rise above the band of thickness `band` over the
// substrate: the offset sides (where not vertical), the arcs about the top corners and the
// offset top, and where m exceeds the band the arcs about the bottom corners of slanted sides
// (within the band otherwise). `open`: the right side and corners are left out (a ground taken
// to the far end).
void offsetPieces(Point b0, Point b1, Point t1, Point t0, double m, double band, bool open, std::vector<Piece>& out) {
    const auto outward = [](Point from, Point to, Point thin) {  // the normal right of from → to
        if (from == to) return thin;
        const Point d = (to - from) / std::abs(to - from);
        return Point(0, -1) * d;
    };
    const Point right = outward(b1, t1, 1), top = Point(0, 1), left = outward(t0, b0, -1);
    // A side is vertical where its normal is horizontal: no function of x, the envelope jumps there.
    if (!open) {
        if (m > band && right.imag() != 0) out.push_back(arcPiece(b1, m, b1 + m, b1 + m * right));
        if (right.imag() != 0) out.push_back(linePiece(b1 + m * right, t1 + m * right));
        out.push_back(arcPiece(t1, m, t1 + m * right, t1 + m * top));
    }
    out.push_back(linePiece(t0 + m * top, t1 + m * top));
    out.push_back(arcPiece(t0, m, t0 + m * top, t0 + m * left));
    if (left.imag() != 0) out.push_back(linePiece(t0 + m * left, b0 + m * left));
    if (m > band && left.imag() != 0) out.push_back(arcPiece(b0, m, b0 + m * left, b0 - m));
}

// The upper envelope of the pieces over [0, far], as faces travelling towards +x, and vertical
// faces where the envelope jumps. A first horizontal piece through x = 0 becomes one face
// symmetric about it.
void addEnvelope(CrossSection& section, std::vector<Piece> pieces, double far, double tolerance) {
    // Where the highest piece may change: the pieces' ends, and their crossings, where the
    // envelope is continuous whatever the rounding of the crossing's x.
    struct Break {
        double x;
        bool crossing;
    };
    std::vector<Break> breaks = {{0.0, false}, {far, false}};
    for (const Piece& p : pieces)
        for (const double x : {p.x0, p.x1})
            if (x > 0 && x < far) breaks.push_back({x, false});
    // Crossings of two pieces, by sampling their difference and bisecting each change of sign.
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (std::size_t j = i + 1; j < pieces.size(); ++j) {
            const double lo = std::max({pieces[i].x0, pieces[j].x0, 0.0}), hi = std::min(pieces[i].x1, pieces[j].x1);
            if (!(hi > lo)) continue;
            constexpr int samples = 64;
            const auto difference = [&](double x) { return pieces[i].y(x) - pieces[j].y(x); };
            double previous = lo, dPrevious = difference(lo);
            for (int k = 1; k <= samples; ++k) {
                const double x = lo + (hi - lo) * k / samples, d = difference(x);
                if ((d > 0) != (dPrevious > 0) && d != 0 && dPrevious != 0) {
                    double a = previous, b = x;
                    for (int step = 0; step < 200 && b - a > 1e-15 * std::max(std::fabs(a), tolerance); ++step) {
                        const double mid = (a + b) / 2;
                        ((difference(mid) > 0) == (dPrevious > 0) ? a : b) = mid;
                    }
                    breaks.push_back({(a + b) / 2, true});
                }
                previous = x;
                dPrevious = d;
            }
        }
    std::sort(breaks.begin(), breaks.end(), [](const Break& a, const Break& b) { return a.x < b.x; });
    std::vector<Break> merged;
    for (const Break& b : breaks)
        if (merged.empty() || b.x - merged.back().x > tolerance) merged.push_back(b);
        else merged.back().crossing = merged.back().crossing || b.crossing;
    breaks = std::move(merged);

    // The highest piece over each interval, runs of one piece merged.
    struct Run {
        double x0, x1;
        std::size_t piece;
        bool crossingAtEnd;
    };
    std::vector<Run> runs;
    for (std::size_t k = 0; k + 1 < breaks.size(); ++k) {
        const double mid = (breaks[k].x + breaks[k + 1].x) / 2;
        std::size_t best = pieces.size();
        for (std::size_t i = 0; i < pieces.size(); ++i)
            if (pieces[i].x0 <= mid && mid <= pieces[i].x1 && (best == pieces.size() || pieces[i].y(mid) > pieces[best].y(mid)))
                best = i;
        assert(best < pieces.size());
        if (!runs.empty() && runs.back().piece == best)
            runs.back().x1 = breaks[k + 1].x, runs.back().crossingAtEnd = breaks[k + 1].crossing;
        else
            runs.push_back({breaks[k].x, breaks[k + 1].x, best, breaks[k + 1].crossing});
    }
    const std::size_t first = section.faces.size();
    Point from(runs.front().x0, pieces[runs.front().piece].y(runs.front().x0));
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const Piece& piece = pieces[runs[k].piece];
        const Point to(runs[k].x1, piece.y(runs[k].x1));
        if (k == 0 && piece.horizontal())
            section.addSymmetric(Face::line(Point(-to.real(), to.imag()), to), noConductor);
        else
            section.addMirrorPair(piece.face(from, to), noConductor, noConductor);
        from = to;
        if (k + 1 == runs.size()) break;
        const Point next(runs[k + 1].x0, pieces[runs[k + 1].piece].y(runs[k + 1].x0));
        if (!runs[k].crossingAtEnd && std::fabs(next.imag() - to.imag()) > tolerance) {
            section.addMirrorPair(Face::line(to, next), noConductor, noConductor);
            from = next;
        }
    }
    for (std::size_t k = first; k < section.faces.size(); ++k) section.markOpenEnds(k, far);
}

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

double orDefault(double value, double fallback) { return given(value) ? value : fallback; }

}  // namespace

const std::vector<StructureOption>& structureOptions() { return options; }

const StructureOption* findStructureOption(std::string_view name) {
    for (const StructureOption& o : options) {
        const std::string_view own = o.name;
        if (own.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < own.size() && same; ++k) same = own[k] == name[k] || (own[k] == '-' && name[k] == '_');
        if (same) return &o;
    }
    return nullptr;
}

bool structureKindNamed(std::string_view name, StructureKind& kind) {
    for (const StructureKind k : {StructureKind::microstrip, StructureKind::stripline, StructureKind::coplanar})
        if (name == structureName(k)) {
            kind = k;
            return true;
        }
    return false;
}

const char* structureName(StructureKind kind) {
    switch (kind) {
        case StructureKind::microstrip: return "microstrip";
        case StructureKind::stripline: return "stripline";
        case StructureKind::coplanar: return "coplanar";
    }
    return "";
}

void checkStructure(const Structure& s) {
    const bool strip = s.kind == StructureKind::stripline, coplanar = s.kind == StructureKind::coplanar;
    // What each structure takes, and what it needs.
    const auto takes = [&](double Structure::*field) {
        if (field == &Structure::b || field == &Structure::erTop) return strip;
        if (field == &Structure::g || field == &Structure::groundWidth) return coplanar;
        if (field == &Structure::mask || field == &Structure::maskEr || field == &Structure::maskTop) return !strip;
        if (field == &Structure::cover || field == &Structure::coverEr) return s.kind == StructureKind::microstrip;
        return true;
    };
    for (const StructureOption& o : options)
        if (given(s.*o.field) && !takes(o.field)) refuse(s, std::string("has no option --") + o.name);
    const auto need = [&](double value, const char* option, const char* what) {
        if (!given(value)) refuse(s, std::string("needs ") + option + " (" + what + ")");
    };
    need(s.w, "--w", "the trace width");
    need(s.h, "--h", strip ? "the height of the traces' bottoms over the lower plane" : "the substrate's height");
    if (strip) need(s.b, "--b", "the spacing of the planes");
    if (coplanar) need(s.g, "--g", "the gap between the traces and the coplanar grounds");
    need(s.er, "--er", "the substrate's relative permittivity");
    if (given(s.mask) != given(s.maskEr)) refuse(s, "--mask and --mask-er go together");
    if (given(s.cover) != given(s.coverEr)) refuse(s, "--cover and --cover-er go together");
    if (given(s.mask) && given(s.cover)) refuse(s, "--mask and --cover exclude each other");
    if (given(s.maskTop) && !(s.mask > 0)) refuse(s, "--mask-top needs a mask (--mask above 0, --mask-er)");

    for (const StructureOption& o : options) {
        const double v = s.*o.field;
        if (!given(v) || !o.length) continue;
        const bool positive = o.field == &Structure::w || o.field == &Structure::wTop || o.field == &Structure::h ||
                              o.field == &Structure::b || o.field == &Structure::groundWidth ||
                              o.field == &Structure::maskTop;
        if (positive && !(v > 0)) refuse(s, std::string("--") + o.name + " must be positive, got " + shortestText(v));
        if (!positive && !(v >= 0)) refuse(s, std::string("--") + o.name + " must not be negative, got " + shortestText(v));
    }
    checkPermittivity(s, s.er, "--er");
    checkPermittivity(s, s.erTop, "--er-top");
    checkPermittivity(s, s.maskEr, "--mask-er");
    checkPermittivity(s, s.coverEr, "--cover-er");

    const double t = orDefault(s.t, 0.0);
    if (given(s.wTop) && s.wTop > s.w)
        refuse(s, "--w-top " + shortestText(s.wTop) + " is wider than --w " + shortestText(s.w) +
                      ": a trace's top is not wider than its bottom");
    if (given(s.wTop) && s.wTop != s.w && t == 0) refuse(s, "--w-top needs a thickness --t above 0");
    if (s.isPair() && s.s == 0) refuse(s, "the traces touch (--s 0): the capacitance between them is infinite");
    if (coplanar && s.g == 0)
        refuse(s, "the traces touch the coplanar grounds (--g 0): the capacitance between them is infinite");
    if (strip && !(s.h + t < s.b))
        refuse(s, "the trace reaches the upper plane: --h " + shortestText(s.h) + " and --t " + shortestText(t) +
                      " reach " + shortestText(s.h + t) + ", not below --b " + shortestText(s.b));
    if (given(s.cover) && s.cover < t)
        refuse(s, "the cover must embed the traces: --cover " + shortestText(s.cover) + " is below --t " +
                      shortestText(t));

    // Every length that shapes the field, and every difference of them the mesh resolves as a
    // length of its own, within the resolved range of each other, named against the earlier
    // one (the trace width first). A difference of 0 leaves the feature out (a cover flush with
    // the traces' tops), as does an option not given.
    std::vector<NamedLength> lengths;
    for (const StructureOption& o : options)
        if (o.length && given(s.*o.field)) lengths.push_back({o.meaning, s.*o.field});
    if (strip) lengths.push_back({"clearance between the trace and the upper plane", s.b - s.h - t});
    if (given(s.cover)) lengths.push_back({"cover over the traces' tops", s.cover - t});
    // A mask thinner than thick traces steps down at their sides by the difference.
    if (given(s.mask) && s.mask > 0) lengths.push_back({"step of the mask at the traces' sides", t - s.mask});
    if (const std::string problem = ratioOutOfRange(lengths, "plattor-lines"); !problem.empty()) refuse(s, problem);
}

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
