#include "solver/quadrature.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>

#include "matrix/vector_math.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

// The remainder of a near-singular integrand, its close logarithmic roots taken out, is
// analytic inside the Bernstein ellipse through the nearest root left in it: a root is taken
// out when that ellipse's parameter is below closeRoot. An m-point rule then integrates the
// remainder times ℓ_j (degree p − 1) with an error falling as e^(−(2m − p)), e that ellipse's
// parameter: m = 32 holds it below closeRoot^(−(64 − p)) even for e = closeRoot, and a root
// further out needs fewer points for the same bound. The upward recurrence of the moments,
// which amplifies rounding by at most closeRoot^(p+1) (2e3 at p = 10), stays accurate.
constexpr double closeRoot = 2.0;
constexpr std::size_t fineOrders[] = {PanelRule::outerOrder, PanelRule::middleOrder, 16, 20, 24, 32};
constexpr std::size_t largestOrder = 64;  // of a panel, bounding the work arrays
constexpr std::size_t mostRoots = 9;

// A panel's own p-point rule integrates a function analytic inside the ellipse of parameter
// e with error ~e^(−2p): below 1e−14 from this parameter on.
double farEllipse(std::size_t p) { return std::max(2.5, std::pow(10.0, 7.0 / static_cast<double>(p))); }

// P_0 … P_{n−1} at u.
void legendreValues(std::size_t n, double u, double* values) {
    double previous = 0.0, current = 1.0;
    for (std::size_t k = 0; k < n; ++k) {
        values[k] = current;
        const double next = ((2.0 * k + 1.0) * u * current - k * previous) / (k + 1.0);
        previous = current;
        current = next;
    }
}

}  // namespace

void addAgainstBasis(std::size_t count, std::size_t p, const double* w, const double* basis, double* sums) {
    std::size_t j = 0;
    for (; j + 4 <= p; j += 4) {
        double a0 = sums[j], a1 = sums[j + 1], a2 = sums[j + 2], a3 = sums[j + 3];
        for (std::size_t m = 0; m < count; ++m) {
            const double* b = basis + m * p + j;
            a0 += w[m] * b[0];
            a1 += w[m] * b[1];
            a2 += w[m] * b[2];
            a3 += w[m] * b[3];
        }
        sums[j] = a0, sums[j + 1] = a1, sums[j + 2] = a2, sums[j + 3] = a3;
    }
    for (; j < p; ++j) {
        double a = sums[j];
        for (std::size_t m = 0; m < count; ++m) a += w[m] * basis[m * p + j];
        sums[j] = a;
    }
}

double ellipseParameter(Complex rho) {
    // The ellipse with foci ±1 through ρ has the semi-major axis a = (|ρ − 1| + |ρ + 1|)/2 and
    // the parameter a + √(a² − 1).
    const double a = (std::sqrt(std::norm(rho - 1.0)) + std::sqrt(std::norm(rho + 1.0))) / 2;
    return a + std::sqrt(std::max(a * a - 1, 0.0));
}

FaceRoots targetRoots(const Face& face, std::size_t faceIndex, const Target& target) {
    FaceRoots found;
    found.count = face.roots(target.face == faceIndex ? Complex(target.t) : face.parameterOf(target.at), found.roots);
    return found;
}

const PanelRule::FineRule& PanelRule::remainderRule(double nearestLeft) const {
    // The fewest points m with e^(−(2m − p)) ≤ closeRoot^(−(64 − p)), e = nearestLeft.
    const double p = static_cast<double>(order());
    const double needed = (64.0 - p) * std::log(closeRoot) / std::log(nearestLeft) + p;
    for (const FineRule& candidate : fine_)
        if (2.0 * static_cast<double>(candidate.nodes.size()) >= needed) return candidate;
    return fine_.back();
}

double PanelRule::farDistance(const Panel& panel) const {
    // Where X is affine in t, a point at distance d from a chord of length L lies outside the
    // ellipse of parameter 2d/L + √((2d/L)² + 1); towards a face's end t stretches distances
    // (x − x_end ~ t²), which only moves the roots further out. d ≥ e·L is then far for
    // the ellipse e (2e + √(4e² + 1) > e). An arc bends its chord by less than its length.
    return panel.chord() * farEllipse_;
}

void gaussLegendre(std::size_t n, std::vector<double>& nodes, std::vector<double>& weights) {
    nodes.assign(n, 0.0);
    weights.assign(n, 0.0);
    for (std::size_t k = 0; k < (n + 1) / 2; ++k) {
        // Newton from the asymptotic position of the k-th largest root.
        double x = std::cos(pi * (k + 0.75) / (n + 0.5));
        double derivative = 1.0;
        for (int iteration = 0; iteration < 100; ++iteration) {
            double previous = 1.0, current = x;
            for (std::size_t j = 2; j <= n; ++j) {
                const double next = ((2.0 * j - 1.0) * x * current - (j - 1.0) * previous) / j;
                previous = current;
                current = next;
            }
            derivative = n * (x * current - previous) / (x * x - 1.0);
            const double step = current / derivative;
            x -= step;
            if (std::fabs(step) < 1e-16) break;
        }
        const double w = 2.0 / ((1.0 - x * x) * derivative * derivative);
        nodes[n - 1 - k] = x;
        nodes[k] = -x;
        weights[k] = weights[n - 1 - k] = w;
    }
}

