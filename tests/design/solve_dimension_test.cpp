// Solving for a length: the solved length put back into a forward solve meets the target within
// the bars, agrees with the exact stripline formulas within its uncertainty, and an unreachable
// target or a question the structure cannot answer is refused in one line naming the culprit.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "design/impedance_table.hpp"
#include "design/solve_dimension.hpp"
#include "base/error.hpp"
#include "physics/constants.hpp"
#include "support/microstrip_closed_forms.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

using Q = Quantity;
using testing::waveImpedance;

Structure microstrip(double w, double h, double er, double t = absent) {
    Structure s;
    s.w = w, s.h = h, s.er = er, s.t = t;
    return s;
}

Structure stripline(double w, double h, double b, double er) {
    Structure s;
    s.kind = StructureKind::stripline;
    s.w = w, s.h = h, s.b = b, s.er = er;
    return s;
}

const StructureOption& option(const char* name) { return *findStructureOption(name); }

struct SolveCase {
    const char* name;
    Structure structure;
    const char* dimension;
    Quantity quantity;
    double target;
};

Structure with(Structure s, double Structure::*field, double value) {
    s.*field = value;
    return s;
}

// A failing case is named, not dumped as bytes.
void PrintTo(const SolveCase& c, std::ostream* os) { *os << c.name; }

class SolveRoundTrip : public ::testing::TestWithParam<SolveCase> {};

// The solved length, solved again forward, gives the target within the quantity's bar; moving
// it by its uncertainty either way moves the quantity past the target by about the bar, so the
// uncertainty is neither missing nor hiding a miss.
TEST_P(SolveRoundTrip, TheForwardSolveMeetsTheTargetWithinTheBars) {
    const SolveCase& c = GetParam();
    const StructureOption& d = option(c.dimension);
    const SolvedDimension solved = solveDimension(c.structure, d, c.quantity, c.target);
    ASSERT_GT(solved.value, 0);
    ASSERT_GT(solved.error, 0);
    EXPECT_LT(solved.error, 1e-4 * solved.value) << "an uncertainty far beyond the bars";
    EXPECT_EQ(solved.structure.*d.field, solved.value);

    const auto forward = [&](double value) {
        return convergedQuantities(structureSection(with(c.structure, d.field, value)));
    };
    const ConvergedQuantities at = forward(solved.value);
    EXPECT_EQ(at.value[c.quantity], solved.quantities.value[c.quantity]) << "the report is not the solved structure's";
    const double bar = at.error[c.quantity];
    EXPECT_LE(std::fabs(at.value[c.quantity] - c.target), bar);

    const double below = forward(solved.value - solved.error).value[c.quantity] - c.target;
    const double above = forward(solved.value + solved.error).value[c.quantity] - c.target;
    EXPECT_LT(below * above, 0) << "the uncertainty's interval does not straddle the target";
    EXPECT_GE(std::min(std::fabs(below), std::fabs(above)), 0.5 * bar);
}

// A search whose cheapest rung lands on the target from one side, rounding leaving no sign
// change beside it (README's 35 µm microstrip solved for 50 Ω), ends there: it solves no board
// far from the length it finds, such as the range's ends of extreme ratios.
TEST(SolveLength, ALandingOnTheTargetEndsTheSearchThere) {
    const Structure s = microstrip(0.2e-3, 0.2e-3, 4.3, 35e-6);
    const StructureOption& w = option("w");
    const DimensionRange range = dimensionRange(s, w);
    std::vector<double> asked;
    const SolvedLength solved = solveLength({"microstrip", "--w", range.lo, range.hi, s.w,
                                             [&](double value) {
                                                 asked.push_back(value);
                                                 return structureSection(with(s, w.field, value));
                                             }},
                                            Q::impedance, 50.0);
    EXPECT_NEAR(solved.value, 0.359346433e-3, 1e-12);
    for (const double value : asked) EXPECT_LT(std::fabs(std::log(value / solved.value)), std::log(4.0)) << value;
}

Structure pair(Structure s, double gap) { return with(s, &Structure::s, gap); }

Structure coplanarWithMask() {
    Structure s = microstrip(0.3, 0.2, 4.3, 0.035);
    s.kind = StructureKind::coplanar;
    s.g = 0.12;
    s.mask = 0.02, s.maskEr = 3.5;
    return s;
}

