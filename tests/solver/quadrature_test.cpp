// The panel integrals of the solve against brute-force quadrature: the Gauss–Legendre rule, the
// Legendre log moments, and both kernels over segments and arcs, however close the point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "solver/quadrature.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

constexpr double pi = std::numbers::pi;

// ∫ f over [a, b] with a logarithmic singularity or a pole near s (anywhere): 20-point Gauss
// rules on pieces that halve towards s, 60 times (what is left, 1e−18 of the interval, is dropped).
double gradedIntegral(const std::function<double(double)>& f, double a, double b, double s) {
    std::vector<double> x, w;
    gaussLegendre(20, x, w);
    auto gauss = [&](double lo, double hi) {
        double sum = 0;
        for (std::size_t k = 0; k < x.size(); ++k) sum += w[k] * f((lo + hi) / 2 + (hi - lo) / 2 * x[k]);
        return sum * (hi - lo) / 2;
    };
    auto towards = [&](double from, double to) {  // pieces of [from, to] halving towards `to`
        double sum = 0, lo = from;
        for (int halving = 0; halving < 60; ++halving) {
            const double hi = lo + (to - lo) / 2;
            if (hi == lo || hi == to) break;
            sum += gauss(std::min(lo, hi), std::max(lo, hi)) * (hi > lo ? 1 : -1);
            lo = hi;
        }
        return sum;
    };
    s = std::clamp(s, a, b);
    return towards(a, s) - towards(b, s);
}

TEST(GaussLegendre, IntegratesPolynomialsUpToDegreeTwoNMinusOneExactly) {
    for (const std::size_t n : {1u, 6u, 10u, 32u}) {
        std::vector<double> x, w;
        gaussLegendre(n, x, w);
        for (std::size_t k = 0; k < 2 * n; ++k) {
            double sum = 0;
            for (std::size_t j = 0; j < n; ++j) sum += w[j] * std::pow(x[j], static_cast<double>(k));
            EXPECT_NEAR(sum, k % 2 ? 0.0 : 2.0 / (k + 1.0), 1e-14) << "n " << n << " degree " << k;
        }
        for (std::size_t j = 1; j < n; ++j) EXPECT_LT(x[j - 1], x[j]);
    }
}

// Roots on, near and off the interval, up to about the ellipse of parameter 2 beyond which the
// near integrals leave a root in the remainder (and where the upward recurrence starts to lose
// digits: at 1.7, parameter 3.1, 5e−13).
class LogMoments : public ::testing::TestWithParam<std::complex<double>> {};

