#include "lines/panels.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

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
constexpr std::size_t fineOrders[] = {12, 16, 20, 24, 32};
constexpr std::size_t largestOrder = 64;  // of a panel, bounding the work arrays

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

// sin x by its Taylor series to x^21 for |x| ≤ π/4, where the first term left out is below
// 1e−21 of the sum: the kernel evaluates millions of sines of half parameter differences, and
// this costs a fraction of the general routine, whose argument reduction it never needs.
double smallSine(double x) {
    assert(std::fabs(x) <= pi / 4 + 1e-12);
    const double x2 = x * x;
    double sum = 1.0 / 51090942171709440000.0;  // 1/21!
    for (const double c : {-1.0 / 121645100408832000.0, 1.0 / 355687428096000.0, -1.0 / 1307674368000.0,
                           1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0, -1.0 / 5040.0, 1.0 / 120.0,
                           -1.0 / 6.0})
        sum = sum * x2 + c;
    return x + x * x2 * sum;
}

// cos x by its Taylor series to x^20 for |x| ≤ π/4 (the next term below 1e−20 of the sum).
double smallCosine(double x) {
    assert(std::fabs(x) <= pi / 4 + 1e-12);
    const double x2 = x * x;
    double sum = 1.0 / 2432902008176640000.0;  // 1/20!
    for (const double c : {-1.0 / 6402373705728000.0, 1.0 / 20922789888000.0, -1.0 / 87178291200.0,
                           1.0 / 479001600.0, -1.0 / 3628800.0, 1.0 / 40320.0, -1.0 / 720.0, 1.0 / 24.0, -0.5})
        sum = sum * x2 + c;
    return 1.0 + x2 * sum;
}

// sin x for x ∈ [−π, π] from the two series: π/2 − x and π − x taken with π in two parts, so
// that a point near a face's end keeps its distance to it.
double sine(double x) {
    constexpr double piHigh = 3.141592653589793116, piLow = 1.2246467991473532e-16;
    const double a = std::fabs(x);
    double s;
    if (a <= pi / 4)
        s = smallSine(a);
    else if (a < 3 * pi / 4)
        s = smallCosine((piHigh / 2 - a) + piLow / 2);
    else
        s = smallSine((piHigh - a) + piLow);
    return x < 0 ? -s : s;
}

// The complex parameter t* with X(t*) = z on the face's analytic continuation: in the face's
// frame cos t* = 1 − w, w = (z − start)/(R·e), so t* = 2·asin(√(w/2)); taken from the nearer
// end so that a point close to an edge keeps its few significant digits.
Complex parameterOf(const Face& face, const Anchored& z) {
    const double r = face.halfLength();
    const Complex frame = (face.end - face.start) / (2 * r);
    const Complex fromStart = (z - Anchored{face.start, 0}) / frame / r;
    if (fromStart.real() <= 1.0) return 2.0 * std::asin(std::sqrt(fromStart / 2.0));
    const Complex fromEnd = (z - Anchored{face.end, 0}) / frame / r;
    return pi - 2.0 * std::asin(std::sqrt(-fromEnd / 2.0));
}

}  // namespace

double ellipseParameter(Complex rho) {
    const Complex s = std::sqrt(rho - 1.0) * std::sqrt(rho + 1.0);
    return std::max(std::abs(rho + s), std::abs(rho - s));
}

Point operator-(const Anchored& a, const Anchored& b) { return (a.anchor - b.anchor) + (a.offset - b.offset); }

Anchored mirrored(const Anchored& a) { return {-std::conj(a.anchor), -std::conj(a.offset)}; }

Point fromSegment(Point z, Point a, Point b) {
    const Point d = b - a;
    const double length2 = std::norm(d);
    const double s = length2 > 0 ? std::clamp(((z - a) * std::conj(d)).real() / length2, 0.0, 1.0) : 0.0;
    return z - (a + s * d);
}

double distanceToSegment(Point z, Point a, Point b) { return std::abs(fromSegment(z, a, b)); }

Complex targetParameter(const Face& face, std::size_t faceIndex, const Target& target) {
    return target.face == faceIndex ? Complex(target.t) : parameterOf(face, target.at);
}

double PanelRule::farDistance(const Panel& panel) const {
    // Where X is affine in t, a point at distance d from a chord of length L lies outside the
    // ellipse of parameter 2d/L + √((2d/L)² + 1); towards a face's end t stretches distances
    // (x − x_end ~ t²), which only moves the roots further out. d ≥ e·L is then far for
    // the ellipse e (2e + √(4e² + 1) > e).
    return std::abs(panel.b - panel.a) * farEllipse(order());
}

