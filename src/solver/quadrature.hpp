#pragma once
// Integrals over a panel of the two kernels of the solve, the potential −ln|X − z| and the
// normal field Re[n/(z − X)] of a unit line charge, against the Lagrange basis of the panel's
// Gauss–Legendre nodes: accurate however close the point z comes to the panel.
#include <complex>
#include <cstddef>
#include <vector>

#include "mesh/mesh.hpp"

namespace plattor {

// A point where a kernel is evaluated: its position (on a face, as the face's nearer end plus
// the offset from it) and, when it lies on a face, that face and its parameter: integrals over
// its own face then use the exact parameter difference.
struct Target {
    Anchored at;
    std::size_t face;  // noFace if the point is not on a face
    double t;

    Point z() const { return at.z(); }
};

// The roots in t of X(t) − z for a target z (Face::roots of t* with X(t*) = z, from
// Face::parameterOf, or on the target's own face its exact parameter): the same for every panel
// of the face, found once a face for each target.
struct FaceRoots {
    std::complex<double> roots[9];
    std::size_t count;
};
FaceRoots targetRoots(const Face& face, std::size_t faceIndex, const Target& target);

// The p-point Gauss–Legendre rule on [−1, 1] with what the panel integrals need: the Legendre
// coefficients of the Lagrange basis through the nodes, finer rules for the smooth remainder
// of near-singular integrands, and a rule for pieces of a panel near a pole.
class PanelRule {
public:
    explicit PanelRule(std::size_t p);
    // The rule of order p, made once a process and shared by every thread.
    static const PanelRule& of(std::size_t p);
    std::size_t order() const { return nodes_.size(); }
    double node(std::size_t j) const { return nodes_[j]; }
    double weight(std::size_t j) const { return weights_[j]; }

    // row[j] += factor·∫ ℓ_j(t)·(−ln|X(t) − z|) dt over the panel, j = 0 … p−1, ℓ_j the Lagrange
    // basis through the panel's nodes, z the target and `roots` its targetRoots on the face.
    // Accurate to ~1e−13 however close z is: logarithmic roots near the panel are integrated in
    // closed form. Returns false, row untouched, if the panel is far enough from z for its own
    // p nodes (error below 1e−15): the caller then adds −w_j·ln|X(t_j) − z| itself.
    // `points` are the panel's finePoints.
    bool addNearIntegrals(const Face& face, const Panel& panel, const Anchored* points, const Target& target,
                          const FaceRoots& roots, double factor, double* row) const;

    // row[j] += factor·∫ ℓ_j(t)·Re[n/(z − X(t))] dt over the panel, as accurate however close z
    // is (not on the panel's own line): the poles near the panel are integrated in closed form.
    // Returns false, row untouched, where the panel's own nodes suffice, as above.
    bool addFieldIntegrals(const Face& face, const Panel& panel, const Anchored* points, const Anchored& z,
                           Point normal, const FaceRoots& roots, double factor, double* row) const;

    // A distance from the panel's chord beyond which it is far in the sense above: the
    // product integration is never needed there.
    double farDistance(const Panel& panel) const;

    // A Gauss–Legendre rule of order m on [−1, 1] with the panel's basis ℓ_j at its nodes.
    struct FineRule {
        std::vector<double> nodes, weights;
        std::vector<double> basis;  // m×p: ℓ_j at the nodes
        std::size_t first;          // the index of its first node among a panel's finePoints
    };
    // The rules for points a chord's length or more from the panel, which lie outside its
    // Bernstein ellipse of parameter 2 + √5 ≈ 4.2 (middleOrder = 12 points: error
    // ~4.2^−24 ≈ 1e−15), and for points 1.8 chords or more from it, outside the ellipse 7.5
    // (outerOrder = 8 points: 7.5^−16 ≈ 1e−14).
    static constexpr std::size_t middleOrder = 12, outerOrder = 8;
    const FineRule& middle() const { return fine_[1]; }
    const FineRule& outer() const { return fine_[0]; }

    // X at the nodes of every fine rule on the panel, rule after rule (FineRule::first): placed
    // once a panel by the caller, not again for every point the panel is integrated for.
    static constexpr std::size_t finePointCount = 112;
    std::vector<Anchored> finePoints(const Face& face, const Panel& panel) const;

private:
    // The remainder's rule when the nearest root left in it lies on the ellipse nearestLeft.
    const FineRule& remainderRule(double nearestLeft) const;

    double farEllipse_;  // the ellipse beyond which the panel's own rule is exact to rounding
    std::vector<double> nodes_, weights_;
    std::vector<double> legendre_;  // p×p: ℓ_j = Σ_k legendre_[j·p + k]·P_k
    std::vector<FineRule> fine_;    // ascending order; the last for a remainder with a root at the ellipse 2
};

// sums[j] += Σ_m w[m]·basis[m·p + j] for j < p, m < count: a fine rule's weighted values
// against a panel's basis at its nodes (FineRule::basis), each sum taken in the order of m, four
// of them at a time held in registers rather than stored and loaded again at every point.
void addAgainstBasis(std::size_t count, std::size_t p, const double* w, const double* basis, double* sums);

// The parameter of the Bernstein ellipse of [−1, 1] through ρ (1 on the interval): a p-point
// Gauss–Legendre rule integrates a function analytic inside it with error ~parameter^(−2p).
double ellipseParameter(std::complex<double> rho);

// The Gauss–Legendre nodes (ascending) and weights of order n on [−1, 1].
void gaussLegendre(std::size_t n, std::vector<double>& nodes, std::vector<double>& weights);

// q[k] = ∫ P_k(u)/(u − ρ) du over [−1, 1], k = 0 … n (n < 64), the Legendre functions of the
// second kind by their upward recurrence (stable for ρ near the interval, not on it).
void legendreSecondKind(std::size_t n, std::complex<double> rho, std::complex<double>* q);

// moments[k] = ∫ P_k(u)·ln|u − ρ| du over [−1, 1], k = 0 … n−1 (n < 64), for complex ρ, by the
// Legendre functions of the second kind from their upward recurrence (stable for ρ near the interval).
void legendreLogMoments(std::size_t n, std::complex<double> rho, double* moments);

}  // namespace plattor
