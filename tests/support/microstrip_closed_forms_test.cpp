// The published microstrip closed forms that the substrate tests lean on, checked against what
// they must reproduce: the narrow-strip limit and finite-difference solutions of the Laplace
// equation computed for these tests by tools/fd-reference (independent of plattor's solvers).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/microstrip_closed_forms.hpp"

namespace {

using namespace plattor::testing;

// A strip of width w far below its height h over an infinite plane has the impedance of a wire
// of diameter w/2 (the strip's equivalent radius is w/4): Z = η0/(2π)·acosh(4h/w), up to
// terms of order (w/h)². Hammerstad–Jensen holds 0.01 % for u ≤ 1.
TEST(HammerstadJensen, NarrowStripIsTheEquivalentWire) {
    for (const double u : {0.01, 0.03, 0.1}) {
        const double wire = waveImpedance() / (2 * std::numbers::pi) * std::acosh(4 / u);
        EXPECT_NEAR(hammerstadAirImpedance(u) / wire, 1, 1e-4 + u * u / 4) << "u = " << u;
    }
}

// Finite-difference values (C/ε0 per strip, in air and with the substrate), from
//   fd-reference g w c h er 6 4
// (six levels, 4 … 128 nodes per graded interval, Richardson with the observed order ≈ 2).
// Their error bars are below 50 ppm; the same tool reproduces plattor-lines' free-space
// capacitances of 10 1 3 1 and 2 0.5 1 2 within 4 ppm. Boards 20 and more heights wide.
struct CoupledReference {
    const char* name;
    double u, g, er;            // w/h, s/h, εr
    double even, odd;           // C/ε0 with the substrate
    double evenAir, oddAir;     // C/ε0 in air
};

void PrintTo(const CoupledReference& r, std::ostream* os) { *os << r.name; }

class KirschningJansen : public ::testing::TestWithParam<CoupledReference> {};

// Z = η0/√(c·c_air) and εeff = c/c_air for capacitances c in units of ε0.
TEST_P(KirschningJansen, WithinItsPublishedAccuracyOfTheFiniteDifferenceSolution) {
    const CoupledReference& r = GetParam();
    const CoupledModes modes = kirschningCoupled(r.u, r.g, r.er);
    const double eta = waveImpedance();
    EXPECT_NEAR(modes.evenImpedance / (eta / std::sqrt(r.even * r.evenAir)), 1, 0.006);
    EXPECT_NEAR(modes.oddImpedance / (eta / std::sqrt(r.odd * r.oddAir)), 1, 0.006);
}

INSTANTIATE_TEST_SUITE_P(
    BoardsTwentyAndThirtyHeightsWide, KirschningJansen,
    ::testing::Values(
        // fd-reference 20 1 2 1 4.3: board 20 wide, u = 1, s/h = 1, FR-4.
        CoupledReference{"Fr4", 1, 1, 4.3, 8.41484581, 10.34931999, 2.52456905, 3.65893671},
        // fd-reference 30 3 3.3 1 2.2: wide strips, a narrow gap, PTFE.
        CoupledReference{"PtfeNarrowGap", 3, 0.3, 2.2, 8.84848235, 12.94515984, 4.49536509, 7.50741932}),
    [](const auto& info) { return std::string(info.param.name); });

// One strip over a plane 200 heights wide, fd-reference 200 1 0 1 9.8: C/ε0 = 19.591171 ± 2.2e-4
// with the substrate, 2.9798143 ± 8.8e-7 in air. The plane's finite width lowers the air
// capacitance by about 0.003 % against the infinite plane of the closed form.
TEST(HammerstadJensen, SingleStripWithinItsPublishedAccuracy) {
    const double withSubstrate = 19.591171, inAir = 2.9798143;
    EXPECT_NEAR(hammerstadAirImpedance(1) / (waveImpedance() / inAir), 1, 1e-4);
    EXPECT_NEAR(hammerstadEffectivePermittivity(1, 9.8) / (withSubstrate / inAir), 1, 2e-3);
}

// Far apart, the strips of a pair hardly see each other: both mode impedances lie within the
// published accuracy of the single strip's.
TEST(KirschningJansen, FarApartBothModesAreTheSingleStrip) {
    for (const double er : {2.2, 4.3, 9.8}) {
        const CoupledModes modes = kirschningCoupled(1, 10, er);
        const double single = hammerstadImpedance(1, er);
        EXPECT_NEAR(modes.evenImpedance / single, 1, 0.006) << "er " << er;
        EXPECT_NEAR(modes.oddImpedance / single, 1, 0.006) << "er " << er;
    }
}

}  // namespace
