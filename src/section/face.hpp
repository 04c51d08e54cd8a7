#pragma once
// A face of a cross-section: a straight segment or a circular arc, and its parametrisation.
//
// A face runs from `start` to `end` with t ∈ [0, π] through u = (1 − cos t)/2 = sin²(t/2):
// a segment is X = start + u·(end − start), an arc X = centre + r·e^{i(θ0 + u·Δθ)}. The cosine
// map crowds the parameter at both ends, where a free conductor edge puts its d^(−1/2) charge:
// the charge per unit t, σ·|dX/dt| with |dX/dt| ~ √d, stays smooth there.
#include <complex>
#include <cstddef>

namespace plattor {

using Point = std::complex<double>;  // x + i·y

// A point as a reference point (a face's end) plus its offset from it, the offset to full
// relative precision. Two points near the corner where their faces meet are then apart by the
// difference of their offsets: their positions, rounded to the size of the arrangement, would
// lose the digits of a separation of 1e−12 of it.
struct Anchored {
    Point anchor;
    Point offset;

    Point z() const { return anchor + offset; }
};

// a − b, exact where the anchors coincide.
inline Point operator-(const Anchored& a, const Anchored& b) { return (a.anchor - b.anchor) + (a.offset - b.offset); }
// The mirror image x → −x.
Anchored mirrored(const Anchored& a);
// The image y → −y in a ground plane on y = 0.
Anchored reflected(const Anchored& a);

// sin x for x ∈ [−π, π], to full relative precision near 0 and ±π.
double sine(double x);

class Face {
public:
    bool operator==(const Face&) const = default;
    static Face line(Point start, Point end);
    // The arc about `centre` from `start` to `end` (equally far from it), turning by less than
    // π in the sense of `sweep`'s sign (positive: counter-clockwise).
    static Face arc(Point centre, Point start, Point end, double sweep);

    Point start() const { return start_; }
    Point end() const { return end_; }
    bool isArc() const { return sweep_ != 0.0; }
    Point centre() const { return centre_; }
    double radius() const { return radius_; }
    double length() const;

    // X(t), as the nearer end plus the offset from it.
    Anchored anchored(double t) const;
    Point point(double t) const { return anchored(t).z(); }
    // |dX/dt|.
    double speed(double t) const;
    // dX/dt on the analytic continuation, at a complex parameter.
    std::complex<double> derivative(std::complex<double> t) const;
    // The unit normal at X(t): the direction of travel turned clockwise, towards the face's
    // right-hand side.
    Point normal(double t) const;
    // The unit direction of travel at t = 0 (from the start) and at t = π (towards the end).
    Point startDirection() const;
    Point endDirection() const;
    // t* with X(t*) = z on the face's analytic continuation, Re t* ∈ [0, π], taken from the
    // nearer end so that a point close to an edge keeps its few significant digits.
    std::complex<double> parameterOf(const Anchored& z) const;
    // Every root of X(t) − z near [0, π] from the one t* above: t*, −t* and 2π − t* (cos t
    // takes the same value there) and, on an arc, the same for the neighbouring turns of the
    // circle. Returns their number (3 or 9); `roots` holds at least 9.
    std::size_t roots(std::complex<double> tStar, std::complex<double>* roots) const;
    // |X(t) − X(s)| from the parameter difference, to full relative precision however close.
    double separation(double t, double s) const;
    // The image under x → −x, with the same parameter: X'(t) = −conj(X(t)).
    Face mirrored() const;

private:
    Point start_, end_;
    Point centre_{};
    double radius_ = 0.0;
    double sweep_ = 0.0;  // Δθ; 0 for a segment
};

// z − (the point of the segment ab nearest to z), and its length.
Point fromSegment(Point z, Point a, Point b);
double distanceToSegment(Point z, Point a, Point b);
// The distance from z to the face (exact for segments and arcs).
double distanceToFace(Point z, const Face& face);

}  // namespace plattor
