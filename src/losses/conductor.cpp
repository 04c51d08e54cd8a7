#include "losses/conductor.hpp"

#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "base/error.hpp"
#include "base/text.hpp"
#include "physics/constants.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;
constexpr double pi = std::numbers::pi;

void checkConductor(const ConductorSettings& s, double frequency) {
    if (!(s.conductivity > 0.0) || !std::isfinite(s.conductivity))
        throw RunError("conductivity " + numberText(s.conductivity) + " S/m: must be positive");
    if (!(frequency >= 0.0) || !std::isfinite(frequency))
        throw RunError("frequency " + numberText(frequency) + " Hz: must be finite and not negative");
    const bool rms = s.roughness == Roughness::hammerstad || s.roughness == Roughness::groisse;
    if (rms && !(s.rq > 0.0 && std::isfinite(s.rq)))
        throw RunError("RMS roughness " + numberText(s.rq) + " m: the roughness model needs it positive");
    if (s.roughness == Roughness::huray && !(s.rz > 0.0 && std::isfinite(s.rz)))
        throw RunError("roughness Rz " + numberText(s.rz) + " m: the Huray model needs it positive");
}

}  // namespace

double skinDepth(double conductivity, double frequency) {
    if (frequency == 0.0) return std::numeric_limits<double>::infinity();
    return 1.0 / std::sqrt(pi * frequency * vacuumPermeability * conductivity);
}

double surfaceResistance(double conductivity, double frequency) {
    return std::sqrt(pi * frequency * vacuumPermeability / conductivity);
}

HuraySpheres cannonballSpheres(double rz) {
    // Three square layers of touching spheres: a sphere rests on the four below it, its centre
    // √((2r)² − (r√2)²) = r√2 above theirs; bottom to top the stack is 2r + 2·r√2.
    const double r = rz / (2.0 + 2.0 * std::numbers::sqrt2);
    const double tile = 36.0 * r * r;
    const int count = 14;
    return {r, tile, count, count * 4.0 * pi * r * r / tile};
}

Complex roughnessFactor(const ConductorSettings& s, double frequency) {
    checkConductor(s, frequency);
    const double delta = skinDepth(s.conductivity, frequency);
    switch (s.roughness) {
    case Roughness::smooth: return 1.0;
    case Roughness::hammerstad: {
        const double ratio = s.rq / delta;
        return 1.0 + (2.0 / pi) * std::atan(1.4 * ratio * ratio);
    }
    case Roughness::groisse: return 1.0 + std::exp(-std::pow(delta / (2.0 * s.rq), 1.6));
    case Roughness::huray: {
        // Each sphere's term 1/(1 + (1 − j)·x), x = δ/(2r), is analytic in jω (x ∝ 1/√ω and
        // (1 − j)/√ω ∝ 1/√(jω)), and times the smooth (1 + j) its real part is
        // 1/((1 + x)² + x²) = 1/(1 + δ/r + δ²/(2r²)): Huray's absorption, made causal.
        const HuraySpheres balls = cannonballSpheres(s.rz);
        if (std::isinf(delta)) return 1.0;
        const double x = delta / (2.0 * balls.radius);
        return 1.0 + 1.5 * balls.areaRatio / Complex(1.0 + x, -x);
    }
    }
    return 1.0;
}

Complex surfaceImpedance(const ConductorSettings& s, double frequency) {
    const Complex k = roughnessFactor(s, frequency);
    return k * surfaceResistance(s.conductivity, frequency) * Complex(1.0, 1.0);
}

Complex internalImpedance(double rdc, double skinResistance, Complex roughness) {
    assert(rdc > 0 && skinResistance >= 0);
    if (skinResistance == 0) return rdc;
    const Complex x = Complex(1.0, 1.0) * (skinResistance / rdc);
    return roughness * Complex(1.0, 1.0) * skinResistance / std::tanh(x);
}

}  // namespace plattor
