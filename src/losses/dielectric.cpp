#include "losses/dielectric.hpp"

#include <cmath>
#include <numbers>
#include <string>

#include "base/error.hpp"
#include "base/text.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;

// The wideband model's frequency shape per unit Δε: log10((ω2 + jω)/(ω1 + jω))/(m2 − m1). It
// runs from 1 at DC to 0 far above ω2; its imaginary part is negative at every ω > 0 (a loss)
// and nearly constant, −π/(2·ln 10·(m2 − m1)), between the corners.
Complex widebandShape(const DielectricSettings& s, double frequency) {
    const double omega = 2.0 * std::numbers::pi * frequency;
    const double omega1 = std::pow(10.0, s.lowerCornerExponent);
    const double omega2 = std::pow(10.0, s.upperCornerExponent);
    return std::log10(Complex(omega2, omega) / Complex(omega1, omega)) /
           (s.upperCornerExponent - s.lowerCornerExponent);
}

void checkMaterial(double er, double tanDelta, const DielectricSettings& s, double frequency) {
    if (!(er >= 1.0) || !std::isfinite(er))
        throw RunError("relative permittivity " + numberText(er) + ": must be at least 1");
    if (!(tanDelta >= 0.0) || !std::isfinite(tanDelta))
        throw RunError("loss tangent " + numberText(tanDelta) + ": must be finite and not negative");
    if (!(frequency >= 0.0) || !std::isfinite(frequency))
        throw RunError("frequency " + numberText(frequency) + " Hz: must be finite and not negative");
    if (s.model == DielectricModel::constant) return;
    if (!(s.fitFrequency > 0.0) || !std::isfinite(s.fitFrequency))
        throw RunError("fit frequency " + numberText(s.fitFrequency) + " Hz: must be positive");
    if (!(s.upperCornerExponent > s.lowerCornerExponent))
        throw RunError("wideband dielectric band 10^" + numberText(s.lowerCornerExponent) + " ... 10^" +
                       numberText(s.upperCornerExponent) + " rad/s: its upper corner must lie above its lower");
}

}  // namespace

Complex relativePermittivity(double er, double tanDelta, const DielectricSettings& settings, double frequency) {
    checkMaterial(er, tanDelta, settings, frequency);
    if (settings.model == DielectricModel::constant || tanDelta == 0.0) return {er, -er * tanDelta};

    // ε = ε∞ + Δε·K(ω), K = K' − jK''. At the fit frequency ε'' = Δε·K'' must be er·tanδ and
    // ε' = ε∞ + Δε·K' must be er: two linear equations, solved in turn.
    const Complex fit = widebandShape(settings, settings.fitFrequency);
    const double deltaEpsilon = er * tanDelta / -fit.imag();
    const double epsilonInfinity = er - deltaEpsilon * fit.real();
    if (!(epsilonInfinity >= 1.0))
        throw RunError("loss tangent " + numberText(tanDelta) + " at relative permittivity " + numberText(er) +
                       ": too large for the wideband dielectric model (its permittivity far above the band would be " +
                       numberText(epsilonInfinity) + ", below 1)");
    return epsilonInfinity + deltaEpsilon * widebandShape(settings, frequency);
}

}  // namespace plattor
