// The board structures against what they must reproduce: the exact conformal-mapping results of
// thin centred stripline, vacuum and homogeneous dielectrics, the published microstrip closed
// forms within their accuracy, finer solutions of their own at the scale of the bars, the
// length unit, mirror symmetry, and every refusal of a structure that is not physical.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>

#include "lines/quantities.hpp"
#include "matrix/error.hpp"
#include "physics/constants.hpp"
#include "section/structure_arguments.hpp"
#include "section/structures.hpp"
#include "solver/ladder.hpp"
#include "support/microstrip_closed_forms.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

using Q = Quantity;
constexpr double pi = std::numbers::pi;

Structure make(StructureKind kind, std::initializer_list<std::pair<const char*, double>> options) {
    Structure s;
    s.kind = kind;
    for (const auto& [name, value] : options) s.*(findStructureOption(name)->field) = value;
    return s;
}

ConvergedQuantities solved(const Structure& s) {
    checkStructure(s);
    return convergedQuantities(structureSection(s));
}

// K(k) by the arithmetic-geometric mean, π/(2·AGM(1, k′)), from the complementary modulus k′ so
// that a modulus within a rounding unit of 1 keeps its digits.
double ellipticK(double complementary) {
    double a = 1, b = complementary;
    for (int i = 0; i < 40; ++i) std::tie(a, b) = std::pair{(a + b) / 2, std::sqrt(a * b)};
    return pi / (2 * a);
}
// K(k′)/K(k) for k and k′ = √(1 − k²).
double ratioK(double k, double complementary) { return ellipticK(k) / ellipticK(complementary); }
double ratioK(double k) { return ratioK(k, std::sqrt(1 - k * k)); }

// A thin trace centred between planes b apart, in a homogeneous dielectric, has exactly
// C = 4·ε·K(k′)/K(k), k = sech(πw/2b); a pair with gap s (Cohn) C_e = 4·ε·K(k_e)/K(k_e′),
// k_e = tanh(πw/2b)·tanh(π(w + s)/2b), and C_o the same with coth for the second tanh.
struct Stripline {
    double w, s, b, er;  // s NaN: one trace
};

void PrintTo(const Stripline& c, std::ostream* os) { *os << c.w << " " << c.s << " " << c.b << " " << c.er; }

class ThinCentredStripline : public ::testing::TestWithParam<Stripline> {};

TEST_P(ThinCentredStripline, MatchesConformalMappingWithinTheBar) {
    const Stripline c = GetParam();
    Structure st = make(StructureKind::stripline, {{"w", c.w}, {"h", c.b / 2}, {"b", c.b}, {"er", c.er}});
    st.s = c.s;
    const ConvergedQuantities r = solved(st);
    const double e = vacuumPermittivity * c.er;
    const double t1 = std::tanh(pi * c.w / (2 * c.b)), t2 = std::tanh(pi * (c.w + c.s) / (2 * c.b));
    const struct {
        Q quantity;
        double exact;
    } checks[] = {{Q::capacitance, 4 * e * ratioK(1 / std::cosh(pi * c.w / (2 * c.b)), std::tanh(pi * c.w / (2 * c.b)))},
                  {Q::evenModeCapacitance, 4 * e / ratioK(t1 * t2)},
                  {Q::oddModeCapacitance, 4 * e / ratioK(t1 / t2)},
                  // A homogeneous dielectric: ε_eff is εr, exactly as the bar says.
                  {Q::effectivePermittivity, c.er},
                  {Q::evenModeEffectivePermittivity, c.er},
                  {Q::oddModeEffectivePermittivity, c.er}};
    for (const auto& check : checks) {
        if (!r.value.applies(check.quantity)) continue;
        SCOPED_TRACE(quantityInfo(check.quantity).name);
        EXPECT_LE(std::fabs(r.value[check.quantity] - check.exact), r.error[check.quantity]) << r.value[check.quantity];
        EXPECT_LE(r.error[check.quantity], 1e-5 * check.exact);
    }
}