TEST_P(LogMoments, AgreeWithBruteForceQuadrature) {
    const std::complex<double> rho = GetParam();
    const std::size_t n = 11;
    std::vector<double> moments(n);
    legendreLogMoments(n, rho, moments.data());
    for (std::size_t k = 0; k < n; ++k) {
        auto integrand = [&](double u) {
            const double pk = std::legendre(static_cast<unsigned>(k), u);
            return pk * std::log(std::abs(u - rho));
        };
        EXPECT_NEAR(moments[k], gradedIntegral(integrand, -1, 1, rho.real()), 2e-13) << "k " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Roots, LogMoments,
                         ::testing::Values(std::complex<double>(0.3, 0), std::complex<double>(-0.999, 0),
                                           std::complex<double>(1.24, 0), std::complex<double>(0.2, 0.05),
                                           std::complex<double>(-1.3, 0.4), std::complex<double>(0.9, 1e-7),
                                           std::complex<double>(1.0 + 1e-9, 0)),
                         [](const auto& info) {
                             return testing::caseName({{"Real", info.param.real()}, {"_Imag", info.param.imag()}});
                         });

// Three faces, none horizontal, so that the integrals assume no orientation: a segment of
// length 5 with slope 4/3; an arc of radius 2 about (0.3, 0.2) from the angle 0.3, turning by 2
// counter-clockwise, and the same turning by 3.1 clockwise, its ends nearly closing the
// circle. Their points are computed here from the definition of the parameter,
// X − start = (end − start)·u and (start − c)·(e^{iΔθ·u} − 1), u = sin²(t/2), not by Face.
const Point lineStart(0.2, -0.1), lineEnd(3.2, 3.9);
const Point arcCentre(0.3, 0.2);
constexpr double arcRadius = 2, arcAngle = 0.3;

enum class Shape { segment, arc, wideArc };
enum class Kernel { potential, field };  // −ln|X − z|, Re[n/(z − X)]

double sweepOf(Shape shape) { return shape == Shape::arc ? 2.0 : -3.1; }

Face faceOf(Shape shape) {
    if (shape == Shape::segment) return Face::line(lineStart, lineEnd);
    return Face::arc(arcCentre, arcCentre + std::polar(arcRadius, arcAngle),
                     arcCentre + std::polar(arcRadius, arcAngle + sweepOf(shape)), sweepOf(shape));
}

// X(t) − start, to full relative precision near the start.
Point offsetFromStart(Shape shape, double t) {
    const double s = std::sin(t / 2), u = s * s;
    if (shape == Shape::segment) return (lineEnd - lineStart) * u;
    // e^{ix} − 1 = 2i·sin(x/2)·e^{ix/2}
    const double x = sweepOf(shape) * u;
    return std::polar(arcRadius, arcAngle) * Point(0, 2 * std::sin(x / 2)) * std::polar(1.0, x / 2);
}

// |X(t) − X(s)| from the parameters: u(t) − u(s) = sin((t + s)/2)·sin((t - s)/2), so that
// points a few rounding units apart keep their distance.
double separation(Shape shape, double t, double s) {
    const double du = std::sin((t + s) / 2) * std::sin((t - s) / 2);
    if (shape == Shape::segment) return std::abs(lineEnd - lineStart) * std::fabs(du);
    return 2 * arcRadius * std::fabs(std::sin(sweepOf(shape) * du / 2));
}

// The point of an arc's circle where the arc would be at u, moved `outwards` along the radius.
Point onCircle(Shape shape, double u, double outwards) {
    return arcCentre + std::polar(arcRadius + outwards, arcAngle + sweepOf(shape) * u);
}

struct NearCase {
    const char* name;
    Shape shape;
    Kernel kernel;
    double t0, t1;   // the panel
    Point target;    // off the face; or, if onFaceAt ≥ 0, the face's point at that parameter
    double onFaceAt;
    bool fromStart = false;  // target is the offset from the face's start, where another face meets it
};

void PrintTo(const NearCase& c, std::ostream* os) { *os << c.name; }

// The normal of the field kernel's target: along neither face.
const Point targetNormal(0.28, 0.96);

class PanelIntegrals : public ::testing::TestWithParam<NearCase> {};

TEST_P(PanelIntegrals, AgreeWithBruteForceQuadratureOfTheLagrangeBasis) {
    const NearCase c = GetParam();
    const Face face = faceOf(c.shape);
    const Anchored a = face.anchored(c.t0), b = face.anchored(c.t1);
    const Panel panel{0, c.t0, c.t1, a, b, (a.z() + b.z()) / 2.0, std::abs(b - a) / 2, 8, 0};
    const Target target = c.onFaceAt >= 0 ? Target{face.anchored(c.onFaceAt), 0, c.onFaceAt}
                          : c.fromStart   ? Target{{face.start(), c.target}, noFace, 0}
                                          : Target{{c.target, 0}, noFace, 0};
    // z − start, exact where the target is given as an offset from the start.
    const Point fromStart = c.fromStart ? c.target : c.target - face.start();
    const std::size_t p = 8;
    const PanelRule rule(p);
    std::vector<double> row(p, 0.0);
    const std::vector<Anchored> points = rule.finePoints(face, panel);
    const FaceRoots roots = targetRoots(face, 0, target);
    const double centre = (c.t0 + c.t1) / 2, half = (c.t1 - c.t0) / 2;
    // The kernel at t, from the test's own positions.
    auto kernel = [&](double t) {
        if (c.kernel == Kernel::field) return (targetNormal / (fromStart - offsetFromStart(c.shape, t))).real();
        const double distance = c.onFaceAt >= 0 ? separation(c.shape, t, c.onFaceAt)
                                                : std::abs(offsetFromStart(c.shape, t) - fromStart);
        return -std::log(distance);
    };
    const bool near = c.kernel == Kernel::potential
                          ? rule.addNearIntegrals(face, panel, points.data(), target, roots, 2.0, row.data())
                          : rule.addFieldIntegrals(face, panel, points.data(), target.at, targetNormal, roots, 2.0, row.data());
    if (!near) {
        // Far: the caller's share, the panel's own nodes.
        for (std::size_t j = 0; j < p; ++j) row[j] = 2.0 * half * rule.weight(j) * kernel(centre + half * rule.node(j));
    }
    for (std::size_t j = 0; j < p; ++j) {
        auto integrand = [&](double t) {
            const double u = (t - centre) / half;
            double basis = 1;
            for (std::size_t m = 0; m < p; ++m)
                if (m != j) basis *= (u - rule.node(m)) / (rule.node(j) - rule.node(m));
            return 2.0 * basis * kernel(t);
        };
        const double singular = c.onFaceAt >= 0 ? c.onFaceAt : roots.roots[0].real();  // t* leads the roots
        EXPECT_NEAR(row[j], gradedIntegral(integrand, c.t0, c.t1, singular), 1e-12 * (1 + std::fabs(row[j])))
            << "basis " << j;
    }
}

constexpr auto segment = Shape::segment;
constexpr auto arc = Shape::arc;
constexpr auto wideArc = Shape::wideArc;
constexpr auto potential = Kernel::potential;
constexpr auto field = Kernel::field;
const double ownNode = 1.2 + 0.2 * (1 - 0.9602898564975363);  // the first of 8 nodes on [1.2, 1.6]

INSTANTIATE_TEST_SUITE_P(
    Targets, PanelIntegrals,
    ::testing::Values(
        NearCase{"OwnNode", segment, potential, 1.2, 1.6, {}, ownNode},
        NearCase{"OwnPanelInterior", segment, potential, 1.2, 1.6, {}, 1.43},
        NearCase{"NeighbourPanel", segment, potential, 1.2, 1.6, {}, 1.6005},
        NearCase{"AtTheFaceEnd", segment, potential, 0.0, 0.05, {}, 0.0007},
        NearCase{"JustOffTheFace", segment, potential, 1.2, 1.6, Point(1.7 - 0.0008, 1.9 + 0.0006), -1},
        NearCase{"BeyondTheEnd", segment, potential, 0.0, 0.05, Point(0.2 - 0.0006, -0.1 - 0.0008), -1},
        NearCase{"AtTheOtherEnd", segment, potential, 3.1, pi, {}, 3.1409},
        // On a face at right angles to this one, 1e−12 from the corner where they meet: closer
        // than a rounding unit of the positions can resolve.
        NearCase{"NextFaceAtTheCorner", segment, potential, 0.0, 2e-6, Point(-0.8e-12, 0.6e-12), -1, true},
        // No root close enough to take out: the remainder rule alone, shorter.
        NearCase{"APanelLengthAway", segment, potential, 1.2, 1.6, Point(2.5, 1.3), -1},
        NearCase{"Far", segment, potential, 1.2, 1.6, Point(40, -30), -1},
        NearCase{"ArcOwnNode", arc, potential, 1.2, 1.6, {}, ownNode},
        NearCase{"ArcNeighbourPanel", arc, potential, 1.2, 1.6, {}, 1.6005},
        NearCase{"ArcAtTheOtherEnd", arc, potential, 3.1, pi, {}, 3.1409},
        NearCase{"ArcJustInside", arc, potential, 1.2, 1.6, onCircle(arc, 0.4, -0.0008), -1},
        NearCase{"ArcJustOutside", arc, potential, 1.2, 1.6, onCircle(arc, 0.4, 0.0008), -1},
        // On the circle beyond the arc's ends: the roots of X(t) = z off [0, π].
        NearCase{"ArcOnTheCircleBeyondTheEnd", arc, potential, 3.1, pi, onCircle(arc, 1.0004, 0), -1},
        NearCase{"ArcOnTheCircleBeforeTheStart", arc, potential, 0.0, 0.05, onCircle(arc, -0.0004, 0), -1},
        // On a radius through the arc's start, 1e−12 from it.
        NearCase{"ArcNextFaceAtTheCorner", arc, potential, 0.0, 2e-6, std::polar(-1e-12, arcAngle), -1, true},
        NearCase{"ArcFar", arc, potential, 1.2, 1.6, Point(-30, 40), -1},
        // The normal field at points off the panel's line: the poles near it.
        NearCase{"FieldJustOffTheFace", segment, field, 1.2, 1.6, Point(1.7 - 0.0008, 1.9 + 0.0006), -1},
        NearCase{"FieldBeyondTheEnd", segment, field, 0.0, 0.05, Point(0.2 - 0.0006, -0.1 - 0.0008), -1},
        NearCase{"FieldNextFaceAtTheCorner", segment, field, 0.0, 2e-6, Point(-0.8e-12, 0.6e-12), -1, true},
        NearCase{"FieldAPanelLengthAway", segment, field, 1.2, 1.6, Point(2.5, 1.3), -1},
        NearCase{"FieldFar", segment, field, 1.2, 1.6, Point(40, -30), -1},
        NearCase{"FieldArcJustInside", arc, field, 1.2, 1.6, onCircle(arc, 0.4, -0.0008), -1},
        NearCase{"FieldArcJustOutside", arc, field, 1.2, 1.6, onCircle(arc, 0.4, 0.0008), -1},
        NearCase{"FieldArcBeyondTheEnd", arc, field, 3.1, pi, onCircle(arc, 1.0004, 0.0003), -1},
        NearCase{"FieldArcNextFaceAtTheCorner", arc, field, 0.0, 2e-6, std::polar(-1e-12, arcAngle), -1, true},
        // Beyond the end of an arc that nearly closes its circle: the point's angle from the
        // start lies past the half turn, and its root near the panel is on the next turn.
        NearCase{"WideArcOnTheCircleBeyondTheEnd", wideArc, potential, 2.9, pi, onCircle(wideArc, 1.016, 0), -1},
        NearCase{"FieldWideArcBeyondTheEnd", wideArc, field, 2.9, pi, onCircle(wideArc, 1.016, 0.002), -1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plattor
