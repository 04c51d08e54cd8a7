#include "section/regions.hpp"

#include <algorithm>
#include <cmath>

namespace plattor {

namespace {

// Whether z lies strictly inside a counter-clockwise outline: left of every side of a convex
// one; inside a concave one by the crossings of a ray towards +x.
bool inside(Point z, const Outline& outline) {
    const std::size_t n = outline.size();
    if (n < 3) return false;
    bool convex = true;
    for (std::size_t k = 0; k < n && convex; ++k) {
        const Point a = outline[k], b = outline[(k + 1) % n], c = outline[(k + 2) % n];
        convex = std::imag(std::conj(b - a) * (c - b)) >= 0;
    }
    if (convex) {
        for (std::size_t k = 0; k < n; ++k) {
            const Point a = outline[k], b = outline[(k + 1) % n];
            if (std::imag(std::conj(b - a) * (z - a)) <= 0) return false;
        }
        return true;
    }
    bool in = false;
    for (std::size_t k = 0; k < n; ++k) {
        const Point a = outline[k], b = outline[(k + 1) % n];
        if ((a.imag() > z.imag()) == (b.imag() > z.imag())) continue;
        const double x = a.real() + (z.imag() - a.imag()) / (b.imag() - a.imag()) * (b.real() - a.real());
        if (x > z.real()) in = !in;
    }
    return in;
}

}  // namespace

DielectricRegion DielectricRegion::layer(double permittivity, double y0, double y1) {
    DielectricRegion r{permittivity};
    r.y0 = y0;
    r.y1 = y1;
    return r;
}

DielectricRegion DielectricRegion::box(double permittivity, double x0, double x1, double y0, double y1) {
    DielectricRegion r = layer(permittivity, y0, y1);
    r.x0 = x0;
    r.x1 = x1;
    return r;
}

DielectricRegion DielectricRegion::coatingOf(double permittivity, double base, double thickness, double thicknessOver,
                                             std::vector<Outline> over) {
    DielectricRegion r{permittivity};
    r.coating = true;
    r.base = base;
    r.thickness = thickness;
    r.thicknessOver = thicknessOver;
    r.over = std::move(over);
    return r;
}

bool DielectricRegion::contains(Point z) const {
    if (!coating) return x0 <= z.real() && z.real() <= x1 && y0 <= z.imag() && z.imag() <= y1;
    if (z.imag() < base) return false;
    if (z.imag() <= base + thickness) return true;
    return std::any_of(over.begin(), over.end(),
                       [&](const Outline& o) { return distanceToOutline(z, o) <= thicknessOver; });
}

Medium Regions::mediumAt(Point z) const {
    for (const Outline& c : conductors)
        if (inside(z, c)) return {0.0, 0.0};
    for (const Circle& c : circles)
        if (const double r = std::abs(z - c.centre); r < c.radius && r > c.inner) return {0.0, 0.0};
    for (auto r = dielectrics.rbegin(); r != dielectrics.rend(); ++r)
        if (r->contains(z)) return {r->permittivity, r->lossTangent};
    return {1.0, 0.0};
}

double distanceToOutline(Point z, const Outline& outline) {
    if (inside(z, outline)) return 0.0;
    double nearest = HUGE_VAL;
    for (std::size_t k = 0; k < outline.size(); ++k)
        nearest = std::min(nearest, distanceToSegment(z, outline[k], outline[(k + 1) % outline.size()]));
    return nearest;
}

}  // namespace plattor