INSTANTIATE_TEST_SUITE_P(Traces, ThinCentredStripline,
                         ::testing::Values(Stripline{1, NAN, 2, 1}, Stripline{0.05, NAN, 1, 4.3},
                                           Stripline{20, NAN, 1, 2.2}, Stripline{1, 0.5, 2, 1},
                                           Stripline{1, 0.01, 1, 3.5}, Stripline{0.2, 5, 1, 10},
                                           // A trace 200 spacings wide: the graded mesh.
                                           Stripline{260, NAN, 1.3, 4.3}),
                         [](const auto& info) {
                             const Stripline& c = info.param;
                             return testing::caseName({{"W", c.w}, {"_S", std::isnan(c.s) ? 0 : c.s}, {"_B", c.b}});
                         });

// With every permittivity 1 a board is vacuum: ε_eff exactly 1, the capacitance the one in air.
// A two-layer stripline of εr and εr on both sides is homogeneous: C = εr·C_air.
TEST(StructuresInVacuum, AreFreeSpaceAndHomogeneousOnesScale) {
    const ConvergedQuantities vacuum = solved(make(
        StructureKind::microstrip, {{"w", 1}, {"t", 0.3}, {"s", 0.5}, {"h", 1}, {"er", 1}, {"mask", 0.1}, {"mask-er", 1}}));
    EXPECT_EQ(vacuum.value[Q::evenModeEffectivePermittivity], 1);
    EXPECT_EQ(vacuum.error[Q::oddModeEffectivePermittivity], 0);
    EXPECT_EQ(vacuum.value[Q::oddModeCapacitance], vacuum.value[Q::oddModeCapacitanceInAir]);
    const ConvergedQuantities layered = solved(
        make(StructureKind::stripline, {{"w", 1}, {"t", 0.2}, {"h", 0.4}, {"b", 1.5}, {"er", 3.7}, {"er-top", 3.7}}));
    EXPECT_NEAR(layered.value[Q::capacitance], 3.7 * layered.value[Q::capacitanceInAir],
                layered.error[Q::capacitance] + 3.7 * layered.error[Q::capacitanceInAir]);
    // Over traces of no thickness a mask is a layer of its thickness: the same as a cover.
    const auto thin = [](const char* layer, const char* permittivity) {
        Structure s = make(StructureKind::microstrip, {{"w", 1}, {"s", 0.5}, {"h", 1}, {"er", 4.3}});
        s.*(findStructureOption(layer)->field) = 0.3;
        s.*(findStructureOption(permittivity)->field) = 3.2;
        return solved(s);
    };
    EXPECT_EQ(thin("mask", "mask-er").value[Q::oddModeImpedance], thin("cover", "cover-er").value[Q::oddModeImpedance]);
}

// Hammerstad–Jensen hold a thin microstrip's air impedance to 0.03 %, εeff to 0.2 % and so the
// impedance to 0.13 %; Kirschning–Jansen the pair's mode impedances to 0.6 %.
TEST(ThinMicrostrip, AgreesWithThePublishedClosedForms) {
    for (const auto& [u, er] : {std::pair{0.1, 2.2}, std::pair{1.0, 4.3}, std::pair{10.0, 9.8}}) {
        const ConvergedQuantities r = solved(make(StructureKind::microstrip, {{"w", u}, {"h", 1}, {"er", er}}));
        EXPECT_NEAR(r.value[Q::impedance] / testing::hammerstadImpedance(u, er), 1, 1.3e-3) << u << " " << er;
        EXPECT_NEAR(r.value[Q::effectivePermittivity] / testing::hammerstadEffectivePermittivity(u, er), 1, 2e-3);
    }
    for (const auto& [u, g, er] : {std::tuple{0.1, 10.0, 10.0}, std::tuple{1.0, 1.0, 4.3}, std::tuple{10.0, 1.0, 2.2}}) {
        const ConvergedQuantities r =
            solved(make(StructureKind::microstrip, {{"w", u}, {"s", g}, {"h", 1}, {"er", er}}));
        const testing::CoupledModes kj = testing::kirschningCoupled(u, g, er);
        EXPECT_NEAR(r.value[Q::evenModeImpedance] / kj.evenImpedance, 1, 6e-3) << u << " " << g;
        EXPECT_NEAR(r.value[Q::oddModeImpedance] / kj.oddImpedance, 1, 6e-3) << u << " " << g;
    }
}

// Boards with corners the charge is singular at: thick and etched traces, a mask over them,
// coplanar grounds, two layers. The reported values must hold a solution of their own at
// order 10 with layers 16³ times deeper into every corner.
struct Board {
    const char* name;
    Structure structure;
};

