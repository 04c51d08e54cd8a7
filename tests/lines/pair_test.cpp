// The strip pair of plattor's input, converged in free space: its values and error bars against
// closed forms, published values and finer solutions of the solver itself, the independence of
// the length unit, and the screen behind plattor's accuracy warning.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "check/accuracy_warning.hpp"
#include "check/closed_forms.hpp"
#include "section/converged_range.hpp"
#include "base/text.hpp"
#include "lines/quantities.hpp"
#include "physics/constants.hpp"
#include "run/geometry.hpp"
#include "section/pair_sections.hpp"
#include "section/structures.hpp"
#include "moment/solution/capacitance.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

using Q = Quantity;
constexpr double pi = std::numbers::pi;

ConvergedQuantities converged(const InputValues& in) {
    return convergedQuantities(stripPairSection(in.groundWidth, in.stripWidth, in.centreDistance, in.stripHeight));
}

// The solver beyond its ladder: a higher order and corner layers reaching deeper.
ModeCapacitances finerModes(const CrossSection& section, std::size_t order, int depth) {
    return modeCapacitances(section, meshCrossSection(section, {order, 0.077 * std::pow(16.0, -depth)}));
}

// Coplanar strips of width w and gap s: C = ε0·K(k′)/K(k), k = s/(s + 2w), and the line
// impedance 1/(c0·C). The width in metres changes from case to case: the answer must not.
struct Coplanar {
    double gap;    // in strip widths
    double width;  // the length unit's size
};

void PrintTo(const Coplanar& c, std::ostream* os) { *os << "gap " << c.gap << " width " << c.width; }

class CoplanarClosedForm : public ::testing::TestWithParam<Coplanar> {};

TEST_P(CoplanarClosedForm, BarsHoldTheClosedFormAndStayBelowTenPpm) {
    const Coplanar c = GetParam();
    const double k = c.gap / (c.gap + 2);
    const double ratio = std::comp_ellint_1(std::sqrt(1 - k * k)) / std::comp_ellint_1(k);
    // CODATA 2018's ε0 and c0 written out: the bars must hold the SI values, whatever constant
    // the code carries.
    const double exactC = 8.8541878128e-12 * ratio;
    const double exactZ = 1 / (299792458.0 * exactC);
    const double w = c.width;
    const ConvergedQuantities p = converged({0, w, (1 + c.gap) * w, 0});
    struct {
        Q quantity;
        double exact;
    } const checks[] = {{Q::stripToStripCapacitance, exactC}, {Q::maxwell11, exactC}, {Q::lineImpedance, exactZ}};
    for (const auto& check : checks) {
        SCOPED_TRACE(quantityInfo(check.quantity).key);
        EXPECT_LE(std::fabs(p.value[check.quantity] - check.exact), p.error[check.quantity]);
        EXPECT_LE(p.error[check.quantity], 1e-5 * check.exact);
    }
    EXPECT_FALSE(p.value.applies(Q::stripToGroundCapacitance));
    EXPECT_FALSE(p.value.applies(Q::evenModeImpedance));
}

INSTANTIATE_TEST_SUITE_P(Gaps, CoplanarClosedForm,
                         ::testing::Values(Coplanar{1e-3, 1}, Coplanar{1e-2, 1e-12}, Coplanar{0.1, 1e12},
                                           Coplanar{1, 3e-6}, Coplanar{2, 1}, Coplanar{10, 7e5},
                                           Coplanar{100, 1}, Coplanar{1e3, 1e-9}),
                         [](const auto& info) {
                             return testing::caseName({{"Gap", info.param.gap}, {"_Width", info.param.width}});
                         });

// Geometries of the table: values agreed by two independent solvers to 10 digits, quoted to
// the digits given (half a unit of the last one added to the bar), and the solver's own
// solution at order 10 with corner layers two levels deeper than the ladder's last, which
// must lie inside every bar (give or take its change from order 8).
struct Published {
    InputValues input;
    double stripToStrip;   // pF/m; NaN where not quoted
    double stripToGround;  // pF/m; NaN where not quoted
    double lastDigits[2];  // of the quoted values
};

void PrintTo(const Published& c, std::ostream* os) {
    *os << c.input.groundWidth << " " << c.input.stripWidth << " " << c.input.centreDistance << " "
        << c.input.stripHeight;
}

