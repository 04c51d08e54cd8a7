#include "section/coating_outline.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace plattor {

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

// The upper envelope of the pieces over [0, far] with mirror symmetry (else over [−far, far]),
// as faces travelling towards +x, and vertical faces where the envelope jumps. With mirror
// symmetry a first horizontal piece through x = 0 becomes one face symmetric about it.
void addEnvelope(CrossSection& section, std::vector<Piece> pieces, double far, double tolerance) {
    // Where the highest piece may change: the pieces' ends, and their crossings, where the
    // envelope is continuous whatever the rounding of the crossing's x.
    struct Break {
        double x;
        bool crossing;
    };
    const bool mirror = section.mirrorSymmetric;
    const double from0 = mirror ? 0.0 : -far;
    std::vector<Break> breaks = {{from0, false}, {far, false}};
    for (const Piece& p : pieces)
        for (const double x : {p.x0, p.x1})
            if (x > from0 && x < far) breaks.push_back({x, false});
    // Crossings of two pieces, by sampling their difference and bisecting each change of sign.
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (std::size_t j = i + 1; j < pieces.size(); ++j) {
            const double lo = std::max({pieces[i].x0, pieces[j].x0, from0}), hi = std::min(pieces[i].x1, pieces[j].x1);
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
        if (mirror && k == 0 && piece.horizontal())
            section.addSymmetric(Face::line(Point(-to.real(), to.imag()), to), noConductor);
        else if (mirror)
            section.addMirrorPair(piece.face(from, to), noConductor, noConductor);
        else
            section.add(piece.face(from, to), noConductor);
        from = to;
        if (k + 1 == runs.size()) break;
        const Point next(runs[k + 1].x0, pieces[runs[k + 1].piece].y(runs[k + 1].x0));
        if (!runs[k].crossingAtEnd && std::fabs(next.imag() - to.imag()) > tolerance) {
            if (mirror)
                section.addMirrorPair(Face::line(to, next), noConductor, noConductor);
            else
                section.add(Face::line(to, next), noConductor);
            from = next;
        }
    }
    for (std::size_t k = first; k < section.faces.size(); ++k) section.markOpenEnds(k, far);
}

}  // namespace plattor