void PrintTo(const Board& b, std::ostream* os) { *os << b.name; }

class BoardAgainstAFinerSolution : public ::testing::TestWithParam<Board> {};

TEST_P(BoardAgainstAFinerSolution, BarsHoldIt) {
    const Structure& s = GetParam().structure;
    const ConvergedQuantities r = solved(s);
    const CrossSection section = structureSection(s);
    const MeshLevel finer{10, ladderLevels()[r.levels.size() - 1].cornerDepth / 4096};
    const ModeCapacitances modes = modeCapacitances(section, meshCrossSection(section, finer));
    const CrossSection vacuum = section.inVacuum();
    const ModeCapacitances air = modeCapacitances(vacuum, meshCrossSection(vacuum, finer));
    const QuantityValues fine = lineQuantities(modes, air);
    for (std::size_t k = 0; k < quantityCount; ++k) {
        const auto q = static_cast<Q>(k);
        if (!r.value.applies(q)) continue;
        SCOPED_TRACE(quantityInfo(q).name);
        EXPECT_LE(std::fabs(r.value[q] - fine[q]), r.error[q]);
        if (quantityInfo(q).unit == Unit::impedance || q == Q::effectivePermittivity ||
            q == Q::evenModeEffectivePermittivity || q == Q::oddModeEffectivePermittivity) {
            EXPECT_LE(r.error[q], 1e-5 * std::fabs(r.value[q]));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Structures, BoardAgainstAFinerSolution,
    ::testing::Values(
        Board{"ThickMicrostripPairUnderAMask",
              make(StructureKind::microstrip,
                   {{"w", 1}, {"t", 0.35}, {"s", 1}, {"h", 1}, {"er", 4.3}, {"mask", 0.2}, {"mask-er", 3.5}})},
        Board{"EtchedTrace", make(StructureKind::microstrip, {{"w", 1}, {"w-top", 0.7}, {"t", 0.5}, {"h", 0.5}, {"er", 9.8}})},
        Board{"EmbeddedPair",
              make(StructureKind::microstrip, {{"w", 1}, {"t", 0.2}, {"s", 0.3}, {"h", 1}, {"er", 4.3}, {"cover", 0.5},
                                               {"cover-er", 3}})},
        Board{"GroundedCoplanarUnderAMask",
              make(StructureKind::coplanar, {{"w", 1}, {"t", 0.1}, {"g", 0.3}, {"ground-width", 3}, {"h", 0.5}, {"er", 4.3},
                                             {"mask", 0.05}, {"mask-er", 3.3}})},
        Board{"OffsetTwoLayerStriplinePair",
              make(StructureKind::stripline,
                   {{"w", 1}, {"t", 0.3}, {"s", 0.6}, {"h", 0.3}, {"b", 2}, {"er", 4.3}, {"er-top", 3.1}})},
        // Once minutes and gigabytes, and a refusal.
        Board{"WideThickTraceBetweenClosePlanes",
              make(StructureKind::stripline,
                   {{"w", 1.7}, {"t", 5.1e-5}, {"h", 1.53e-3}, {"b", 1.7e-3}, {"er", 3.3}, {"er-top", 4.1}})},
        Board{"PairWithTopsAlmostAsWideUnderAMask",
              make(StructureKind::microstrip, {{"w", 2.3}, {"w-top", 2.2999999977}, {"t", 0.035}, {"s", 0.5},
                                               {"h", 0.6}, {"er", 4.3}, {"mask", 0.02}, {"mask-er", 3.3}})}),
    [](const auto& info) { return std::string(info.param.name); });

// The range check admits no geometry whose mesh exceeds its limits; one beyond the range, meshed
// anyway, is refused as a fault of the mesh naming the face.
TEST(Mesh, BeyondItsLimitsItNamesTheFace) {
    const CrossSection section =
        structureSection(make(StructureKind::microstrip, {{"w", 0.37}, {"t", 3.7e-31}, {"h", 3.7e-31}, {"er", 4}}));
    EXPECT_THROW(try { meshCrossSection(section, ladderLevels()[0]); } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "the mesh needs more than 2000 panels on the face from (-0.5, 1e-30) to (0.5, 1e-30) (in trace "
                               "widths); this is a fault of the mesh: please report the input");
        throw;
    }, RunError);
}

