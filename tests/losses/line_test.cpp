// A lossy line at a frequency and its S-parameters: lossless lines against Zc = √(L/C) and
// β = ω√(LC); a homogeneous lossy dielectric against its exact γ = jk0√ε; the attenuation's split
// against its sum; a pair against its defining identities and, far apart, against two single
// lines; the S-matrix against reciprocity, passivity and the matched line's e^{−jβℓ}; the
// W-element table against its format; what cannot be a material or a line refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "support/run_error.hpp"
#include "losses/dielectric.hpp"
#include "losses/line.hpp"
#include "losses/conductor.hpp"
#include "losses/touchstone.hpp"
#include "matrix/linalg.hpp"
#include "physics/constants.hpp"

namespace plattor {
namespace {

using Complex = std::complex<double>;
using Values = std::vector<Complex>;
constexpr double pi = std::numbers::pi;
const Complex j(0, 1);

double omegaOf(double f) { return 2 * pi * f; }

// Z = R + jωL, Y = G + jωC, scalars or 2 × 2 row-major.
LineMatrices rlgc(const std::vector<double>& r, const std::vector<double>& l, const std::vector<double>& g,
                  const std::vector<double>& c, double f) {
    LineMatrices m{r.size() == 1 ? 1u : 2u, {}, {}};
    for (std::size_t k = 0; k < r.size(); ++k) {
        m.series.push_back(r[k] + j * omegaOf(f) * l[k]);
        m.shunt.push_back(g[k] + j * omegaOf(f) * c[k]);
    }
    return m;
}

double relative(Complex a, Complex b) { return std::abs(a - b) / std::abs(b); }

// A TEM line in one dielectric: L·C_air = 1/c0² and Y = jω·C_air·ε, so γ = jk0·√ε exactly; all
// of α is the dielectric's, k0·√εr·tanδ/2 at low loss.
TEST(LossyLine, HomogeneousDielectricGivesItsExactPropagation) {
    const double f = 4.7e9, cAir = 0.417e-10, l = 1 / (speedOfLight * speedOfLight * cAir);
    const DielectricSettings wideband{DielectricModel::djordjevicSarkar, 1e9, 4, 12};
    for (const auto& [er, tanDelta] : {std::pair{4.37, 0.0213}, std::pair{3.0, 0.0009}, std::pair{9.8, 0.0001}}) {
        for (const DielectricSettings& s : {DielectricSettings{}, wideband}) {
            const Complex eps = relativePermittivity(er, tanDelta, s, f);
            const LineMatrices m{1, {j * omegaOf(f) * l}, {j * omegaOf(f) * cAir * eps}};
            const ModeQuantities q = lineAtFrequency(m, f).modes[0];
            const double k0 = omegaOf(f) / speedOfLight;
            EXPECT_LT(relative(q.propagation, j * k0 * std::sqrt(eps)), 1e-14);
            EXPECT_EQ(q.conductorAttenuation, 0.0);
            EXPECT_NEAR(q.dielectricAttenuation, q.attenuation, 1e-15 * q.attenuation);
            const double lowLoss = k0 * std::sqrt(eps.real()) * (-eps.imag() / eps.real()) / 2;
            const double t = -eps.imag() / eps.real();
            EXPECT_NEAR(q.attenuation, lowLoss, t * t * lowLoss);
            EXPECT_NEAR(q.attenuationDb, 8.685889638065 * q.attenuation, 1e-12 * q.attenuationDb);
        }
    }
}

// Lines of every kind: the split adds up to α exactly; at low loss its parts are R/(2Z0) and
// G·Z0/2; without loss Zc = √(L/C), β = ω√(LC) and α = 0.
TEST(LossyLine, AttenuationSplitsIntoItsParts) {
    const double f = 2.2e9, l = 3.07e-7, c = 1.21e-10, z0 = std::sqrt(l / c);
    for (const auto& [r, g] : {std::pair{0.0, 0.0}, std::pair{0.0, 3.1e-4}, std::pair{17.3, 0.0},
                               std::pair{17.3, 3.1e-4}, std::pair{4.1e3, 0.29}}) {
        const ModeQuantities q = lineAtFrequency(rlgc({r}, {l}, {g}, {c}, f), f).modes[0];
        if (r == 0 && g == 0) {
            EXPECT_LT(relative(q.impedance, z0), 1e-14);
            EXPECT_NEAR(q.phaseDelay, std::sqrt(l * c), 1e-14 * q.phaseDelay);
            EXPECT_EQ(q.attenuation, 0.0);
            continue;
        }
        EXPECT_NEAR(q.conductorAttenuation + q.dielectricAttenuation, q.attenuation, 1e-14 * q.attenuation);
        if (r < 100) {
            EXPECT_NEAR(q.conductorAttenuation, r / (2 * z0), 1e-5 * r / (2 * z0) + 1e-18);
            EXPECT_NEAR(q.dielectricAttenuation, g * z0 / 2, 1e-5 * g * z0 / 2 + 1e-18);
        }
    }
}

// A lossy pair (2 × 2, symmetric), awkward values.
const std::vector<double> pairR = {23.1, 4.7, 4.7, 23.1}, pairL = {3.31e-7, 0.62e-7, 0.62e-7, 3.31e-7};
const std::vector<double> pairG = {2.4e-3, -0.5e-3, -0.5e-3, 2.4e-3}, pairC = {1.37e-10, -0.21e-10, -0.21e-10, 1.37e-10};

std::vector<Complex> product(const Values& a, const Values& b) {
    return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3]};
}