class PublishedValues : public ::testing::TestWithParam<Published> {};

TEST_P(PublishedValues, BarsHoldThePublishedValuesAndAFinerSolution) {
    const Published c = GetParam();
    const InputValues& in = c.input;
    const CrossSection section = stripPairSection(in.groundWidth, in.stripWidth, in.centreDistance, in.stripHeight);
    const ConvergedQuantities p = convergedQuantities(section);
    const double quoted[] = {c.stripToStrip, c.stripToGround};
    const Q quantities[] = {Q::stripToStripCapacitance, Q::stripToGroundCapacitance};
    // The values were quoted with ε0 = 8.8542e-12 F/m, the solver's are CODATA 2018's.
    const double toSi = 8.8541878128e-12 / 8.8542e-12;
    for (std::size_t k = 0; k < 2; ++k) {
        if (std::isnan(quoted[k])) continue;
        EXPECT_LE(std::fabs(p.value[quantities[k]] * 1e12 - quoted[k] * toSi),
                  p.error[quantities[k]] * 1e12 + c.lastDigits[k] / 2)
            << k;
    }
    const ModeCapacitances order8 = finerModes(section, 8, 5), order10 = finerModes(section, 10, 6);
    const QuantityValues finer = lineQuantities(order10, order10), coarser = lineQuantities(order8, order8);
    for (std::size_t k = 0; k < quantityCount; ++k) {
        const auto q = static_cast<Q>(k);
        EXPECT_EQ(p.value.applies(q), finer.applies(q));
        if (!p.value.applies(q)) continue;
        SCOPED_TRACE(quantityInfo(q).key);
        EXPECT_LE(std::fabs(p.value[q] - finer[q]), p.error[q] + std::fabs(finer[q] - coarser[q]));
        EXPECT_LE(p.error[q], 1e-5 * std::fabs(p.value[q]));
    }
}

constexpr double notQuoted = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Table, PublishedValues,
                         ::testing::Values(Published{{1000, 1, 3, 0.5}, 1.434229, 36.09257, {1e-6, 1e-5}},
                                           Published{{300, 1, 1.2, 0.2}, 8.068339, 61.11847, {1e-6, 1e-5}},
                                           Published{{10, 0.1, 1, 0.001}, 0.03114446, 923.6574, {1e-8, 1e-4}},
                                           Published{{100, 1, 1.1, 0.01}, notQuoted, 917.98, {0, 1e-2}},
                                           // Low over a plane a third of a strip wide: the finer
                                           // solution lies further off than the levels differ, the
                                           // case the floor under every bar is there for.
                                           Published{{0.33, 1, 1.25, 0.04}, notQuoted, notQuoted, {0, 0}}),
                         [](const auto& info) { return testing::inputName(info.param.input); });

// A ladder's last value with its bar must hold the limit L of the ladder, whatever way the
// values approach it: steadily, crossing it with two levels that agree by chance, or drifting.
TEST(ObservedChange, HoldsTheLimitOfTheLadder) {
    const struct {
        const char* name;
        double errors[3];  // v_k − L
    } ladders[] = {
        {"converging tenfold", {1e-3, 1e-4, 1e-5}},
        {"crossing: the last two agree by chance", {1e-6, -1e-9, -1e-9 + 1e-16}},
        {"drifting, the changes growing", {0, 1e-6, 2.5e-6}},
        // A thin mask over a coplanar line with narrow grounds, its capacitance's rungs.
        {"turning back slowly, not yet settling", {-0.769e-6, -2.910e-6, -1.502e-6}},
        // A thin mask over a coplanar line with an etched top: the middle rung lay nearest.
        {"turning back past a rung that lay near the limit", {4.978e-7, 5.81e-9, 4.324e-8}},
    };
    const double limit = 7.5;
    for (const auto& l : ladders) {
        const double bar = observedChange(limit + l.errors[0], limit + l.errors[1], limit + l.errors[2]);
        EXPECT_GE(bar, std::fabs(l.errors[2]) * (1 - 1e-6)) << l.name;
        EXPECT_LE(bar, 1e3 * std::fabs(l.errors[2])) << l.name << ": a bar is no use if it is far too wide";
    }
}

