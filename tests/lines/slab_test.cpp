// The strip pair on a dielectric slab against what it must reproduce: vacuum when εr = 1,
// finite-difference solutions computed independently (tools/fd-reference), Hammerstad–Jensen's
// single strip and Kirschning–Jansen's coupled pair within their published accuracy, and finer
// solutions of the solver itself at the corners where a strip ends on the board's edge.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lines/quantities.hpp"
#include "physics/constants.hpp"
#include "section/pair_sections.hpp"
#include "section/structures.hpp"
#include "support/microstrip_closed_forms.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

using Q = Quantity;

struct Board {
    double g, w, c, h;
};

CrossSection slab(const Board& b, double er) { return stripPairSection(b.g, b.w, b.c, b.h, er); }

ConvergedQuantities onSlab(const Board& b, double er) { return convergedQuantities(slab(b, er)); }

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

class SlabAgainstFiniteDifferences : public ::testing::TestWithParam<FiniteDifference> {};

TEST_P(SlabAgainstFiniteDifferences, ModeCapacitancesWithinBothBars) {
    const FiniteDifference& r = GetParam();
    const ConvergedQuantities p = onSlab(r.board, r.er);
    const struct {
        Q quantity;
        double reference, bar;
    } checks[] = {{Q::evenModeCapacitance, r.even, r.evenBar},
                  {Q::oddModeCapacitance, r.odd, r.oddBar},
                  {Q::evenModeCapacitanceInAir, r.evenAir, r.evenAirBar},
                  {Q::oddModeCapacitanceInAir, r.oddAir, r.oddAirBar}};
    for (const auto& check : checks) {
        const double value = p.value[check.quantity] / vacuumPermittivity;
        const double bar = p.error[check.quantity] / vacuumPermittivity;
        EXPECT_NEAR(value, check.reference, check.bar + bar) << quantityInfo(check.quantity).key;
    }
    EXPECT_NEAR(p.value[Q::evenModeEffectivePermittivity], r.even / r.evenAir,
                (r.evenBar / r.even + r.evenAirBar / r.evenAir) * r.even / r.evenAir +
                    p.error[Q::evenModeEffectivePermittivity]);
    // Every quantity of the pair with a bar of at most 10 ppm of its value.
    for (std::size_t k = 0; k < quantityCount; ++k) {
        const auto q = static_cast<Q>(k);
        if (!p.value.applies(q)) continue;
        EXPECT_GT(p.error[q], 0) << quantityInfo(q).key;
        EXPECT_LE(p.error[q], 1e-5 * std::fabs(p.value[q])) << quantityInfo(q).key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boards, SlabAgainstFiniteDifferences,
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

// εr = 1 is vacuum: every effective permittivity exactly 1, and the slab's own description,
// whose interface charges must then vanish, lands on the free-space values by itself.
TEST(SlabPermittivityOne, IsFreeSpace) {
    const Board board{10, 1, 3, 1};
    const ConvergedQuantities air = onSlab(board, 1);
    EXPECT_EQ(air.value[Q::evenModeEffectivePermittivity], 1);
    EXPECT_EQ(air.value[Q::oddModeEffectivePermittivity], 1);

    const CrossSection vacuumSlab = slabPairSection(10, 3, 1, 1);
    const ModeCapacitances modes = modeCapacitances(vacuumSlab, meshCrossSection(vacuumSlab, ladderLevels().back()));
    EXPECT_NEAR(modes.even, air.value[Q::evenModeCapacitance], air.error[Q::evenModeCapacitance] + 1e-9 * modes.even);
    EXPECT_NEAR(modes.odd, air.value[Q::oddModeCapacitance], air.error[Q::oddModeCapacitance] + 1e-9 * modes.odd);
}

// Strips forty heights apart on a board 400 heights wide: the geometric mean of the mode
// impedances is the single strip's to second order in the small coupling, and the board is
// wide enough for its edges to move the values by less than 0.01 %. Hammerstad–Jensen hold the
// air impedance to 0.03 % (0.01 % for u ≤ 1) and εeff to 0.2 %, so Z = Z01/√εeff to 0.13 %.
class FarApartPair : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(FarApartPair, IsHammerstadJensensSingleStrip) {
    const auto [u, er] = GetParam();
    const ConvergedQuantities p = onSlab({400, u, u + 40, 1}, er);
    const double z = std::sqrt(p.value[Q::evenModeImpedance] * p.value[Q::oddModeImpedance]);
    const double eps = std::sqrt(p.value[Q::evenModeEffectivePermittivity] * p.value[Q::oddModeEffectivePermittivity]);
    EXPECT_NEAR(z * std::sqrt(eps) / testing::hammerstadAirImpedance(u), 1, 3e-4);
    EXPECT_NEAR(eps / testing::hammerstadEffectivePermittivity(u, er), 1, 2e-3);
    EXPECT_NEAR(z / testing::hammerstadImpedance(u, er), 1, 1.3e-3);
}

INSTANTIATE_TEST_SUITE_P(WidthsAndPermittivities, FarApartPair,
                         ::testing::Values(std::pair{0.1, 2.2}, std::pair{1.0, 4.3}, std::pair{10.0, 9.8}),
                         [](const auto& info) {
                             return testing::caseName({{"Width", info.param.first}, {"_Er", info.param.second}});
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
    const ConvergedQuantities p = onSlab({2 * (2 * c.u + c.g) + 200, c.u, c.u + c.g, 1}, c.er);
    const testing::CoupledModes kj = testing::kirschningCoupled(c.u, c.g, c.er);
    EXPECT_NEAR(kj.evenImpedance / p.value[Q::evenModeImpedance], 1, 6e-3);
    EXPECT_NEAR(kj.oddImpedance / p.value[Q::oddModeImpedance], 1, 6e-3);
}

INSTANTIATE_TEST_SUITE_P(Corners, KirschningJansenRange,
                         ::testing::Values(CoupledCase{0.1, 0.1, 2.2}, CoupledCase{0.1, 10, 10},
                                           CoupledCase{1, 1, 4.3}, CoupledCase{1, 0.1, 10}, CoupledCase{10, 1, 2.2},
                                           CoupledCase{10, 10, 10}, CoupledCase{0.1, 1, 10}),
                         [](const auto& info) {
                             return testing::caseName(
                                 {{"Width", info.param.u}, {"_Gap", info.param.g}, {"_Er", info.param.er}});
                         });

// Where a strip's outer edge lies on the slab's edge, the conductor's edge is a dielectric
// corner whose singular charge the ladder resolves by layers towards it. The reported mode
// capacitances must agree within their bars with the solver at order 10 and corner layers two
// levels deeper than the ladder's last (give or take its change from order 8).
struct SlabCase {
    const char* name;
    Board board;
    double er;
};

void PrintTo(const SlabCase& c, std::ostream* os) { *os << c.name; }

class SlabCornerAtTheStripsEdge : public ::testing::TestWithParam<SlabCase> {};

TEST_P(SlabCornerAtTheStripsEdge, ReportedModesAgreeWithAFinerSolutionWithinTheirBars) {
    const auto [name, board, er] = GetParam();
    const CrossSection section = slab(board, er);
    const ConvergedQuantities p = convergedQuantities(section);
    const auto finer = [&section](std::size_t order, int depth) {
        return modeCapacitances(section, meshCrossSection(section, {order, 0.077 * std::pow(16.0, -depth)}));
    };
    const ModeCapacitances order8 = finer(8, 5), order10 = finer(10, 6);
    EXPECT_NEAR(p.value[Q::evenModeCapacitance], order10.even,
                p.error[Q::evenModeCapacitance] + std::fabs(order10.even - order8.even));
    EXPECT_NEAR(p.value[Q::oddModeCapacitance], order10.odd,
                p.error[Q::oddModeCapacitance] + std::fabs(order10.odd - order8.odd));
}

INSTANTIATE_TEST_SUITE_P(Boards, SlabCornerAtTheStripsEdge,
                         ::testing::Values(SlabCase{"Fr4", {4, 1, 3, 1}, 4.3},
                                           SlabCase{"ThickSlabHighPermittivity", {10, 1, 9, 5}, 7.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A slab below the plane (h < 0) is the mirror image of the one above it.
TEST(SlabGeometry, BelowThePlaneIsTheMirrorImage) {
    const ConvergedQuantities above = onSlab({10, 1, 3, 1}, 4.3);
    const ConvergedQuantities below = onSlab({10, 1, 3, -1}, 4.3);
    EXPECT_EQ(above.value[Q::oddModeImpedance], below.value[Q::oddModeImpedance]);
    EXPECT_EQ(above.value[Q::maxwell12], below.value[Q::maxwell12]);
}

// The length unit does not matter, also where the strips end on the board's edges only up to
// the rounding of the unit (0.3/0.1 is not 3 in binary).
TEST(SlabGeometry, TheLengthUnitDoesNotMatterAtTheBoardsEdge) {
    const ConvergedQuantities unit = onSlab({4, 1, 3, 1}, 4.3);
    for (const Board& scaled : {Board{0.4, 0.1, 0.3, 0.1}, Board{4e-9, 1e-9, 3e-9, 1e-9}}) {
        const ConvergedQuantities p = onSlab(scaled, 4.3);
        for (const Q q : {Q::evenModeImpedance, Q::oddModeImpedance, Q::couplingCoefficient})
            EXPECT_NEAR(p.value[q], unit.value[q], p.error[q] + unit.error[q]) << "w " << scaled.w;
    }
}

}  // namespace
}  // namespace plattor