// A trace of thickness t approaches the zero-thickness one as t → 0, from below: thickness adds
// capacitance at the edges.
TEST(TraceThickness, TheThinLimitIsTheZeroThicknessTrace) {
    const auto impedance = [](double t) {
        Structure s = make(StructureKind::microstrip, {{"w", 1}, {"h", 1}, {"er", 4.3}});
        if (t > 0) s.t = t;
        return solved(s);
    };
    const ConvergedQuantities thin = impedance(0);
    double previous = 0;
    for (const double t : {1e-2, 1e-3, 1e-4}) {
        const ConvergedQuantities r = impedance(t);
        const double gap = thin.value[Q::impedance] - r.value[Q::impedance];
        EXPECT_GT(gap, -(thin.error[Q::impedance] + r.error[Q::impedance])) << t;
        if (previous > 0) {
            EXPECT_LT(gap, previous) << t;
        }
        previous = gap;
    }
    EXPECT_LT(previous, 2e-3 * thin.value[Q::impedance]);
}

// Lengths in any unit, bare or with a suffix, give the same answer; an arrangement solved whole,
// without its mirror symmetry, the same as its half.
TEST(Structures, TheUnitAndTheMirrorDoNotMatter) {
    const auto fromText = [](std::initializer_list<std::pair<const char*, const char*>> options) {
        StructureInput in;
        in.structure.kind = StructureKind::coplanar;
        for (const auto& [name, text] : options) setStructureOption(in, *findStructureOption(name), text);
        return solved(in.structure);
    };
    const ConvergedQuantities mm = fromText({{"w", "0.2mm"}, {"t", "35um"}, {"s", "0.15mm"}, {"g", "0.1mm"},
                                             {"h", "0.1mm"}, {"er", "4.3"}});
    const ConvergedQuantities mil = fromText({{"w", "7.874015748031496mil"}, {"t", "1.3779527559055118mil"},
                                              {"s", "5.905511811023622mil"}, {"g", "3.937007874015748mil"},
                                              {"h", "3.937007874015748mil"}, {"er", "4.3"}});
    const ConvergedQuantities bare =
        fromText({{"w", "2"}, {"t", "0.35"}, {"s", "1.5"}, {"g", "1"}, {"h", "1"}, {"er", "4.3"}});
    for (const Q q : {Q::evenModeImpedance, Q::oddModeImpedance, Q::differentialImpedance}) {
        EXPECT_NEAR(mil.value[q], mm.value[q], 1e-12 * mm.value[q]);
        EXPECT_NEAR(bare.value[q], mm.value[q], 1e-12 * mm.value[q]);
    }

    // Solved whole, without its mirror symmetry, on the last rung's mesh, within the bars.
    const Structure pair = make(StructureKind::microstrip, {{"w", 1}, {"t", 0.2}, {"s", 0.4}, {"h", 0.6}, {"er", 4.3}});
    const ConvergedQuantities half = solved(pair);
    CrossSection whole = structureSection(pair);
    whole.mirrorSymmetric = false;
    const ModeCapacitances unfolded = modeCapacitances(whole, meshCrossSection(whole, half.levels.back().level));
    EXPECT_NEAR(unfolded.even, half.value[Q::evenModeCapacitance], half.error[Q::evenModeCapacitance]);
    EXPECT_NEAR(unfolded.odd, half.value[Q::oddModeCapacitance], half.error[Q::oddModeCapacitance]);
}

