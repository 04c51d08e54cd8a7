#pragma once
// The outer boundary of a coating (a solder mask) as faces: the band over a board's face raised
// over the conductors on it, the upper envelope of offset lines and arcs.
#include <algorithm>
#include <cmath>
#include <vector>

#include "section/cross_section.hpp"

namespace plattor {

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

Piece linePiece(Point a, Point b);
Piece arcPiece(Point centre, double radius, Point from, Point to);

// The pieces of the boundary of the points within m of a convex quadrilateral of the board
// (bottom corners b0, b1 on the substrate, top corners t1, t0, counter-clockwise; of zero
// thickness, the strip b0 → b1) that can rise above the band of thickness `band` over the
// substrate (see coating_outline.cpp); `open`: the right side and corners are left out (a ground
// taken to the far end).
void offsetPieces(Point b0, Point b1, Point t1, Point t0, double m, double band, bool open, std::vector<Piece>& out);

// The upper envelope of the pieces over [0, far] (over [−far, far] where the section has no
// mirror symmetry), as faces of the section travelling towards +x (their sides from its
// regions), and vertical faces where the envelope jumps.
void addEnvelope(CrossSection& section, std::vector<Piece> pieces, double far, double tolerance);

}  // namespace plattor
