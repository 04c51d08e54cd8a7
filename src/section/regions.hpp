#pragma once
// What lies where in a cross-section: the conductors, and the dielectric regions with their
// permittivities. The faces the solver meets (layer boundaries, conductor and coating outlines)
// take the permittivities on their two sides from here, never by hand: a structure says what is
// where, and the lookup decides every face's sides.
#include <limits>
#include <vector>

#include "section/face.hpp"

namespace plattor {

// A simple polygon, counter-clockwise: a conductor's cross-section (of zero area for a strip).
using Outline = std::vector<Point>;

// A dielectric region of relative permittivity `permittivity` and loss tangent `lossTangent`
// (ε″/ε′ where the dielectric model is constant; else their values at the model's fitting
// frequency), one of
//  a box:     the points with x0 ≤ x ≤ x1 and y0 ≤ y ≤ y1 (a layer where x0, x1 are infinite);
//  a coating: the points at least as high as `base` and within `thickness` of the line
//             y = base, or within `thicknessOver` of one of the outlines `over` (a solder mask
//             on a board's face and the conductors on it).
struct DielectricRegion {
    static constexpr double infinite = std::numeric_limits<double>::infinity();

    double permittivity;
    double lossTangent = 0.0;
    double x0 = -infinite, x1 = infinite, y0 = -infinite, y1 = infinite;
    bool coating = false;
    double base = 0.0, thickness = 0.0, thicknessOver = 0.0;
    std::vector<Outline> over = {};

    static DielectricRegion layer(double permittivity, double y0, double y1);
    static DielectricRegion box(double permittivity, double x0, double x1, double y0, double y1);
    static DielectricRegion coatingOf(double permittivity, double base, double thickness, double thicknessOver,
                                      std::vector<Outline> over);

    bool contains(Point z) const;
};

// A round conductor (a wire, a coaxial line's inner conductor), or a tube (hollow within
// `inner`: a coaxial line's outer conductor).
struct Circle {
    Point centre;
    double radius;
    double inner = 0.0;
};

// What fills a point: its relative permittivity (0 inside a conductor) and loss tangent.
struct Medium {
    double permittivity;
    double lossTangent;
};

struct Regions {
    std::vector<Outline> conductors;
    std::vector<Circle> circles;
    std::vector<DielectricRegion> dielectrics;  // a later region lies over an earlier one

    // The relative permittivity at z: 0 inside a conductor, else that of the last region
    // holding z, else 1 (vacuum).
    double permittivityAt(Point z) const { return mediumAt(z).permittivity; }
    Medium mediumAt(Point z) const;
};

// The distance from z to a convex outline (0 inside it).
double distanceToOutline(Point z, const Outline& outline);

}  // namespace plattor