TEST(LossyLine, PairImpedanceMatrixSatisfiesZcYZcEqualsZ) {
    const double f = 6.1e9;
    const LineMatrices m = rlgc(pairR, pairL, pairG, pairC, f);
    const LineAtFrequency line = lineAtFrequency(m, f);
    const Values zyz = product(product(line.impedanceMatrix, m.shunt), line.impedanceMatrix);
    for (int k = 0; k < 4; ++k) EXPECT_LT(std::abs(zyz[k] - m.series[k]), 1e-13 * std::abs(m.series[0]));
    EXPECT_EQ(line.differentialImpedance, 2.0 * line.modes[1].impedance);
    EXPECT_EQ(line.commonModeImpedance, 0.5 * line.modes[0].impedance);
    // Positive mutual capacitance coupling: the odd mode's impedance is the lower.
    EXPECT_LT(line.modes[1].impedance.real(), line.modes[0].impedance.real());
}

// The largest singular value of an n × n complex S, through the real symmetric embedding of
// SᴴS.
double largestSingularValue(const Values& s, std::size_t n) {
    Matrix h(2 * n, 2 * n);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            Complex x = 0;
            for (std::size_t k = 0; k < n; ++k) x += std::conj(s[k * n + a]) * s[k * n + b];
            h(a, b) = h(a + n, b + n) = x.real();
            h(a + n, b) = x.imag();
            h(a, b + n) = -x.imag();
        }
    return std::sqrt(symmetricEigen(h).values.back());
}

TEST(LineScattering, IsReciprocalAndPassive) {
    for (const double f : {1e6, 2.5e9, 31e9}) {
        for (const double length : {0.0, 0.0127, 0.73, 41.0}) {
            const Values single = scatteringMatrix(rlgc({17.3}, {3.07e-7}, {3.1e-4}, {1.21e-10}, f), f, length, 37.5);
            const Values pair = scatteringMatrix(rlgc(pairR, pairL, pairG, pairC, f), f, length);
            for (const auto& [s, n] : {std::pair{single, 2u}, std::pair{pair, 4u}}) {
                for (std::size_t a = 0; a < n; ++a)
                    for (std::size_t b = 0; b < a; ++b) EXPECT_EQ(s[a * n + b], s[b * n + a]);
                const double sigma = largestSingularValue(s, n);
                EXPECT_LE(sigma, 1.0 + 1e-14) << f << " " << length;
                if (length > 0) {
                    EXPECT_LT(sigma, 1.0) << f << " " << length;
                }
            }
        }
    }
}

TEST(LineScattering, MatchedLosslessLineOnlyDelays) {
    const double z0 = 50.0, c = 1.29e-10, l = z0 * z0 * c;
    for (const double f : {1e3, 1e9, 40e9}) {
        for (const double length : {0.001, 0.31, 17.0, 1000.0}) {
            const Values s = scatteringMatrix(rlgc({0}, {l}, {0}, {c}, f), f, length, z0);
            const double betaL = omegaOf(f) * std::sqrt(l * c) * length;
            EXPECT_NEAR(std::abs(s[2]), 1.0, 1e-12);
            EXPECT_LT(std::abs(s[0]), 1e-12);
            EXPECT_LT(std::abs(s[2] - std::exp(-j * betaL)), 1e-14 * (1 + betaL));
        }
    }
}