Structure covered() {
    Structure s = microstrip(0.3, 0.2, 4.3, 0.03);
    s.coverEr = 3.2;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Structures, SolveRoundTrip,
    ::testing::Values(
        SolveCase{"ThinMicrostripWidth", microstrip(absent, 0.2, 4.3), "w", Q::impedance, 50},
        SolveCase{"ThickMicrostripWidthInMillimetres", microstrip(absent, 2e-4, 4.3, 35e-6), "w", Q::impedance, 50},
        SolveCase{"MicrostripHeight", microstrip(0.3, absent, 3.0, 0.03), "h", Q::impedance, 75},
        SolveCase{"MicrostripThickness", microstrip(0.3, 0.2, 4.3), "t", Q::impedance, 45},
        SolveCase{"PairGapForDifferential", pair(microstrip(0.2, 0.2, 4.3, 0.035), absent), "s",
                  Q::differentialImpedance, 100},
        SolveCase{"PairWidthForCommonMode", pair(microstrip(absent, 0.2, 4.3), 0.2), "w", Q::commonModeImpedance, 30},
        SolveCase{"StriplinePlaneSpacing", stripline(0.15, 0.2, absent, 4.3), "b", Q::impedance, 50},
        SolveCase{"StriplinePairGapForOddMode", pair(stripline(0.15, 0.2, 0.45, 4.3), absent), "s", Q::oddModeImpedance,
                  45},
        SolveCase{"CoplanarWithMaskGroundGap", with(coplanarWithMask(), &Structure::g, absent), "g", Q::impedance, 50},
        SolveCase{"CoplanarWithMaskThickness", with(coplanarWithMask(), &Structure::mask, absent), "mask",
                  Q::impedance, 45},
        SolveCase{"CoverThickness", covered(), "cover", Q::impedance, 50}),
    [](const auto& info) { return std::string(info.param.name); });

// --- against the exact formulas of the centred zero-thickness stripline (Cohn) ---

// Z = η0/(4√εr)·K(k′)/K(k) for the modulus k of the conformal map.
double striplineImpedance(double k, double er) {
    return waveImpedance() / (4 * std::sqrt(er)) * std::comp_ellint_1(std::sqrt(1 - k * k)) / std::comp_ellint_1(k);
}

// A single trace of width w between planes b apart: k = tanh(π·w/(2b)). A pair a gap s apart
// (Cohn 1955): k_e = tanh(π·w/(2b))·tanh(π·(w + s)/(2b)), k_o = tanh(π·w/(2b))·coth(π·(w + s)/(2b)).
double exactStripline(Quantity q, double w, double s, double b, double er) {
    const double x = std::numbers::pi / (2 * b);
    if (q == Q::impedance) return striplineImpedance(std::tanh(x * w), er);
    const double even = striplineImpedance(std::tanh(x * w) * std::tanh(x * (w + s)), er);
    const double odd = striplineImpedance(std::tanh(x * w) / std::tanh(x * (w + s)), er);
    return q == Q::differentialImpedance ? 2 * odd : q == Q::evenModeImpedance ? even : odd;
}

class SolveAgainstExact : public ::testing::TestWithParam<SolveCase> {};

TEST_P(SolveAgainstExact, TheSolvedLengthHoldsTheExactOneWithinItsUncertainty) {
    const SolveCase& c = GetParam();
    const StructureOption& d = option(c.dimension);
    const SolvedDimension solved = solveDimension(c.structure, d, c.quantity, c.target);
    // The exact length by bisection: the impedances fall with w and rise with s.
    const Structure& s = c.structure;
    const bool width = d.field == &Structure::w;
    double lo = 1e-3, hi = 10;
    for (int k = 0; k < 200; ++k) {
        const double mid = std::sqrt(lo * hi);
        const double z = width ? exactStripline(c.quantity, mid, s.s, s.b, s.er)
                               : exactStripline(c.quantity, s.w, mid, s.b, s.er);
        ((z > c.target) == width ? lo : hi) = mid;
    }
    const double exact = std::sqrt(lo * hi);
    EXPECT_LE(std::fabs(solved.value - exact), solved.error)
        << "solved " << solved.value << " ± " << solved.error << ", exact " << exact;
}

INSTANTIATE_TEST_SUITE_P(
    CentredThinStripline, SolveAgainstExact,
    ::testing::Values(
        SolveCase{"SingleWidthFor50Ohm", stripline(absent, 0.25, 0.5, 4.3), "w", Q::impedance, 50},
        SolveCase{"SingleWidthFor28Ohm", stripline(absent, 0.5, 1.0, 2.2), "w", Q::impedance, 28},
        SolveCase{"PairGapFor100OhmDifferential", pair(stripline(0.12, 0.25, 0.5, 3.5), absent), "s",
                  Q::differentialImpedance, 100},
        SolveCase{"PairWidthFor40OhmOddMode", pair(stripline(absent, 0.25, 0.5, 3.5), 0.1), "w", Q::oddModeImpedance,
                  40},
        SolveCase{"PairWidthFor60OhmEvenMode", pair(stripline(absent, 0.25, 0.5, 3.5), 0.1), "w",
                  Q::evenModeImpedance, 60}),
    [](const auto& info) { return std::string(info.param.name); });