void legendreSecondKind(std::size_t n, Complex rho, Complex* q) {
    assert(n < largestOrder);
    // q_k obeys (k+1)·q_{k+1} = (2k+1)·(ρ·q_k + 2·δ_k0) − k·q_{k−1}.
    q[0] = std::log((rho - 1.0) / (rho + 1.0));
    q[1] = rho * q[0] + 2.0;
    for (std::size_t k = 1; k < n; ++k) {
        const double kk = static_cast<double>(k);
        q[k + 1] = ((2 * kk + 1) * rho * q[k] - kk * q[k - 1]) / (kk + 1);
    }
}

void legendreLogMoments(std::size_t n, Complex rho, double* moments) {
    // With P_k = (P'_{k+1} − P'_{k−1})/(2k+1), whose boundary terms vanish, integration by parts
    // gives the moment of ln|u − ρ| = Re ln(u − ρ) as −Re(q_{k+1} − q_{k−1})/(2k+1).
    Complex q[largestOrder + 1];
    legendreSecondKind(n, rho, q);
    // ∫ ln|u − ρ| du = Re[(u − ρ)·ln(u − ρ) − u] between −1 and 1; (u − ρ)·ln(u − ρ) → 0 at a root.
    auto xLogX = [](Complex x) { return x == 0.0 ? Complex(0) : x * std::log(x); };
    moments[0] = (xLogX(1.0 - rho) - xLogX(-1.0 - rho)).real() - 2.0;
    for (std::size_t k = 1; k < n; ++k) moments[k] = -(q[k + 1] - q[k - 1]).real() / (2.0 * k + 1.0);
}

PanelRule::PanelRule(std::size_t p) : farEllipse_(farEllipse(p)) {
    assert(p < largestOrder);
    gaussLegendre(p, nodes_, weights_);
    // Discrete orthogonality at the nodes: ℓ_j = Σ_k w_j·P_k(u_j)·(2k+1)/2·P_k.
    legendre_.assign(p * p, 0.0);
    std::vector<double> values(p);
    for (std::size_t j = 0; j < p; ++j) {
        legendreValues(p, nodes_[j], values.data());
        for (std::size_t k = 0; k < p; ++k) legendre_[j * p + k] = weights_[j] * values[k] * (2.0 * k + 1.0) / 2.0;
    }
    std::size_t first = 0;
    for (const std::size_t order : fineOrders) {
        FineRule fine;
        gaussLegendre(order, fine.nodes, fine.weights);
        fine.first = first;
        first += order;
        fine.basis.assign(order * p, 0.0);
        for (std::size_t m = 0; m < order; ++m) {
            legendreValues(p, fine.nodes[m], values.data());
            for (std::size_t j = 0; j < p; ++j) {
                double sum = 0.0;
                for (std::size_t k = 0; k < p; ++k) sum += legendre_[j * p + k] * values[k];
                fine.basis[m * p + j] = sum;
            }
        }
        fine_.push_back(std::move(fine));
    }
    assert(first == finePointCount);
}

const PanelRule& PanelRule::of(std::size_t p) {
    assert(p < largestOrder);
    static std::array<std::once_flag, largestOrder> made;
    static std::array<std::unique_ptr<const PanelRule>, largestOrder> rules;
    std::call_once(made[p], [p] { rules[p] = std::make_unique<const PanelRule>(p); });
    return *rules[p];
}

std::vector<Anchored> PanelRule::finePoints(const Face& face, const Panel& panel) const {
    const double centre = (panel.t0 + panel.t1) / 2, halfWidth = (panel.t1 - panel.t0) / 2;
    std::vector<Anchored> points;
    points.reserve(finePointCount);
    for (const FineRule& fine : fine_)
        for (const double u : fine.nodes) points.push_back(face.anchored(centre + halfWidth * u));
    return points;
}

