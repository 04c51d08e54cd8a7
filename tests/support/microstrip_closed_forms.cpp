#include "support/microstrip_closed_forms.hpp"

#include <cmath>
#include <numbers>

namespace plattor::testing {

namespace {

constexpr double pi = std::numbers::pi;

// Hammerstad–Jensen's exponents of the filling factor: a(u) carries the width dependence,
// b(εr) the slight permittivity dependence of the field's share in the substrate.
double exponentA(double u) {
    return 1 + std::log((std::pow(u, 4) + std::pow(u / 52, 2)) / (std::pow(u, 4) + 0.432)) / 49 +
           std::log(1 + std::pow(u / 18.1, 3)) / 18.7;
}

double exponentB(double er) { return 0.564 * std::pow((er - 0.9) / (er + 3), 0.053); }

}  // namespace

double waveImpedance() { return 1.25663706212e-6 * 299792458.0; }

double hammerstadAirImpedance(double u) {
    const double f = 6 + (2 * pi - 6) * std::exp(-std::pow(30.666 / u, 0.7528));
    return waveImpedance() / (2 * pi) * std::log(f / u + std::sqrt(1 + std::pow(2 / u, 2)));
}

double hammerstadEffectivePermittivity(double u, double er) {
    return (er + 1) / 2 + (er - 1) / 2 * std::pow(1 + 10 / u, -exponentA(u) * exponentB(er));
}

double hammerstadImpedance(double u, double er) {
    return hammerstadAirImpedance(u) / std::sqrt(hammerstadEffectivePermittivity(u, er));
}

CoupledModes kirschningCoupled(double u, double g, double er) {
    CoupledModes modes{};
    // Even mode: the single-strip filling factor at an equivalent width v that grows as the
    // gap closes (the pair acts as one wider strip).
    const double v = u * (20 + g * g) / (10 + g * g) + g * std::exp(-g);
    modes.evenPermittivity = hammerstadEffectivePermittivity(v, er);

    // Odd mode: from the single strip's εeff towards (εr+1)/2 + a_o, the value of a narrow gap
    // whose field runs half in air and half in the substrate.
    const double eps = hammerstadEffectivePermittivity(u, er);
    const double ao = 0.7287 * (eps - (er + 1) / 2) * (1 - std::exp(-0.179 * u));
    const double bo = 0.747 * er / (0.15 + er);
    const double co = bo - (bo - 0.207) * std::exp(-0.414 * u);
    const double d0 = 0.593 + 0.694 * std::exp(-0.562 * u);
    modes.oddPermittivity = ((er + 1) / 2 + ao - eps) * std::exp(-co * std::pow(g, d0)) + eps;

    // Impedances: the single strip's, corrected through the factors Q4 (even) and Q10 (odd).
    const double zl = hammerstadImpedance(u, er);
    const double q1 = 0.8695 * std::pow(u, 0.194);
    const double q2 = 1 + 0.7519 * g + 0.189 * std::pow(g, 2.31);
    const double q3 = 0.1975 + std::pow(16.6 + std::pow(8.4 / g, 6), -0.387) +
                      std::log(std::pow(g, 10) / (1 + std::pow(g / 3.4, 10))) / 241;
    const double q4 = 2 * q1 / q2 / (std::exp(-g) * std::pow(u, q3) + (2 - std::exp(-g)) * std::pow(u, -q3));
    const double q5 = 1.794 + 1.14 * std::log(1 + 0.638 / (g + 0.517 * std::pow(g, 2.43)));
    const double q6 = 0.2305 + std::log(std::pow(g, 10) / (1 + std::pow(g / 5.8, 10))) / 281.3 +
                      std::log(1 + 0.598 * std::pow(g, 1.154)) / 5.1;
    const double q7 = (10 + 190 * g * g) / (1 + 82.3 * g * g * g);
    const double q8 = std::exp(-6.5 - 0.95 * std::log(g) - std::pow(g / 0.15, 5));
    const double q9 = std::log(q7) * (q8 + 1 / 16.5);
    const double q10 = q4 - q5 / q2 * std::exp(q6 * std::log(u) * std::pow(u, -q9));
    const double k = zl / waveImpedance() * std::sqrt(eps);
    modes.evenImpedance = zl * std::sqrt(eps / modes.evenPermittivity) / (1 - k * q4);
    modes.oddImpedance = zl * std::sqrt(eps / modes.oddPermittivity) / (1 - k * q10);
    return modes;
}

}  // namespace plattor::testing