Anchored Face::anchored(double t) const {
    // 1 − cos t = 2·sin²(t/2), from whichever end is nearer.
    const Point half = (end - start) / 2.0;
    if (t <= pi / 2) {
        const double s = smallSine(t / 2);
        return {start, half * (2 * s * s)};
    }
    const double s = smallSine((pi - t) / 2);
    return {end, -half * (2 * s * s)};
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

void legendreLogMoments(std::size_t n, Complex rho, double* moments) {
    assert(n < largestOrder);
    // q_k = ∫ P_k(u)/(u − ρ) du obeys (k+1)·q_{k+1} = (2k+1)·(ρ·q_k + 2·δ_k0) − k·q_{k−1}. With
    // P_k = (P'_{k+1} − P'_{k−1})/(2k+1), whose boundary terms vanish, integration by parts
    // gives the moment of ln|u − ρ| = Re ln(u − ρ) as −Re(q_{k+1} − q_{k−1})/(2k+1).
    Complex q[largestOrder + 1];
    q[0] = std::log((rho - 1.0) / (rho + 1.0));
    q[1] = rho * q[0] + 2.0;
    for (std::size_t k = 1; k < n; ++k) {
        const double kk = static_cast<double>(k);
        q[k + 1] = ((2 * kk + 1) * rho * q[k] - kk * q[k - 1]) / (kk + 1);
    }
    // ∫ ln|u − ρ| du = Re[(u − ρ)·ln(u − ρ) − u] between −1 and 1; (u − ρ)·ln(u − ρ) → 0 at a root.
    auto xLogX = [](Complex x) { return x == 0.0 ? Complex(0) : x * std::log(x); };
    moments[0] = (xLogX(1.0 - rho) - xLogX(-1.0 - rho)).real() - 2.0;
    for (std::size_t k = 1; k < n; ++k) moments[k] = -(q[k + 1] - q[k - 1]).real() / (2.0 * k + 1.0);
}

PanelRule::PanelRule(std::size_t p) {
    gaussLegendre(p, nodes_, weights_);
    // Discrete orthogonality at the nodes: ℓ_j = Σ_k w_j·P_k(u_j)·(2k+1)/2·P_k.
    legendre_.assign(p * p, 0.0);
    std::vector<double> values(p);
    for (std::size_t j = 0; j < p; ++j) {
        legendreValues(p, nodes_[j], values.data());
        for (std::size_t k = 0; k < p; ++k) legendre_[j * p + k] = weights_[j] * values[k] * (2.0 * k + 1.0) / 2.0;
    }
    for (const std::size_t order : fineOrders) {
        FineRule fine;
        gaussLegendre(order, fine.nodes, fine.weights);
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
}

bool PanelRule::addNearIntegrals(const Face& face, const Panel& panel, const Target& target, Complex tStar,
                                 double factor, double* row) const {
    const std::size_t p = order();
    const double centre = (panel.t0 + panel.t1) / 2;
    const double halfWidth = (panel.t1 - panel.t0) / 2;

    // X(t) − z vanishes at t*, −t* and 2π − t* (and far beyond [0, π]): as a function of t the
    // kernel is ln|t − r| at each such root plus an analytic remainder.
    const Complex roots[] = {tStar, -tStar, 2 * pi - tStar};
    Complex close[3];
    std::size_t closeCount = 0;
    double nearest = HUGE_VAL;
    const double far = farEllipse(p);
    double nearestLeft = far;  // the nearest root left in the remainder
    for (const Complex root : roots) {
        const Complex rho = (root - centre) / halfWidth;
        // The ellipse through ρ has a semi-major axis (e + 1/e)/2 ≥ |ρ|, so e ≥ |ρ|.
        if (std::norm(rho) >= far * far) continue;
        const double e = ellipseParameter(rho);
        nearest = std::min(nearest, e);
        if (e < closeRoot)
            close[closeCount++] = rho;
        else
            nearestLeft = std::min(nearestLeft, e);
    }
    if (nearest >= far) return false;

    // The fewest remainder points with e^(−(2m − p)) ≤ closeRoot^(−(64 − p)).
    const double needed = (64.0 - p) * std::log(closeRoot) / std::log(nearestLeft) + p;
    const FineRule* fine = &fine_.back();
    for (const FineRule& candidate : fine_)
        if (2.0 * candidate.nodes.size() >= needed) {
            fine = &candidate;
            break;
        }

    // ln|X(t) − z|: on the target's own face from the exact parameters,
    // |cos t − cos t_i| = 2·|sin((t + t_i)/2)·sin((t − t_i)/2)|, elsewhere from the positions.
    const bool onFace = target.face == panel.face;
    const double r = face.halfLength();
    auto squaredDistance = [&](double t) {
        if (!onFace) return std::norm(face.anchored(t) - target.at);
        const double d = 2 * r * sine((t + target.t) / 2) * sine((t - target.t) / 2);
        return d * d;
    };

    // The remainder by the fine rule, the close roots by their moments.
    double sums[largestOrder] = {};
    assert(p < largestOrder);
    for (std::size_t m = 0; m < fine->nodes.size(); ++m) {
        const double u = fine->nodes[m];
        double quotient = squaredDistance(centre + halfWidth * u);
        for (std::size_t c = 0; c < closeCount; ++c) quotient /= halfWidth * halfWidth * std::norm(u - close[c]);
        const double w = fine->weights[m] * 0.5 * std::log(quotient);
        const double* basis = &fine->basis[m * p];
        for (std::size_t j = 0; j < p; ++j) sums[j] += w * basis[j];
    }
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

}  // namespace plattor