bool PanelRule::addNearIntegrals(const Face& face, const Panel& panel, const Anchored* points, const Target& target,
                                 const FaceRoots& found, double factor, double* row) const {
    const std::size_t p = order();
    const double centre = (panel.t0 + panel.t1) / 2;
    const double halfWidth = (panel.t1 - panel.t0) / 2;

    // X(t) − z vanishes at each root of Face::roots (and far beyond [0, π]): as a function of
    // t the kernel is ln|t − r| at each such root plus an analytic remainder.
    const Complex* roots = found.roots;
    const std::size_t rootCount = found.count;
    Complex close[mostRoots];
    std::size_t closeCount = 0;
    double nearest = HUGE_VAL;
    const double far = farEllipse_;
    double nearestLeft = far;  // the nearest root left in the remainder
    for (std::size_t r = 0; r < rootCount; ++r) {
        const Complex rho = (roots[r] - centre) / halfWidth;
        // The ellipse through ρ has a semi-major axis (e + 1/e)/2 ≥ |ρ|, so e ≥ |ρ|.
        if (!(std::norm(rho) < far * far)) continue;
        const double e = ellipseParameter(rho);
        nearest = std::min(nearest, e);
        if (e < closeRoot)
            close[closeCount++] = rho;
        else
            nearestLeft = std::min(nearestLeft, e);
    }
    if (nearest >= far) return false;

    const FineRule* fine = &remainderRule(nearestLeft);

    // ln|X(t) − z|: on the target's own face from the exact parameters, elsewhere from the positions.
    const bool onFace = target.face == panel.face;
    auto squaredDistance = [&](std::size_t m, double t) {
        if (!onFace) return std::norm(points[fine->first + m] - target.at);
        const double d = face.separation(t, target.t);
        return d * d;
    };

    // The remainder by the fine rule (its logarithms taken together), the close roots by their moments.
    double sums[largestOrder] = {};
    double logs[largestOrder];
    const std::size_t count = fine->nodes.size();
    for (std::size_t m = 0; m < count; ++m) {
        const double u = fine->nodes[m];
        double quotient = squaredDistance(m, centre + halfWidth * u);
        for (std::size_t c = 0; c < closeCount; ++c) quotient /= halfWidth * halfWidth * std::norm(u - close[c]);
        logs[m] = quotient;
    }
    logInPlace(logs, count);
    for (std::size_t m = 0; m < count; ++m) logs[m] = fine->weights[m] * 0.5 * logs[m];
    addAgainstBasis(count, p, logs, fine->basis.data(), sums);
    const double logWidth = closeCount > 0 ? std::log(halfWidth) : 0.0;
    for (std::size_t c = 0; c < closeCount; ++c) {
        double moments[largestOrder];
        legendreLogMoments(p, close[c], moments);
        for (std::size_t j = 0; j < p; ++j) {
            double sum = weights_[j] * logWidth;
            for (std::size_t k = 0; k < p; ++k) sum += legendre_[j * p + k] * moments[k];
            sums[j] += sum;
        }
    }
    for (std::size_t j = 0; j < p; ++j) row[j] -= factor * halfWidth * sums[j];
    return true;
}

bool PanelRule::addFieldIntegrals(const Face& face, const Panel& panel, const Anchored* points, const Anchored& z,
                                  Point normal, const FaceRoots& found, double factor, double* row) const {
    const std::size_t p = order();
    const double centre = (panel.t0 + panel.t1) / 2;
    const double halfWidth = (panel.t1 - panel.t0) / 2;

    // n/(z − X(t)) has a simple pole at each root r of X(t) − z, with residue −n/X'(r): the
    // close ones are taken out as (n/X'(r))/(t − r) and integrated against the Legendre
    // polynomials in closed form (the Legendre functions of the second kind), the analytic
    // remainder by a fine rule as for the logarithm.
    const Complex* roots = found.roots;
    const std::size_t rootCount = found.count;
    Complex close[mostRoots], residue[mostRoots];
    std::size_t closeCount = 0;
    double nearest = HUGE_VAL;
    const double far = farEllipse_;
    double nearestLeft = far;
    for (std::size_t r = 0; r < rootCount; ++r) {
        const Complex rho = (roots[r] - centre) / halfWidth;
        if (!(std::norm(rho) < far * far)) continue;
        const double e = ellipseParameter(rho);
        nearest = std::min(nearest, e);
        if (e < closeRoot) {
            residue[closeCount] = normal / face.derivative(roots[r]);
            close[closeCount++] = rho;
        } else {
            nearestLeft = std::min(nearestLeft, e);
        }
    }
    if (nearest >= far) return false;

    const FineRule* fine = &remainderRule(nearestLeft);

    double sums[largestOrder] = {};
    double w[largestOrder];
    const std::size_t count = fine->nodes.size();
    for (std::size_t m = 0; m < count; ++m) {
        const double u = fine->nodes[m];
        Complex f = normal / Complex(z - points[fine->first + m]);
        for (std::size_t c = 0; c < closeCount; ++c) f += residue[c] / (halfWidth * (u - close[c]));
        w[m] = halfWidth * fine->weights[m] * f.real();
    }
    addAgainstBasis(count, p, w, fine->basis.data(), sums);
    for (std::size_t c = 0; c < closeCount; ++c) {
        Complex q[largestOrder + 1];
        legendreSecondKind(p, close[c], q);
        for (std::size_t j = 0; j < p; ++j) {
            Complex sum = 0.0;
            for (std::size_t k = 0; k < p; ++k) sum += legendre_[j * p + k] * q[k];
            sums[j] -= (residue[c] * sum).real();
        }
    }
    for (std::size_t j = 0; j < p; ++j) row[j] += factor * sums[j];
    return true;
}

}  // namespace plattor