// Without coupling the pair's blocks are the single line's and nothing crosses between traces.
TEST(LineScattering, UncoupledPairIsTwoSingleLines) {
    const double f = 3.9e9, length = 0.083;
    const Values pair = scatteringMatrix(rlgc({17.3, 0, 0, 17.3}, {3.07e-7, 0, 0, 3.07e-7}, {3.1e-4, 0, 0, 3.1e-4},
                                              {1.21e-10, 0, 0, 1.21e-10}, f),
                                         f, length, 42.0);
    const Values single = scatteringMatrix(rlgc({17.3}, {3.07e-7}, {3.1e-4}, {1.21e-10}, f), f, length, 42.0);
    // Ports: 1 left near, 2 right near, 3 left far, 4 right far.
    const auto at = [&](int a, int b) { return pair[(a - 1) * 4 + (b - 1)]; };
    for (const auto& [a, b] : {std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 3}, std::pair{4, 4}})
        EXPECT_LT(std::abs(at(a, b) - single[0]), 1e-15);
    for (const auto& [a, b] : {std::pair{1, 3}, std::pair{3, 1}, std::pair{2, 4}, std::pair{4, 2}})
        EXPECT_LT(std::abs(at(a, b) - single[2]), 1e-15);
    for (const auto& [a, b] : {std::pair{1, 2}, std::pair{1, 4}, std::pair{2, 3}, std::pair{3, 4}})
        EXPECT_LT(std::abs(at(a, b)), 1e-16);
}

// What cannot be a material or a line is refused in one line naming the value.
TEST(LossModels, RefuseWhatCannotBe) {
    const DielectricSettings wideband{DielectricModel::djordjevicSarkar, 1e9, 4, 12};
    DielectricSettings badFit = wideband, badBand = wideband;
    badFit.fitFrequency = 0;
    badBand.upperCornerExponent = 3;
    ConductorSettings noConductivity;
    noConductivity.conductivity = 0;
    const LineMatrices m = rlgc({1}, {3e-7}, {0}, {1e-10}, 1e9);
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[&] { relativePermittivity(0.5, 0.01, wideband, 1e9); }, "relative permittivity 0.5: must be at least 1"},
        {[&] { relativePermittivity(4, -0.01, wideband, 1e9); }, "loss tangent -0.01: must be finite and not negative"},
        {[&] { relativePermittivity(4, 0.01, wideband, -1); }, "frequency -1 Hz: must be finite and not negative"},
        {[&] { relativePermittivity(4, 0.01, badFit, 1e9); }, "fit frequency 0 Hz: must be positive"},
        {[&] { relativePermittivity(4, 0.01, badBand, 1e9); },
         "wideband dielectric band 10^4 ... 10^3 rad/s: its upper corner must lie above its lower"},
        {[&] { relativePermittivity(1.2, 0.5, wideband, 1e9); },
         "loss tangent 0.5 at relative permittivity 1.2: too large for the wideband dielectric model"},
        {[&] { surfaceImpedance(noConductivity, 1e9); }, "conductivity 0 S/m: must be positive"},
        {[&] { surfaceImpedance({5.8e7, Roughness::groisse, -1e-6, 0.0}, 1e9); },
         "RMS roughness -1e-06 m: the roughness model needs it positive"},
        {[&] { surfaceImpedance({5.8e7, Roughness::huray, 1e-6, 0.0}, 1e9); },
         "roughness Rz 0 m: the Huray model needs it positive"},
        {[&] { scatteringMatrix(m, 0.0, 1.0, 50.0); }, "frequency 0 Hz: must be positive"},
        {[&] { scatteringMatrix(m, 1e9, -0.5, 50.0); }, "line length -0.5 m: must be finite and not negative"},
        {[&] { scatteringMatrix(m, 1e9, 1.0, 0.0); }, "reference impedance 0 ohm: must be positive"},
    };
    for (const auto& c : cases) {
        const std::string message = testing::runError(c.call);
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
    }
}

TEST(NetworkFiles, WElementTableIsLowerTriangularInItsOrder) {
    const RlgcTable t{2, {4.1, 0, 0, 4.1}, {3.3e-7, 6e-8, 6e-8, 3.3e-7}, {0, 0, 0, 0},
                      {1.4e-10, -2e-11, -2e-11, 1.4e-10}, {1.5e-3, 2e-4, 2e-4, 1.5e-3}, {1e-12, 0, 0, 1e-12}};
    EXPECT_EQ(wElementText(t, "pair"),
              "* pair\n2\n* L0, H/m\n3.3000000000000002e-07\n5.9999999999999995e-08 3.3000000000000002e-07\n"
              "* C0, F/m\n1.4000000000000001e-10\n-1.9999999999999999e-11 1.4000000000000001e-10\n* R0, ohm/m\n4.0999999999999996\n0 4.0999999999999996\n"
              "* G0, S/m\n0\n0 0\n* Rs, ohm/(m*sqrt(Hz))\n0.0015\n0.00020000000000000001 0.0015\n"
              "* Gd, S/(m*Hz)\n9.9999999999999998e-13\n0 9.9999999999999998e-13\n");
}

}  // namespace
}  // namespace plattor