// A board's table on the centred thin stripline (b = 0.37 m, εr 3.7, tan δ 0.017, an etch of
// 0.0113): a trace's width, a pair's width and gap kept equal, and both tolerance columns against
// Cohn's exact impedances. The columns are central differences at the solved lengths, a pair's gap
// narrowing as its traces widen; in one dielectric Z ∝ 1/√εr. A strip of no thickness has no
// conductor loss, and in one dielectric every mode's γ = jω√(εr(1 − j tan δ))/c0 exactly.
TEST(ImpedanceTable, TheCentredThinStriplinesWidthsTolerancesAndLossesAreExact) {
    const double b = 0.37, er = 3.7, tanDelta = 0.017, etch = 0.0113, f = 3.3e9;
    TraceStack stack;
    stack.board.topPlane = true;
    BoardLayer half;
    half.thickness = b / 2, half.er = er, half.tanDelta = tanDelta;
    stack.board.layers = {half, half};
    stack.base = b / 2;
    LossRequest losses;
    losses.frequencies = {f};
    const std::vector<ImpedanceRow> rows = impedanceTable({stack}, {"stripline"},
                                                          {{Q::impedance, 50}, {Q::differentialImpedance, 90}}, {},
                                                          {etch, 0.05}, losses, 2);
    const std::complex<double> gamma =
        std::complex<double>(0, 2 * std::numbers::pi * f / speedOfLight) * std::sqrt(er * std::complex<double>(1, -tanDelta));
    const double attenuation = gamma.real() * 20 / std::log(10.0);  // dB/m
    ASSERT_EQ(rows.size(), 2u);
    for (const ImpedanceRow& row : rows) {
        ASSERT_EQ(row.error, "");
        const Quantity q = row.target.quantity;
        const bool pair = q == Q::differentialImpedance;
        const double w = row.width, s = pair ? row.gap : 0.0, target = row.target.ohms;
        if (pair) {
            EXPECT_EQ(row.gap, row.width);
        }
        const auto exact = [&](double width, double gap) { return exactStripline(q, width, gap, b, er); };
        // The lengths' uncertainty holds the exact solution: the impedance at its two ends lies
        // on both sides of the target.
        const double d = row.widthError;
        EXPECT_LE((exact(w + d, pair ? s + d : 0) - target) * (exact(w - d, pair ? s - d : 0) - target), 0)
            << row.target.ohms;
        const double etched = (exact(w + etch, pair ? s - etch : 0) - exact(w - etch, pair ? s + etch : 0)) / 2;
        EXPECT_NEAR(row.etchChange, etched, 1e-6 * target);
        EXPECT_NEAR(row.permittivityChange, exact(w, s) * (1 / std::sqrt(1.05) - 1 / std::sqrt(0.95)) / 2,
                    1e-6 * target);
        EXPECT_NEAR(row.attenuation, attenuation, row.attenuationError + 1e-9 * attenuation) << row.target.ohms;
    }
}

// --- refusals: a target out of reach (the reachable range named, the target outside it), or a
// question the structure cannot answer ---

struct RefusedCase {
    const char* name;
    Structure structure;
    const char* dimension;
    Quantity quantity;
    double target;
    const char* message;  // the whole message, or, where a range follows, the message up to it
    bool range = false;
};

