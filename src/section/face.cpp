#include "section/face.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace plattor {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

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

// e^{ix} − 1 = −2·sin²(x/2) + i·sin x, to full relative precision for small x.
Complex unitTurnLessOne(double x) {
    const double s = std::sin(x / 2);
    return {-2 * s * s, std::sin(x)};
}

// ln(1 + x), to full relative precision for small x.
Complex logOnePlus(Complex x) {
    return {0.5 * std::log1p(2 * x.real() + std::norm(x)), std::atan2(x.imag(), 1 + x.real())};
}

// t with sin²(t/2) = u: 2·asin(√u), Re t ∈ [0, π].
Complex parameterOfU(Complex u) { return 2.0 * std::asin(std::sqrt(u)); }

}  // namespace

double sine(double x) {
    // π/2 − x and π − x taken with π in two parts, so that a point near a face's end keeps its
    // distance to it.
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

Anchored mirrored(const Anchored& a) { return {-std::conj(a.anchor), -std::conj(a.offset)}; }

Anchored reflected(const Anchored& a) { return {std::conj(a.anchor), std::conj(a.offset)}; }

Face Face::line(Point start, Point end) {
    assert(start != end);
    Face f;
    f.start_ = start;
    f.end_ = end;
    return f;
}

Face Face::arc(Point centre, Point start, Point end, double sweep) {
    assert(sweep != 0.0 && std::fabs(sweep) < pi);
    Face f;
    f.start_ = start;
    f.end_ = end;
    f.centre_ = centre;
    f.radius_ = std::abs(start - centre);
    // The turn from start to end, in the sense of `sweep`.
    double turn = std::arg((end - centre) / (start - centre));
    if (sweep > 0 && turn < 0) turn += 2 * pi;
    if (sweep < 0 && turn > 0) turn -= 2 * pi;
    assert(std::fabs(std::abs(end - centre) - f.radius_) <= 1e-9 * f.radius_ && std::fabs(turn) < pi);
    f.sweep_ = turn;
    return f;
}

double Face::length() const { return isArc() ? radius_ * std::fabs(sweep_) : std::abs(end_ - start_); }

Anchored Face::anchored(double t) const {
    // u = sin²(t/2) from the start, 1 − u = sin²((π − t)/2) from the end.
    if (t <= pi / 2) {
        const double s = sine(t / 2), u = s * s;
        if (!isArc()) return {start_, (end_ - start_) * u};
        return {start_, (start_ - centre_) * unitTurnLessOne(u * sweep_)};
    }
    const double s = sine((pi - t) / 2), rest = s * s;
    if (!isArc()) return {end_, (start_ - end_) * rest};
    return {end_, (end_ - centre_) * unitTurnLessOne(-rest * sweep_)};
}

double Face::speed(double t) const {
    // du/dt = sin(t)/2.
    const double dXdu = isArc() ? radius_ * std::fabs(sweep_) : std::abs(end_ - start_);
    return dXdu * std::sin(t) / 2;
}

Complex Face::derivative(Complex t) const {
    // dX/du·du/dt, du/dt = sin(t)/2; on an arc dX/du = i·Δθ·(X − c), X − c = (start − c)·e^{iΔθ·u}.
    const Complex dudt = std::sin(t) / 2.0;
    if (!isArc()) return (end_ - start_) * dudt;
    const Complex s = std::sin(t / 2.0);
    return Complex(0, sweep_) * (start_ - centre_) * std::exp(Complex(0, sweep_) * s * s) * dudt;
}

Point Face::normal(double t) const {
    if (!isArc()) {
        const Point d = end_ - start_;
        return Point(0, -1) * d / std::abs(d);
    }
    // The tangent of a counter-clockwise arc is i·(X − c)/r; turned clockwise, (X − c)/r.
    const Point radial = (point(t) - centre_) / radius_;
    return sweep_ > 0 ? radial : -radial;
}

Point Face::startDirection() const {
    if (!isArc()) return (end_ - start_) / std::abs(end_ - start_);
    const Point radial = (start_ - centre_) / radius_;
    return sweep_ > 0 ? Point(0, 1) * radial : Point(0, -1) * radial;
}

Point Face::endDirection() const {
    if (!isArc()) return (end_ - start_) / std::abs(end_ - start_);
    const Point radial = (end_ - centre_) / radius_;
    return sweep_ > 0 ? Point(0, 1) * radial : Point(0, -1) * radial;
}

Complex Face::parameterOf(const Anchored& z) const {
    if (!isArc()) {
        const Complex fromStart = (z - Anchored{start_, 0}) / (end_ - start_);
        if (fromStart.real() <= 0.5) return parameterOfU(fromStart);
        const Complex fromEnd = (Anchored{end_, 0} - z) / (end_ - start_);
        return pi - parameterOfU(fromEnd);
    }
    // e^{i·u·Δθ} = (z − c)/(start − c), and 1 − u likewise from the end.
    const Complex fromStart = (z - Anchored{start_, 0}) / (start_ - centre_);
    if (fromStart == -1.0) return {pi / 2, 1e3};  // the centre: no root anywhere
    const Complex u = Complex(0, -1) * logOnePlus(fromStart) / sweep_;
    if (u.real() <= 0.5) return parameterOfU(u);
    const Complex fromEnd = (z - Anchored{end_, 0}) / (end_ - centre_);
    const Complex rest = Complex(0, 1) * logOnePlus(fromEnd) / sweep_;
    return pi - parameterOfU(rest);
}

std::size_t Face::roots(Complex tStar, Complex* roots) const {
    std::size_t count = 0;
    const auto add = [&](Complex t) {
        roots[count++] = t;
        roots[count++] = -t;
        roots[count++] = 2 * pi - t;
    };
    add(tStar);
    if (isArc()) {
        const Complex s = std::sin(tStar / 2.0), u = s * s;
        for (const int turn : {-1, 1}) add(parameterOfU(u + 2 * pi * turn / sweep_));
    }
    return count;
}

double Face::separation(double t, double s) const {
    // u(t) − u(s) = (cos s − cos t)/2 = sin((t + s)/2)·sin((t − s)/2).
    const double du = sine((t + s) / 2) * sine((t - s) / 2);
    if (!isArc()) return std::abs(end_ - start_) * std::fabs(du);
    return 2 * radius_ * std::fabs(std::sin(du * sweep_ / 2));
}

Face Face::mirrored() const {
    Face f = *this;
    f.start_ = -std::conj(start_);
    f.end_ = -std::conj(end_);
    f.centre_ = -std::conj(centre_);
    f.sweep_ = -sweep_;
    return f;
}

Point fromSegment(Point z, Point a, Point b) {
    const Point d = b - a;
    const double length2 = std::norm(d);
    const double s = length2 > 0 ? std::clamp(((z - a) * std::conj(d)).real() / length2, 0.0, 1.0) : 0.0;
    return z - (a + s * d);
}

double distanceToSegment(Point z, Point a, Point b) { return std::abs(fromSegment(z, a, b)); }

double distanceToFace(Point z, const Face& face) {
    if (!face.isArc()) return distanceToSegment(z, face.start(), face.end());
    // Within the arc's angular range the nearest point lies on the circle; else an end is nearest.
    const Point fromCentre = z - face.centre();
    const double angle = std::arg(fromCentre / (face.start() - face.centre()));
    const double sweep = std::arg((face.end() - face.centre()) / (face.start() - face.centre()));
    const bool within = sweep > 0 ? angle >= 0 && angle <= sweep : angle <= 0 && angle >= sweep;
    if (within) return std::fabs(std::abs(fromCentre) - face.radius());
    return std::min(std::abs(z - face.start()), std::abs(z - face.end()));
}

}  // namespace plattor