// A strip of width w at height h ≫ w over a plane much wider than h is a wire of equivalent
// diameter d = w/2: C = 2π·ε0/acosh(2h/d), up to a correction of order (w/h)². The other
// strip is far enough away to change C11 only to second order in its coupling.
TEST(NarrowStripHighOverAWidePlane, ApproachesTheWireOverAPlane) {
    double previous = 0;
    for (const double h : {5.0, 10.0, 20.0}) {
        const ConvergedQuantities p = converged({1e4, 1, 4000, h});
        const double wire = 2 * pi * vacuumPermittivity / std::acosh(2 * h / 0.5);
        const double deviation = std::fabs(p.value[Q::maxwell11] / wire - 1);
        EXPECT_LT(deviation, 0.25 / (h * h)) << "h " << h;
        if (previous > 0) {
            EXPECT_LT(deviation, previous / 2.5) << "h " << h;  // ~(w/h)²
        }
        previous = deviation;
    }
}

// Scaled copies of one geometry: the same values and bars, also at the one length unit where
// the log kernel alone would be singular.
TEST(LengthUnit, ValuesAndBarsDoNotDependOnIt) {
    struct Pair {
        InputValues reference;
        double scales[3];
    } const cases[] = {{{10, 1, 3, 1}, {1e-12, 0.37, 1e12}},
                       {{0, 1, 3.470040629031465 / 1.1566802096771551, 0}, {1.1566802096771551, 1e-12, 1e12}}};
    for (const Pair& c : cases) {
        const InputValues& r = c.reference;
        const ConvergedQuantities base = converged(r);
        for (const double s : c.scales) {
            const ConvergedQuantities p =
                converged({r.groundWidth * s, r.stripWidth * s, r.centreDistance * s, r.stripHeight * s});
            for (std::size_t k = 0; k < quantityCount; ++k) {
                const auto q = static_cast<Q>(k);
                EXPECT_EQ(p.value.applies(q), base.value.applies(q));
                if (!base.value.applies(q)) continue;
                SCOPED_TRACE(std::to_string(s) + " " + quantityInfo(q).key);
                EXPECT_NEAR(p.value[q], base.value[q], 1e-13 * std::fabs(base.value[q]));
                // A bar near the rounding of the values rounds differently in another unit.
                EXPECT_NEAR(p.error[q], base.error[q], 1e-2 * base.error[q]);
            }
        }
    }
}

// Touching conductors are refused at the user's level (plattor-lines' end-to-end tests); a gap
// of a thousandth of a width is not touching, and converges like any other.
TEST(NearlyTouchingConductors, Converge) {
    const ConvergedQuantities p = converged({4, 1, 5.002, 0});
    EXPECT_GT(p.value[Q::stripToGroundCapacitance], 0);
    EXPECT_LE(p.error[Q::stripToGroundCapacitance], 1e-5 * p.value[Q::stripToGroundCapacitance]);
}

// The screen that keeps plattor's accuracy check cheap must let no input through whose printed
// values are more than 1 % off: drawn log-uniformly over the whole input space, plattor's own
// values at its fixed counts against the converged ones.
TEST(AccuracyScreen, PassesOnlyInputsWithinOnePercent) {
    std::mt19937 random(20261207);
    auto logUniform = [&random](double lo, double hi) {
        return std::pow(10.0, std::uniform_real_distribution<double>(std::log10(lo), std::log10(hi))(random));
    };
    int screened = 0, passed = 0;
    for (int k = 0; k < 60; ++k) {
        const bool plane = k % 5 != 0;
        const double g = plane ? logUniform(1e-3, 1e4) : 0.0, c = 1 + logUniform(1e-3, 1e3),
                     h = plane ? logUniform(1e-3, 1e3) : 0.0;
        if (plane && 50 * h / g > 1e5) continue;  // plattor's field grid refuses it
        const ConductorModel model = setUpGeometry({g, 1.0, c, h}).conductors;
        const Matrix partial = partialCapacitance(reducedCapacitance(model));
        const PrintedCapacitances printed{g, 1.0, c, h, partial(0, plane ? 1 : 0), plane ? partial(0, 0) : NAN};
        if (countsMayBeTooCoarse(printed, model)) {
            ++screened;
            continue;
        }
        ++passed;
        const ConvergedQuantities ladder = converged({g, 1.0, c, h});
        EXPECT_NEAR(printed.stripToStrip, ladder.value[Q::stripToStripCapacitance],
                    0.01 * ladder.value[Q::stripToStripCapacitance])
            << g << " 1 " << c << " " << h;
        if (plane) {
            EXPECT_NEAR(printed.stripToGround, ladder.value[Q::stripToGroundCapacitance],
                        0.01 * ladder.value[Q::stripToGroundCapacitance])
                << g << " 1 " << c << " " << h;
        }
        EXPECT_EQ(accuracyWarning(printed, model), "");
    }
    EXPECT_GT(screened, 0);
    EXPECT_GT(passed, 5);
}