// A failing case is named, not dumped as bytes.
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class SolveRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(SolveRefused, InOneLineNamingTheCulprit) {
    const RefusedCase& c = GetParam();
    try {
        solveDimension(c.structure, option(c.dimension), c.quantity, c.target);
        FAIL() << "solved";
    } catch (const RunError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.find('\n'), std::string::npos);
        if (!c.range) {
            EXPECT_EQ(text, c.message);
            return;
        }
        ASSERT_EQ(text.rfind(c.message, 0), 0u) << text;
        const std::string range = text.substr(std::string(c.message).size());
        double low = 0, high = 0;
        ASSERT_EQ(std::sscanf(range.c_str(), "%lf to %lf ohm", &low, &high), 2) << text;
        EXPECT_LT(low, high);
        EXPECT_TRUE(c.target < low || c.target > high) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Questions, SolveRefused,
    ::testing::Values(
        RefusedCase{"MicrostripWidthTooHigh", microstrip(absent, 0.2, 4.3), "w", Q::impedance, 900,
                    "microstrip: cannot reach impedance 900 ohm by --w: reachable range ", true},
        // Just below the widest trace's 0.00018167 4… ohm: its end printed to five digits would
        // read as the target itself.
        RefusedCase{"MicrostripWidthJustBelowTheWidestTrace", microstrip(absent, 0.2, 4.3), "w", Q::impedance,
                    0.00018167, "microstrip: cannot reach impedance 0.00018167 ohm by --w: reachable range ", true},
        RefusedCase{"MicrostripThicknessAboveTheThinTrace", microstrip(0.3, 0.2, 4.3), "t", Q::impedance, 60,
                    "microstrip: cannot reach impedance 60 ohm by --t: reachable range ", true},
        // The impedance peaks with the trace midway between the planes.
        RefusedCase{"StriplineHeightAboveTheMidwayPeak", stripline(1, absent, 2, 4), "h", Q::impedance, 100,
                    "stripline: cannot reach impedance 100 ohm by --h: reachable range ", true},
        RefusedCase{"CoplanarGroundWidthBelowTheWideGrounds",
                    with(with(coplanarWithMask(), &Structure::mask, absent), &Structure::maskEr, absent),
                    "ground-width", Q::impedance, 20,
                    "coplanar: cannot reach impedance 20 ohm by --ground-width: reachable range ", true},
        RefusedCase{"APermittivity", microstrip(0.3, 0.2, 4.3), "er", Q::impedance, 50,
                    "microstrip: cannot solve for --er: it is not a length"},
        RefusedCase{"APairsQuantityOfOneTrace", microstrip(absent, 0.2, 4.3), "w", Q::differentialImpedance, 100,
                    "microstrip: differentialImpedance is a pair's; give --s, the gap between the traces"},
        RefusedCase{"ASingleTracesQuantityOfAPair", pair(microstrip(absent, 0.2, 4.3), 0.2), "w", Q::impedance, 50,
                    "microstrip: impedance is a single trace's; a pair (--s) has evenModeImpedance, oddModeImpedance, "
                    "differentialImpedance and commonModeImpedance"},
        RefusedCase{"AMissingHeight", microstrip(absent, absent, 4.3), "w", Q::impedance, 50,
                    "microstrip: needs --h (the substrate's height)"},
        RefusedCase{"AnOptionTheStructureHasNot", microstrip(0.3, 0.2, 4.3), "b", Q::impedance, 50,
                    "microstrip: has no option --b"},
        RefusedCase{"ANegativeTarget", microstrip(absent, 0.2, 4.3), "w", Q::impedance, -50,
                    "microstrip: the target impedance must be positive, got -50"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the range a length may take ---

struct RangeCase {
    const char* name;
    Structure structure;
    const char* dimension;
    double lo, hi;  // up to the margin that keeps rounding inside
};

// A failing case is named, not dumped as bytes.
void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.name; }

class DimensionRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(DimensionRanges, HoldTheOtherLengthsLimits) {
    const RangeCase& c = GetParam();
    const DimensionRange r = dimensionRange(c.structure, option(c.dimension));
    EXPECT_NEAR(r.lo, c.lo, 1e-8 * c.lo);
    EXPECT_NEAR(r.hi, c.hi, 1e-8 * c.hi);
    EXPECT_GT(r.lo, c.lo);
    EXPECT_LT(r.hi, c.hi);
}

Structure thickStripline() {
    Structure s = stripline(0.2, 0.3, 1.0, 4);
    s.t = 0.1;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, DimensionRanges,
    ::testing::Values(
        // Every length within 1e−6 … 1e6 of every other.
        RangeCase{"MicrostripWidth", microstrip(1, 0.2, 4, 0.01), "w", 0.2e-6, 0.01e6},
        RangeCase{"MicrostripGap", pair(microstrip(0.3, 0.2, 4), 1), "s", 0.3e-6, 0.2e6},
        // Below the upper plane by the clearance the solver resolves.
        RangeCase{"StriplineHeight", thickStripline(), "h", 1e-6, 1.0 - 0.1 - 0.2e-6},
        RangeCase{"StriplineThickness", thickStripline(), "t", 1e-6, 1.0 - 0.3 - 0.2e-6},
        RangeCase{"StriplinePlaneSpacing", thickStripline(), "b", 0.3 + 0.1 + 0.2e-6, 0.1e6},
        RangeCase{"TopNoWiderThanTheBottom", with(microstrip(0.5, 0.2, 4, 0.03), &Structure::wTop, 0.4), "w-top",
                  0.5e-6, 0.5},
        RangeCase{"WidthNoNarrowerThanTheTop", with(microstrip(0.5, 0.2, 4, 0.03), &Structure::wTop, 0.4), "w", 0.4,
                  0.03e6}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plattor