// Every structure that is not physical, or not complete, is refused in one line naming the culprit.
struct Refusal {
    const char* name;
    std::function<void(Structure&)> change;
    const char* message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class StructureRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(StructureRefusals, NameTheCulprit) {
    Structure s = make(StructureKind::microstrip, {{"w", 1}, {"h", 1}, {"er", 4.3}});
    GetParam().change(s);
    try {
        checkStructure(s);
        FAIL() << "accepted";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StructureRefusals,
    ::testing::Values(
        Refusal{"MissingHeight", [](Structure& s) { s.h = absent; }, "microstrip: needs --h (the substrate's height)"},
        Refusal{"NegativeWidth", [](Structure& s) { s.w = -1; }, "microstrip: --w must be positive, got -1"},
        Refusal{"NegativeThickness", [](Structure& s) { s.t = -0.1; }, "microstrip: --t must not be negative, got -0.1"},
        Refusal{"TopWiderThanBottom", [](Structure& s) { s.t = 0.1, s.wTop = 1.5; },
                "microstrip: --w-top 1.5 is wider than --w 1: a trace's top is not wider than its bottom"},
        Refusal{"TracesTouch", [](Structure& s) { s.s = 0; },
                "microstrip: the traces touch (--s 0): the capacitance between them is infinite"},
        Refusal{"MaskWithoutPermittivity", [](Structure& s) { s.mask = 0.1; }, "microstrip: --mask and --mask-er go together"},
        Refusal{"MaskAndCover", [](Structure& s) { s.mask = 0.1, s.maskEr = 3, s.cover = 1, s.coverEr = 3; },
                "microstrip: --mask and --cover exclude each other"},
        Refusal{"CoverBelowTheTraces", [](Structure& s) { s.t = 0.5, s.cover = 0.2, s.coverEr = 3; },
                "microstrip: the cover must embed the traces: --cover 0.2 is below --t 0.5"},
        Refusal{"PermittivityBelowOne", [](Structure& s) { s.er = 0.5; },
                "microstrip: --er must be a relative permittivity from 1 to 10000, got 0.5"},
        Refusal{"PermittivityAboveTheLimit", [](Structure& s) { s.er = 2e4; },
                "microstrip: --er must be a relative permittivity from 1 to 10000, got 20000"},
        Refusal{"OptionOfAnotherStructure", [](Structure& s) { s.b = 2; }, "microstrip: has no option --b"},
        Refusal{"TraceThroughTheUpperPlane", [](Structure& s) { s.kind = StructureKind::stripline, s.b = 1.2, s.t = 0.3; },
                "stripline: the trace reaches the upper plane: --h 1 and --t 0.3 reach 1.3, not below --b 1.2"},
        Refusal{"CoplanarGroundsTouch", [](Structure& s) { s.kind = StructureKind::coplanar, s.g = 0; },
                "coplanar: the traces touch the coplanar grounds (--g 0): the capacitance between them is infinite"},
        Refusal{"BeyondTheRange", [](Structure& s) { s.h = 1e-7; },
                "microstrip: the height is 1e-7 of the trace width; plattor-lines resolves 1e-6 … 1e6"},
        Refusal{"JustBeyondTheRange", [](Structure& s) { s.w = 0.37, s.h = 370000.37; },
                "microstrip: the height is 1000001 of the trace width; plattor-lines resolves 1e-6 … 1e6"},
        Refusal{"CoverBarelyOverTheTraces", [](Structure& s) { s.w = 2.3, s.t = 0.035, s.cover = 0.0350000001, s.coverEr = 3; },
                "microstrip: the cover over the traces' tops is 4.35e-11 of the trace width; plattor-lines resolves 1e-6 … 1e6"},
        Refusal{"MaskBarelyThinnerThanTheTraces",
                [](Structure& s) { s.kind = StructureKind::coplanar, s.g = 0.2, s.t = 0.035, s.mask = 0.0349999999, s.maskEr = 3; },
                "coplanar: the step of the mask at the traces' sides is 1e-10 of the trace width; plattor-lines resolves "
                "1e-6 … 1e6"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a user types: units mixed, a value twice, text where a number belongs.
TEST(StructureArguments, RefuseWhatIsNotALength) {
    const struct {
        const char* options[2][2];
        const char* message;
    } cases[] = {
        {{{"w", "0.1mm"}, {"h", "0.1"}}, "lengths with and without a unit are mixed (--h 0.1): give every length bare, or every one with a unit"},
        {{{"w", "1"}, {"w", "2"}}, "--w is given twice"},
        {{{"w", "0x10"}, {"h", "1"}}, "--w needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"0x10\""},
        {{{"w", "1inch"}, {"h", "1"}}, "--w needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"1inch\""},
        {{{"w", "1"}, {"er", "4.3mm"}}, "--er needs a decimal number, got \"4.3mm\""},
    };
    for (const auto& c : cases) {
        StructureInput in;
        try {
            for (const auto& [name, text] : c.options) setStructureOption(in, *findStructureOption(name), text);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const RunError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

}  // namespace
}  // namespace plattor