// The closed form of the coplanar pair against its published value and its two limits, in
// every unit a length can have: C/ε0 = K(k′)/K(k) → π/ln(4s/w) far apart (k′ → 0, error of
// order w/s) and (2/π)·ln(4/k) nearly touching (k = s/(s + 2w) → 0, error of order k²).
TEST(CoplanarClosedForm, MatchesItsValueAndBothLimitsAtAnyScale) {
    const double e0 = plattorVacuumPermittivity;
    const struct {
        double gap;  // in strip widths
        double expected;
        double tolerance;
    } cases[] = {
        {2, 11.3268378035e-12, 1e-10},
        {1e100, e0 * pi / std::log(4e100), 1e-14},
        // A gap this small holds only about ten digits once rounded into a centre distance.
        {1e-6, e0 * 2 / pi * std::log(4 * (2 + 1e-6) / 1e-6), 1e-9},
    };
    for (const auto& c : cases) {
        for (const double unit : {1e-140, 1e-6, 1.0, 1e40}) {
            if (c.gap * unit > 1e150) continue;
            EXPECT_NEAR(coplanarStripsCapacitance(unit, -(1 + c.gap) * unit), c.expected, c.tolerance * c.expected)
                << "gap " << c.gap << ", unit " << unit;
        }
    }
}

// The converged solver is called only where every ratio of the pair's lengths lies in its
// range; the first ratio out of it is named against the earlier length.
TEST(ConvergedRange, NamesTheFirstRatioOutOfRange) {
    const struct {
        double g, w, c, h;
        const char* problem;
    } cases[] = {
        {10, 1, 3, 1, ""},
        {1e6, 1, 1e6 + 1, 1e3, ""},
        {1e-6, 1, 1 + 2e-6, -1e-6, ""},
        {0, 1, 1e6 + 1, 1e-30, ""},  // no plane: the height plays no part
        {4, 1, 5.0001, 0, ""},
        {10, 1, 3, 1e-16, "the height is 1e-16 of the strip width"},
        {1e16, 1, 3, 1, "the ground-plane width is 1e16 of the strip width"},
        {0, 1e-100, 1e-88, 0, "the gap between the strips is 1e12 of the strip width"},
        {1000, 1, 30000, 0.01, "the height is 3.33e-7 of the gap between the strips"},
        {1e6, 1, 3, 1e-6, "the height is 5e-7 of the gap between the strips"},
        {4, 1, 5.0000000001, 0, "the gap between the plane and a strip is 5e-11 of the strip width"},
        {10, 1, -3, -1e-7, "the height is 1e-7 of the strip width"},
        // Just beyond a limit, in the digits that show it beyond.
        {2e6, 2, 7, 2000002, "the height is 1000001 of the strip width"},
        {10, 1, 3, 9.99999e-7, "the height is 9.99999e-7 of the strip width"},
    };
    for (const auto& c : cases) {
        const std::string expected =
            *c.problem ? std::string(c.problem) + "; the converged solver resolves 1e-6 … 1e6" : std::string();
        EXPECT_EQ(convergedRangeProblem(c.g, c.w, c.c, c.h), expected) << c.g << " " << c.w << " " << c.c << " " << c.h;
    }
    EXPECT_EQ(ratioText(2.5e-7), "2.5e-7");
    EXPECT_EQ(ratioText(1.02e152), "1.02e152");
    EXPECT_EQ(ratioText(0.5), "0.5");
    EXPECT_EQ(outsideRatioText(1.0000004e6), "1000000.4");
}

}  // namespace
}  // namespace plattor
