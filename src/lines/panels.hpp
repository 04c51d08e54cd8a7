#pragma once
// Faces, panels and the integrals of the logarithmic kernel over them.
//
// A face is a straight conductor face from `start` to `end`, parametrised by t ∈ [0, π] as
// X(t) = mid − R·cos(t)·e (R the half-length, e the unit direction). The unknown on a face is
// g(t) = σ(X(t))·|dX/dt|, the charge per unit t: the σ ~ d^(−1/2) singularity at a free edge
// times dX/dt ~ √d leaves g smooth, so a conductor edge needs no deep grading. A panel is an
// interval of t carrying the Lagrange interpolant of g through its p Gauss–Legendre nodes.
#include <complex>
#include <cstddef>
#include <vector>

namespace plattor {

using Point = std::complex<double>;  // x + i·y, in strip widths

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
Point operator-(const Anchored& a, const Anchored& b);
// The mirror image x → −x.
Anchored mirrored(const Anchored& a);

struct Face {
    Point start;
    Point end;

    double halfLength() const { return std::abs(end - start) / 2; }
    // X(t) = mid − R·cos(t)·e, measured from the nearer end so that points near an edge keep
    // their distance to it to full relative precision.
    Point point(double t) const { return anchored(t).z(); }
    // X(t) as the nearer end plus the offset from it.
    Anchored anchored(double t) const;
};

// The parameter interval [t0, t1] ⊂ [0, π] of one face, and its end points X(t0), X(t1).
struct Panel {
    std::size_t face;
    double t0;
    double t1;
    Point a;
    Point b;
};

// A collocation point: its position (on a face, as the face's nearer end plus the offset from
// it; elsewhere an anchor with no offset) and, when it lies on a face, that face and its
// parameter (integrals over its own face then use the exact parameter difference).
struct Target {
    Anchored at;
    std::size_t face;  // noFace if the point is not on a face
    double t;

    Point z() const { return at.z(); }
};
inline constexpr std::size_t noFace = static_cast<std::size_t>(-1);

// The p-point Gauss–Legendre rule on [−1, 1] with what the panel integrals need: the Legendre
// coefficients of the Lagrange basis through the nodes and a finer rule that integrates the
// smooth remainder of near-singular integrands.
class PanelRule {
public:
    explicit PanelRule(std::size_t p);
    std::size_t order() const { return nodes_.size(); }
    double node(std::size_t j) const { return nodes_[j]; }
    double weight(std::size_t j) const { return weights_[j]; }

    // row[j] += factor·∫ ℓ_j(t)·(−ln|X(t) − z|) dt over the panel, j = 0 … p−1, ℓ_j the Lagrange
    // basis through the panel's nodes, z the target and t* = targetParameter(face, target).
    // Accurate to ~1e−13 however close z is: logarithmic roots near the panel are integrated in
    // closed form. Returns false, row untouched, if the panel is far enough from z for its own
    // p nodes (error below 1e−15): the caller then adds −w_j·ln|X(t_j) − z| itself.
    bool addNearIntegrals(const Face& face, const Panel& panel, const Target& target, std::complex<double> tStar,
                          double factor, double* row) const;

    // A distance from the panel's chord beyond which it is far in the sense above: the
    // product integration is never needed there.
    double farDistance(const Panel& panel) const;

private:
    // A Gauss–Legendre rule of order m for the smooth remainder, with ℓ_j at its nodes.
    struct FineRule {
        std::vector<double> nodes, weights;
        std::vector<double> basis;  // m×p: ℓ_j at the nodes
    };

    std::vector<double> nodes_, weights_;
    std::vector<double> legendre_;  // p×p: ℓ_j = Σ_k legendre_[j·p + k]·P_k
    std::vector<FineRule> fine_;    // ascending order; the last for a remainder with a root at the ellipse 2
};

// t* with X(t*) = z on the face's analytic continuation (Re t* ∈ [0, π]); on the target's
// own face its exact parameter.
std::complex<double> targetParameter(const Face& face, std::size_t faceIndex, const Target& target);

// The parameter of the Bernstein ellipse of [−1, 1] through ρ (1 on the interval): a p-point
// Gauss–Legendre rule integrates a function analytic inside it with error ~parameter^(−2p).
double ellipseParameter(std::complex<double> rho);

// z − (the point of the segment ab nearest to z), and its length.
Point fromSegment(Point z, Point a, Point b);
double distanceToSegment(Point z, Point a, Point b);

// The Gauss–Legendre nodes (ascending) and weights of order n on [−1, 1].
void gaussLegendre(std::size_t n, std::vector<double>& nodes, std::vector<double>& weights);

// moments[k] = ∫ P_k(u)·ln|u − ρ| du over [−1, 1], k = 0 … n−1 (n < 64), for complex ρ, by the
// Legendre functions of the second kind from their upward recurrence (stable for ρ near the interval).
void legendreLogMoments(std::size_t n, std::complex<double> rho, double* moments);

}  // namespace plattor
