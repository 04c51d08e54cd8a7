// The strip pair on a dielectric slab against what it must reproduce: vacuum when εr = 1,
// finite-difference solutions computed independently (tools/fd-reference), Hammerstad–Jensen's
// single strip and Kirschning–Jansen's coupled pair within their published accuracy.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lines/substrate.hpp"
#include "run/geometry.hpp"
#include "solution/capacitance.hpp"
#include "support/microstrip_closed_forms.hpp"
#include "support/test_names.hpp"

namespace {

using namespace plattor;
using S = SubstrateQuantity;

struct Board {
    double g, w, c, h;
};

LineParameters freeSpace(const Board& b) {
    return lineParameters(scaledStripPair(b.g, b.w, b.c, b.h), setUpGeometry({b.g, b.w, b.c, b.h}).conductors);
}

SubstrateParameters onSlab(const Board& b, double er) {
    return substrateParameters(scaledStripPair(b.g, b.w, b.c, b.h), er, freeSpace(b));
}

// Every quantity with its bar at most 100 ppm of its value, and the Maxwell matrix symmetric
// within its bars although the system behind it is not.
void expectTightBarsAndReciprocity(const SubstrateParameters& p) {
    for (std::size_t k = 0; k < substrateQuantityCount; ++k) {
        const auto q = static_cast<S>(k);
        EXPECT_GT(p.error[q], 0) << "quantity " << k;
        EXPECT_LE(p.error[q], 1e-4 * std::fabs(p.converged[q])) << "quantity " << k;
    }
    EXPECT_NEAR(p.converged[S::maxwell12], p.converged[S::maxwell21], p.error[S::maxwell12] + p.error[S::maxwell21]);
    EXPECT_NEAR(p.converged[S::maxwell11], p.converged[S::maxwell22], p.error[S::maxwell11] + p.error[S::maxwell22]);
}

// Finite-difference values, C/ε0 per strip with their bars, from
//   tools/fd-reference g w c h er 6 4
// (graded tensor grids of 4 … 128 cells per interval, Richardson with the observed order ≈ 2;
// the bar is the change of the extrapolated value from the level before). In free space the
// same tool meets plattor-lines' values within 4 ppm.
struct FiniteDifference {
    const char* name;
    Board board;
    double er;
    double even, evenBar, odd, oddBar;
    double evenAir, evenAirBar, oddAir, oddAirBar;
};

void PrintTo(const FiniteDifference& r, std::ostream* os) { *os << r.name; }

class SubstrateAgainstFiniteDifferences : public ::testing::TestWithParam<FiniteDifference> {};

TEST_P(SubstrateAgainstFiniteDifferences, ModeCapacitancesWithinBothBars) {
    const FiniteDifference& r = GetParam();
    const SubstrateParameters p = onSlab(r.board, r.er);
    const struct {
        S quantity;
        double reference, bar;
    } checks[] = {{S::evenModeCapacitance, r.even, r.evenBar},
                  {S::oddModeCapacitance, r.odd, r.oddBar},
                  {S::evenModeAirCapacitance, r.evenAir, r.evenAirBar},
                  {S::oddModeAirCapacitance, r.oddAir, r.oddAirBar}};
    for (const auto& check : checks) {
        const double value = p.converged[check.quantity] / vacuumPermittivity;
        const double bar = p.error[check.quantity] / vacuumPermittivity;
        EXPECT_NEAR(value, check.reference, check.bar + bar) << "quantity " << static_cast<int>(check.quantity);
    }
    EXPECT_NEAR(p.converged[S::evenModePermittivity], r.even / r.evenAir,
                (r.evenBar / r.even + r.evenAirBar / r.evenAir) * r.even / r.evenAir + p.error[S::evenModePermittivity]);
    expectTightBarsAndReciprocity(p);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, SubstrateAgainstFiniteDifferences,
    ::testing::Values(
        // A substrate as thick as it is wide, strips filling half of its face.
        FiniteDifference{"ThickFr4", {2, 0.5, 1, 2}, 4.3, 2.5496766, 4.4e-5, 7.8798547, 3.5e-4, 0.95607507, 2.1e-5,
                         3.1405473, 1.2e-4},
        FiniteDifference{"ThickAlumina", {2, 0.5, 1, 2}, 10, 5.2599608, 8.7e-5, 15.983858, 7.4e-4, 0.95607507,
                         2.1e-5, 3.1405473, 1.2e-4},
        FiniteDifference{"Fr4", {20, 1, 2, 1}, 4.3, 8.4148458, 1.6e-4, 10.349320, 2.9e-4, 2.5245691, 5.2e-5, 3.6589367,
                         1.3e-4},
        FiniteDifference{"WideBoard", {200, 1, 2, 1}, 4.3, 8.4207369, 1.6e-4, 10.349346, 3.1e-4, 2.5347792, 3.2e-5,
                         3.6590280, 1.2e-4},
        FiniteDifference{"NarrowBoardAlumina", {6, 0.5, 1.5, 1}, 9.8, 12.828694, 3.3e-4, 15.807492, 4.9e-4, 1.8393472,
                         3.0e-5, 2.7920815, 9.0e-5},
        FiniteDifference{"PtfeNarrowGap", {30, 3, 3.3, 1}, 2.2, 8.8484824, 1.1e-4, 12.945160, 5.2e-4, 4.4953651, 6.3e-5,
                         7.5074193, 3.6e-4},
        // Wide strips at a narrow gap, where Kirschning–Jansen's odd mode is 1.3 % off.
        FiniteDifference{"WideStripsNarrowGap", {60, 10, 10.1, 1}, 2.2, 24.370942, 1.7e-4, 31.379183, 1.7e-3, 11.705668,
                         1.0e-4, 16.790275, 1.2e-3},
        // The strips' outer edges on the slab's edges: no face beside them.
        FiniteDifference{"StripsOnTheBoardsEdges", {4, 1, 3, 1}, 4.3, 7.0406489, 1.1e-4, 8.0178799, 1.4e-4, 2.2743987,
                         4.5e-5, 3.1329034, 7.4e-5},
        FiniteDifference{"ReferenceExample", {10, 1, 3, 1}, 4.3, 8.9087042, 2.1e-4, 9.5924223, 2.1e-4, 2.6773101, 6.1e-5,
                         3.2820865, 6.9e-5}),
    [](const auto& info) { return std::string(info.param.name); });

// εr = 1 is vacuum: the report is the free-space one, and the slab's own solver, whose
// interface charges must then vanish, lands on the free-space values by itself.
TEST(SubstratePermittivityOne, IsFreeSpace) {
    const Board board{10, 1, 3, 1};
    const LineParameters air = freeSpace(board);
    const SubstrateParameters p = substrateParameters(scaledStripPair(10, 1, 3, 1), 1, air);
    EXPECT_EQ(p.converged[S::maxwell12], air.converged[LineQuantity::maxwell12]);
    EXPECT_EQ(p.converged[S::evenModeImpedance], air.converged[LineQuantity::evenModeImpedance]);
    EXPECT_EQ(p.error[S::couplingCoefficient], air.error[LineQuantity::couplingCoefficient]);
    EXPECT_EQ(p.converged[S::oddModePermittivity], 1);

    const ModeCapacitances slab = substrateModes(meshSubstratePair(scaledStripPair(10, 1, 3, 1), 2), 1);
    EXPECT_NEAR(slab.even, air.converged[LineQuantity::evenModeCapacitance],
                air.error[LineQuantity::evenModeCapacitance] + 1e-9 * slab.even);
    EXPECT_NEAR(slab.odd, air.converged[LineQuantity::oddModeCapacitance],
                air.error[LineQuantity::oddModeCapacitance] + 1e-9 * slab.odd);
}

// Strips forty heights apart on a board 400 heights wide: the geometric mean of the mode
// impedances is the single strip's to second order in the small coupling, and the board is
// wide enough for its edges to move the values by less than 0.01 %. Hammerstad–Jensen hold the
// air impedance to 0.03 % (0.01 % for u ≤ 1) and εeff to 0.2 %, so Z = Z01/√εeff to 0.13 %.
class FarApartPair : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(FarApartPair, IsHammerstadJensensSingleStrip) {
    const auto [u, er] = GetParam();
    const SubstrateParameters p = onSlab({400, u, u + 40, 1}, er);
    const double z = std::sqrt(p.converged[S::evenModeImpedance] * p.converged[S::oddModeImpedance]);
    const double eps = std::sqrt(p.converged[S::evenModePermittivity] * p.converged[S::oddModePermittivity]);
    EXPECT_NEAR(z * std::sqrt(eps) / plattor::testing::hammerstadAirImpedance(u), 1, 3e-4);
    EXPECT_NEAR(eps / plattor::testing::hammerstadEffectivePermittivity(u, er), 1, 2e-3);
    EXPECT_NEAR(z / plattor::testing::hammerstadImpedance(u, er), 1, 1.3e-3);
}

INSTANTIATE_TEST_SUITE_P(WidthsAndPermittivities, FarApartPair,
                         ::testing::Values(std::pair{0.1, 2.2}, std::pair{1.0, 4.3}, std::pair{10.0, 9.8}),
                         [](const auto& info) {
                             return plattor::testing::caseName({{"Width", info.param.first}, {"_Er", info.param.second}});
                         });

// Kirschning–Jansen hold Z_e and Z_o to 0.6 % for 0.1 ≤ w/h, s/h ≤ 10 (εr ≤ 18); boards 200
// heights wider than the pair. Not at the corner w/h = 10, s/h = 0.1: there their odd-mode
// impedance is 1.3 % above both this solver and the finite-difference reference
// (WideStripsNarrowGap above), so that corner is checked against the latter instead.
struct CoupledCase {
    double u, g, er;
};

void PrintTo(const CoupledCase& c, std::ostream* os) { *os << "u " << c.u << " g " << c.g << " er " << c.er; }

class KirschningJansenRange : public ::testing::TestWithParam<CoupledCase> {};

TEST_P(KirschningJansenRange, ModeImpedancesWithinTheirPublishedAccuracy) {
    const CoupledCase& c = GetParam();
    const SubstrateParameters p = onSlab({2 * (2 * c.u + c.g) + 200, c.u, c.u + c.g, 1}, c.er);
    const plattor::testing::CoupledModes kj = plattor::testing::kirschningCoupled(c.u, c.g, c.er);
    EXPECT_NEAR(kj.evenImpedance / p.converged[S::evenModeImpedance], 1, 6e-3);
    EXPECT_NEAR(kj.oddImpedance / p.converged[S::oddModeImpedance], 1, 6e-3);
}

INSTANTIATE_TEST_SUITE_P(Corners, KirschningJansenRange,
                         ::testing::Values(CoupledCase{0.1, 0.1, 2.2}, CoupledCase{0.1, 10, 10},
                                           CoupledCase{1, 1, 4.3}, CoupledCase{1, 0.1, 10}, CoupledCase{10, 1, 2.2},
                                           CoupledCase{10, 10, 10}, CoupledCase{0.1, 1, 10}),
                         [](const auto& info) {
                             return plattor::testing::caseName(
                                 {{"Width", info.param.u}, {"_Gap", info.param.g}, {"_Er", info.param.er}});
                         });

// Where a strip's outer edge lies on the slab's edge, the conductor's edge is a dielectric
// corner, graded down to nodes within 1e−12 of the arrangement's size of it. The reported
// mode capacitances (order 8) must agree within their bars with order 16 on the same mesh,
// whose polynomials resolve the corner's singular charge more closely.
struct SlabCase {
    const char* name;
    Board board;
    double er;
};

void PrintTo(const SlabCase& c, std::ostream* os) { *os << c.name; }

class SubstrateCornerAtTheStripsEdge : public ::testing::TestWithParam<SlabCase> {};

TEST_P(SubstrateCornerAtTheStripsEdge, ReportedModesAgreeWithAHigherOrderWithinTheirBars) {
    const auto [name, board, er] = GetParam();
    const SubstrateParameters p = onSlab(board, er);
    const ModeCapacitances fine =
        substrateModes(meshSubstratePair(scaledStripPair(board.g, board.w, board.c, board.h), 6), er);
    ASSERT_EQ(p.levels.back().order, 8U);
    EXPECT_NEAR(p.converged[S::evenModeCapacitance], fine.even, p.error[S::evenModeCapacitance]);
    EXPECT_NEAR(p.converged[S::oddModeCapacitance], fine.odd, p.error[S::oddModeCapacitance]);
}

INSTANTIATE_TEST_SUITE_P(Boards, SubstrateCornerAtTheStripsEdge,
                         ::testing::Values(SlabCase{"Fr4", {4, 1, 3, 1}, 4.3},
                                           SlabCase{"ThickSlabHighPermittivity", {10, 1, 9, 5}, 7.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A slab below the plane (h < 0) is the mirror image of the one above it.
TEST(SubstrateGeometry, BelowThePlaneIsTheMirrorImage) {
    const SubstrateParameters above = onSlab({10, 1, 3, 1}, 4.3);
    const SubstrateParameters below = onSlab({10, 1, 3, -1}, 4.3);
    EXPECT_EQ(above.converged[S::oddModeImpedance], below.converged[S::oddModeImpedance]);
    EXPECT_EQ(above.converged[S::maxwell12], below.converged[S::maxwell12]);
}

// The length unit does not matter, also where the strips end on the board's edges only up to
// the rounding of the unit (0.3/0.1 is not 3 in binary).
TEST(SubstrateGeometry, TheLengthUnitDoesNotMatterAtTheBoardsEdge) {
    const SubstrateParameters unit = onSlab({4, 1, 3, 1}, 4.3);
    for (const Board& scaled : {Board{0.4, 0.1, 0.3, 0.1}, Board{4e-9, 1e-9, 3e-9, 1e-9}}) {
        const SubstrateParameters p = onSlab(scaled, 4.3);
        for (const S q : {S::evenModeImpedance, S::oddModeImpedance, S::couplingCoefficient})
            EXPECT_NEAR(p.converged[q], unit.converged[q], p.error[q] + unit.error[q]) << "w " << scaled.w;
    }
}

}  // namespace
