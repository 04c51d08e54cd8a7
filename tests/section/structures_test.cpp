// The board structures against what they must reproduce: the exact conformal-mapping results of
// thin centred stripline, vacuum and homogeneous dielectrics, the published microstrip closed
// forms within their accuracy, boards computed independently by finite elements, boards that
// physics says are equal, finer solutions of their own at the scale of the bars, the length
// unit, mirror symmetry, and every refusal of a structure that is not physical.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "lines/quantities.hpp"
#include "base/error.hpp"
#include "base/text.hpp"
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
    // CODATA 2018's ε0 and c0 written out; in a homogeneous dielectric Z = √εr/(c0·C),
    // L = εr/(c0²·C) and the delay √εr/c0.
    const double c0 = 299792458.0, e = 8.8541878128e-12 * c.er;
    const double t1 = std::tanh(pi * c.w / (2 * c.b)), t2 = std::tanh(pi * (c.w + c.s) / (2 * c.b));
    const double single = 4 * e * ratioK(1 / std::cosh(pi * c.w / (2 * c.b)), std::tanh(pi * c.w / (2 * c.b)));
    const double even = 4 * e / ratioK(t1 * t2), odd = 4 * e / ratioK(t1 / t2);
    const auto z = [&](double capacitance) { return std::sqrt(c.er) / (c0 * capacitance); };
    const struct {
        Q quantity;
        double exact;
    } checks[] = {{Q::capacitance, single},
                  {Q::impedance, z(single)},
                  {Q::inductance, c.er / (c0 * c0 * single)},
                  {Q::delay, std::sqrt(c.er) / c0},
                  {Q::evenModeCapacitance, even},
                  {Q::oddModeCapacitance, odd},
                  {Q::evenModeImpedance, z(even)},
                  {Q::oddModeImpedance, z(odd)},
                  {Q::differentialImpedance, 2 * z(odd)},
                  {Q::commonModeImpedance, z(even) / 2},
                  {Q::couplingCoefficient, (z(even) - z(odd)) / (z(even) + z(odd))},
                  // A homogeneous dielectric: ε_eff is εr, exactly as the bar says.
                  {Q::effectivePermittivity, c.er},
                  {Q::evenModeEffectivePermittivity, c.er},
                  {Q::oddModeEffectivePermittivity, c.er}};
    for (const auto& check : checks) {
        if (!r.value.applies(check.quantity)) continue;
        SCOPED_TRACE(quantityInfo(check.quantity).name);
        EXPECT_LE(std::fabs(r.value[check.quantity] - check.exact), r.error[check.quantity]) << r.value[check.quantity];
        // Thin traces in one medium, no corner and no interface: the panels' order alone sets the
        // error, and the bars are the quadrature's floor, not the 1e-7 of boards with corners. A
        // weak coupling's bar is the rounding floor of the difference it is, not a part of it.
        if (check.quantity != Q::couplingCoefficient) {
            EXPECT_LE(r.error[check.quantity], 2e-8 * check.exact);
        }
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
    // A thick board's values in air come from the conductors' panels of its own rungs: those of
    // the same board with every permittivity 1, from rungs of its own, within both bars.
    for (const StructureKind kind : {StructureKind::microstrip, StructureKind::coplanar}) {
        Structure board = make(kind, {{"w", 0.37}, {"t", 0.061}, {"s", 0.23}, {"h", 0.29}, {"er", 4.3}, {"mask", 0.03},
                                      {"mask-er", 3.5}});
        if (kind == StructureKind::coplanar) board.g = 0.19, board.groundWidth = 0.52;
        Structure inVacuum = board;
        inVacuum.er = inVacuum.maskEr = 1;
        const ConvergedQuantities withDielectrics = solved(board), without = solved(inVacuum);
        for (const auto& [air, own] : {std::pair{Q::evenModeCapacitanceInAir, Q::evenModeCapacitance},
                                       std::pair{Q::oddModeCapacitanceInAir, Q::oddModeCapacitance}})
            EXPECT_NEAR(withDielectrics.value[air], without.value[own], withDielectrics.error[air] + without.error[own])
                << structureName(kind);
    }
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

// The mask's coating over the conductors: as thick as its layer, the board with one thickness
// to the last bit; over a trace buried in the layer, of no effect; thinner and thinner, a board
// whose traces rise bare out of the layer, approached in steps shrinking with the coating.
TEST(MaskTop, MatchesTheOneThicknessAndThinsToTheBareTraces) {
    const Structure pair = make(StructureKind::coplanar, {{"w", 0.83}, {"w-top", 0.7}, {"t", 0.21}, {"s", 0.4}, {"g", 0.3},
                                                          {"h", 0.55}, {"er", 4.1}, {"mask", 0.09}, {"mask-er", 3.4}});
    const auto impedance = [&pair](double top, double t = 0.21) {
        Structure s = pair;
        s.maskTop = top, s.t = t;
        return solved(s).value[Q::differentialImpedance];
    };
    double previous = impedance(0.09), previousStep = HUGE_VAL;
    EXPECT_EQ(previous, solved(pair).value[Q::differentialImpedance]);
    EXPECT_EQ(impedance(0.05, 0.04), impedance(0.01, 0.04));
    for (const double top : {9e-3, 9e-4, 9e-5}) {
        const double z = impedance(top), step = z - previous;
        EXPECT_GT(step, 1e-6 * z) << top;  // less mask, less capacitance
        EXPECT_LT(step, 0.3 * previousStep) << top;
        previous = z, previousStep = step;
    }
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

// Boards computed independently by finite elements (tests/reference/structures/structures.json,
// with ε0 = 8.8542e-12 F/m and μ0 = 4π·1e−7 H/m): every bar must hold them within their stated
// accuracy, for the board as given and with every length times 0.37 written in millimetres, so
// that a length the cross-section leaves undivided by the trace width shows. And a lossless
// line's Z² = L/C and delay = √(L·C), within the relative bars they add up to.
struct ReferenceBoard {
    const char* name;
    StructureKind kind;
    std::vector<std::pair<const char*, double>> options;
    double impedance, effectivePermittivity, capacitance, capacitanceInAir;  // ohm, 1, pF/m, pF/m
    double accuracy;                                                         // relative
};

void PrintTo(const ReferenceBoard& b, std::ostream* os) { *os << b.name; }

class BoardAgainstIndependentValues : public ::testing::TestWithParam<ReferenceBoard> {};

TEST_P(BoardAgainstIndependentValues, BarsHoldThemAtAnyScale) {
    const ReferenceBoard& b = GetParam();
    // The references' constants to SI's: C by ε0′/ε0, Z by √((μ0′/μ0)·(ε0/ε0′)).
    const double toSi = 8.8541878128e-12 / 8.8542e-12, mu = 1.25663706212e-6 / (4e-7 * pi);
    const struct {
        Q quantity;
        double expected;
    } checks[] = {{Q::impedance, b.impedance * std::sqrt(mu / toSi)},
                  {Q::effectivePermittivity, b.effectivePermittivity},
                  {Q::capacitance, b.capacitance * 1e-12 * toSi},
                  {Q::capacitanceInAir, b.capacitanceInAir * 1e-12 * toSi}};
    for (const double scale : {1.0, 0.37}) {
        StructureInput in;
        in.structure.kind = b.kind;
        for (const auto& [name, value] : b.options) {
            const StructureOption& option = *findStructureOption(name);
            setStructureOption(in, option, option.length && scale != 1 ? shortestText(value * scale) + "mm"
                                                                      : shortestText(value));
        }
        const ConvergedQuantities r = solved(in.structure);
        for (const auto& [q, expected] : checks) {
            SCOPED_TRACE(std::string(quantityInfo(q).key) + " at scale " + std::to_string(scale));
            EXPECT_LE(std::fabs(r.value[q] - expected), r.error[q] + b.accuracy * expected) << r.value[q];
            EXPECT_LE(r.error[q], 1e-5 * expected);
        }
        const auto relative = [&](Q q) { return r.error[q] / r.value[q]; };
        const double z = r.value[Q::impedance], l = r.value[Q::inductance], c = r.value[Q::capacitance];
        EXPECT_NEAR(z * z * c / l, 1, 2 * relative(Q::impedance) + relative(Q::capacitance) + relative(Q::inductance));
        EXPECT_NEAR(r.value[Q::delay] / std::sqrt(l * c), 1,
                    relative(Q::delay) + (relative(Q::inductance) + relative(Q::capacitance)) / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FiniteElements, BoardAgainstIndependentValues,
    ::testing::Values(
        ReferenceBoard{"ThickMicrostrip", StructureKind::microstrip, {{"w", 2}, {"t", 0.35}, {"h", 1}, {"er", 4.3}},
                       45.76347229546596, 3.0991920829013377, 128.31719982976406, 41.40343560430069, 2.1e-7},
        ReferenceBoard{"EtchedMicrostrip", StructureKind::microstrip,
                       {{"w", 2}, {"w-top", 1.8}, {"t", 0.35}, {"h", 1}, {"er", 4.3}},
                       46.36678865429104, 3.1245141035844113, 127.16389525229035, 40.698774605116746, 1.6e-7},
        ReferenceBoard{"EmbeddedUnderACover", StructureKind::microstrip,
                       {{"w", 2}, {"t", 0.35}, {"h", 1}, {"er", 4.3}, {"cover", 1}, {"cover-er", 4.3}},
                       41.025336243067756, 3.8564004713305815, 159.66822974766472, 41.403435907312314, 3.4e-7},
        ReferenceBoard{"OffsetStriplineBetweenTwoPermittivities", StructureKind::stripline,
                       {{"w", 0.8}, {"t", 0.1}, {"h", 0.6}, {"b", 2}, {"er", 3.5}, {"er-top", 4.5}},
                       46.34356266576015, 3.9340978370335433, 142.76204380732435, 36.288381662356485, 4.9e-8},
        ReferenceBoard{"GroundedCoplanarWithFiniteGrounds", StructureKind::coplanar,
                       {{"w", 2}, {"t", 0.35}, {"g", 0.5}, {"ground-width", 18.5}, {"h", 1}, {"er", 4.3}},
                       36.52330078557823, 2.560376746472642, 146.13744600549543, 57.076540086073194, 6.3e-8}),
    [](const auto& info) { return std::string(info.param.name); });

// Masked boards, which no independent value covers: the reported values must hold a solution of
// their own at order 10 with layers 16³ times deeper into every corner, itself within a
// hundredth of the bar of the same at order 9 (shown finer, not just different).
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
    const CrossSection vacuum = section.inVacuum();
    const auto at = [&](std::size_t order) {
        const MeshLevel finer{order, ladderLevels()[r.levels.size() - 1].cornerDepth / 4096};
        return lineQuantities(modeCapacitances(section, meshCrossSection(section, finer)),
                              modeCapacitances(vacuum, meshCrossSection(vacuum, finer)));
    };
    const QuantityValues fine = at(10), lessFine = at(9);
    for (std::size_t k = 0; k < quantityCount; ++k) {
        const auto q = static_cast<Q>(k);
        if (!r.value.applies(q)) continue;
        SCOPED_TRACE(quantityInfo(q).name);
        EXPECT_LE(std::fabs(fine[q] - lessFine[q]), 0.01 * r.error[q] + 1e-13 * std::fabs(fine[q]));
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
                   {{"w", 0.37}, {"t", 0.13}, {"s", 0.37}, {"h", 0.37}, {"er", 4.3}, {"mask", 0.074}, {"mask-er", 3.5}})},
        Board{"EtchedPairCoatedThickerThanTheMask",
              make(StructureKind::microstrip, {{"w", 0.7}, {"w-top", 0.5}, {"t", 0.3}, {"s", 0.25}, {"h", 0.6}, {"er", 4.3},
                                               {"mask", 0.04}, {"mask-er", 3.5}, {"mask-top", 0.15}})},
        Board{"GroundedCoplanarUnderAMask",
              make(StructureKind::coplanar, {{"w", 0.37}, {"t", 0.037}, {"g", 0.111}, {"ground-width", 1.11}, {"h", 0.185},
                                             {"er", 4.3}, {"mask", 0.0185}, {"mask-er", 3.3}})},
        // Its rungs' changes of the panels' order and the corners' depth cancel: the last change
        // promised 5e-9 of the odd-mode capacitance where the rung lay 3.2e-8 off.
        Board{"ThinCoplanarPairWhoseRungsUnderstateTheirError",
              make(StructureKind::coplanar, {{"w", 0.957}, {"t", 0.00638}, {"s", 0.759}, {"h", 0.235}, {"er", 9.71},
                                             {"g", 0.0342}, {"mask", 0.0222}, {"mask-er", 3.42}})},
        // No corner: under a mask's surface 0.008 of the width over the strips' edges the panels'
        // order alone converges irregularly (−2.9e-8, −5.4e-7, −2.9e-7 off at orders 5 to 7).
        Board{"ThinPairUnderAFlatMaskWhoseOrderTurnsTwice",
              make(StructureKind::microstrip, {{"w", 1.2034053621278098}, {"s", 0.81427046191701435},
                                               {"h", 0.26845354584220621}, {"er", 5.5041440242321462},
                                               {"mask", 0.0096208369329419813}, {"mask-er", 3.6313555654742573}})},
        // Once minutes and gigabytes, and a refusal.
        Board{"WideThickTraceBetweenClosePlanes",
              make(StructureKind::stripline,
                   {{"w", 1.7}, {"t", 5.1e-5}, {"h", 1.53e-3}, {"b", 1.7e-3}, {"er", 3.3}, {"er-top", 4.1}})},
        Board{"PairWithTopsAlmostAsWideUnderAMask",
              make(StructureKind::microstrip, {{"w", 2.3}, {"w-top", 2.2999999977}, {"t", 0.035}, {"s", 0.5},
                                               {"h", 0.6}, {"er", 4.3}, {"mask", 0.02}, {"mask-er", 3.3}})}),
    [](const auto& info) { return std::string(info.param.name); });

// Two boards that physics says are one, or one in a limit: equal within their bars (and what
// is left of the limit). Lengths awkward on purpose.
struct Equivalence {
    const char* name;
    Structure a, b;
    std::vector<std::pair<Q, Q>> quantities;  // a's, b's; none: every quantity of a
    double slack = 0;                         // relative, what the limit leaves
};

void PrintTo(const Equivalence& e, std::ostream* os) { *os << e.name; }

class EquivalentBoards : public ::testing::TestWithParam<Equivalence> {};

TEST_P(EquivalentBoards, AgreeWithinTheirBars) {
    const Equivalence& e = GetParam();
    const ConvergedQuantities a = solved(e.a), b = solved(e.b);
    std::vector<std::pair<Q, Q>> quantities = e.quantities;
    if (quantities.empty())
        for (std::size_t k = 0; k < quantityCount; ++k)
            if (a.value.applies(static_cast<Q>(k))) quantities.push_back({static_cast<Q>(k), static_cast<Q>(k)});
    for (const auto& [qa, qb] : quantities) {
        SCOPED_TRACE(quantityInfo(qa).key);
        ASSERT_TRUE(b.value.applies(qb));
        EXPECT_LE(std::fabs(a.value[qa] - b.value[qb]), a.error[qa] + b.error[qb] + e.slack * std::fabs(b.value[qb]))
            << a.value[qa] << " against " << b.value[qb];
    }
}

Structure with(Structure s, const char* option, double value) {
    s.*(findStructureOption(option)->field) = value;
    return s;
}

// Functions, not constants: the option table is not there yet while constants are initialised.
Structure maskedPair() {
    return make(StructureKind::microstrip,
                {{"w", 0.37}, {"t", 0.05}, {"s", 0.2}, {"h", 0.25}, {"er", 4.3}, {"mask", 0.03}, {"mask-er", 1}});
}
Structure coveredTrace() {
    return make(StructureKind::microstrip,
                {{"w", 0.37}, {"t", 0.05}, {"h", 0.25}, {"er", 3.1}, {"cover", 0.2}, {"cover-er", 1}});
}
Structure maskedCoplanar() {
    return make(StructureKind::coplanar, {{"w", 0.37}, {"w-top", 0.28}, {"t", 0.08}, {"s", 0.17}, {"g", 0.12},
                                          {"h", 0.25}, {"er", 3.9}, {"mask", 0.04}, {"mask-er", 1}});
}
Structure centredStripline() {
    return make(StructureKind::stripline, {{"w", 0.37}, {"h", 0.5}, {"b", 1}, {"er", 2.9}, {"er-top", 4.1}});
}
Structure offsetStripline() {
    return make(StructureKind::stripline, {{"w", 0.37}, {"t", 0.07}, {"h", 0.3}, {"b", 1.1}, {"er", 3.4}});
}
Structure microstripTrace() {
    return make(StructureKind::microstrip, {{"w", 0.37}, {"t", 0.03}, {"h", 0.21}, {"er", 4.3}});
}

INSTANTIATE_TEST_SUITE_P(
    Physics, EquivalentBoards,
    ::testing::Values(
        Equivalence{"AMaskOfVacuumIsTheBareBoard", maskedPair(),
                    with(with(maskedPair(), "mask", absent), "mask-er", absent), {}},
        Equivalence{"ACoverOfVacuumIsTheBareBoard", coveredTrace(),
                    with(with(coveredTrace(), "cover", absent), "cover-er", absent), {}},
        // Its coating of the conductors thinner or thicker than its layer.
        Equivalence{"ACoplanarMaskOfVacuumThinOnTheTracesIsTheBareBoard", with(maskedCoplanar(), "mask-top", 0.011),
                    with(with(maskedCoplanar(), "mask", absent), "mask-er", absent), {}},
        Equivalence{"ACoplanarMaskOfVacuumThickOnTheTracesIsTheBareBoard", with(maskedCoplanar(), "mask-top", 0.085),
                    with(with(maskedCoplanar(), "mask", absent), "mask-er", absent), {}},
        Equivalence{"TheLayersOfACentredThinStriplineSwap", centredStripline(),
                    with(with(centredStripline(), "er", 4.1), "er-top", 2.9), {}},
        // Above a ground's far edge the field falls like a dipole's over the plane: 5e−8 at 100 w, 5e−10 at 1000 w.
        Equivalence{"WideCoplanarGroundsAreInfiniteOnes", with(maskedCoplanar(), "ground-width", 370), maskedCoplanar(),
                    {}, 2e-9},
        Equivalence{"AStriplinePairFarApartIsTwoSingleTraces", with(offsetStripline(), "s", 44), offsetStripline(),
                    {{Q::evenModeImpedance, Q::impedance},
                     {Q::oddModeImpedance, Q::impedance},
                     {Q::evenModeEffectivePermittivity, Q::effectivePermittivity}}},
        // Over a plane the traces' dipoles still couple as (h/s)²: 5e−7 at s = 300 w.
        Equivalence{"AMicrostripPairFarApartIsTwoSingleTraces", with(microstripTrace(), "s", 111), microstripTrace(),
                    {{Q::evenModeImpedance, Q::impedance}, {Q::oddModeImpedance, Q::impedance}}, 1e-5}),
    [](const auto& info) { return std::string(info.param.name); });

// Every face's two sides are the regions beside it, all along it (not only at the middle where
// they were looked up): no face straddles a boundary between regions, no interface separates
// equal permittivities, and a conductor's face has its inside on one side at most.
class FaceSides : public ::testing::TestWithParam<Board> {};

TEST_P(FaceSides, AreTheRegionsBesideEveryFace) {
    const CrossSection section = structureSection(GetParam().structure);
    ASSERT_FALSE(section.faces.empty());
    for (std::size_t k = 0; k < section.faces.size(); ++k) {
        const SectionFace& f = section.faces[k];
        SCOPED_TRACE("face " + std::to_string(k));
        if (f.conductor == noConductor) {
            EXPECT_NE(f.leftPermittivity, f.rightPermittivity);
        }
        EXPECT_FALSE(f.leftPermittivity == 0 && f.rightPermittivity == 0);
        for (const double t : {0.2, 0.8, 1.6, 2.3, 2.9}) {
            const Point z = f.face.point(t), n = f.face.normal(t);
            const double hair = 1e-7 * std::min(f.face.length(), 1.0);
            EXPECT_EQ(section.regions.permittivityAt(z - hair * n), f.leftPermittivity) << "t " << t;
            EXPECT_EQ(section.regions.permittivityAt(z + hair * n), f.rightPermittivity) << "t " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStructure, FaceSides,
    ::testing::Values(
        Board{"ThinMicrostripPair", make(StructureKind::microstrip, {{"w", 0.37}, {"s", 0.2}, {"h", 0.3}, {"er", 4.3}})},
        Board{"EtchedTraceUnderAMaskThickerOnTop",
              make(StructureKind::microstrip, {{"w", 0.37}, {"w-top", 0.3}, {"t", 0.05}, {"h", 0.3}, {"er", 4.3},
                                               {"mask", 0.02}, {"mask-er", 3.5}, {"mask-top", 0.04}})},
        Board{"PairUnderACoverFlushWithItsTops",
              make(StructureKind::microstrip,
                   {{"w", 0.37}, {"t", 0.05}, {"s", 0.2}, {"h", 0.3}, {"er", 4.3}, {"cover", 0.05}, {"cover-er", 3}})},
        Board{"OffsetStriplinePair", make(StructureKind::stripline, {{"w", 0.37}, {"t", 0.05}, {"s", 0.2}, {"h", 0.3},
                                                                     {"b", 0.9}, {"er", 3.5}, {"er-top", 4.5}})},
        Board{"MaskedCoplanarWithFiniteGrounds",
              make(StructureKind::coplanar, {{"w", 0.37}, {"t", 0.03}, {"g", 0.1}, {"ground-width", 0.5}, {"h", 0.2},
                                             {"er", 4.3}, {"mask", 0.02}, {"mask-er", 3.3}})},
        Board{"ThinCoplanarPairWithInfiniteGroundsUnderAMaskOnTop",
              make(StructureKind::coplanar, {{"w", 0.37}, {"s", 0.15}, {"g", 0.1}, {"h", 0.2}, {"er", 4.3},
                                             {"mask", 0.01}, {"mask-er", 3.3}, {"mask-top", 0.03}})}),
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

// A ladder that stops at its budget with the values still moving says so, and its bars take
// both last changes whole; a board that settles says that.
TEST(Ladder, StoppedAtItsBudgetItSaysSoAndItsBarsTakeBothLastChanges) {
    const ConvergedQuantities moving = solved(make(StructureKind::coplanar, {{"w", 0.37}, {"t", 3.7e-6}, {"g", 0.185},
                                                                           {"h", 0.37}, {"er", 1}, {"mask", 3.7e-6},
                                                                           {"mask-er", 3}}));
    EXPECT_FALSE(moving.settled);
    const std::size_t n = moving.levels.size();
    ASSERT_GE(n, 3u);
    const auto c = [&](std::size_t k) { return moving.levels[k].modes.even; };
    const double lastTwo = std::fabs(c(n - 1) - c(n - 2)) + std::fabs(c(n - 2) - c(n - 3));
    EXPECT_GT(lastTwo, 1e-6 * c(n - 1));
    EXPECT_GE(moving.error[Q::capacitance], lastTwo);
    EXPECT_TRUE(solved(maskedCoplanar()).settled);
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
        Refusal{"MaskTopWithoutAMask", [](Structure& s) { s.maskTop = 0.02; },
                "microstrip: --mask-top needs a mask (--mask above 0, --mask-er)"},
        Refusal{"MaskTopZero", [](Structure& s) { s.mask = 0.03, s.maskEr = 3.3, s.maskTop = 0; },
                "microstrip: --mask-top must be positive, got 0"},
        Refusal{"MaskAndCover", [](Structure& s) { s.mask = 0.1, s.maskEr = 3, s.cover = 1, s.coverEr = 3; },
                "microstrip: --mask and --cover exclude each other"},
        Refusal{"CoverBelowTheTraces", [](Structure& s) { s.t = 0.5, s.cover = 0.2, s.coverEr = 3; },
                "microstrip: the cover must embed the traces: --cover 0.2 is below --t 0.5"},
        Refusal{"PermittivityBelowOne", [](Structure& s) { s.er = 0.5; },
                "microstrip: --er must be a relative permittivity from 1 to 10000, got 0.5"},
        Refusal{"PermittivityAboveTheLimit", [](Structure& s) { s.er = 2e4; },
                "microstrip: --er must be a relative permittivity from 1 to 10000, got 20000"},
        Refusal{"OptionOfAnotherStructure", [](Structure& s) { s.b = 2; }, "microstrip: has no option --b"},
        Refusal{"NegativeLossTangent", [](Structure& s) { s.tand = -0.01; },
                "microstrip: --tand must be a loss tangent from 0 to 10, got -0.01"},
        Refusal{"MaskLossWithoutAMask", [](Structure& s) { s.maskTand = 0.02; },
                "microstrip: --mask-tand needs a mask (--mask, --mask-er)"},
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

// What a user types: the unit of the lengths (the most common, the first on a tie; a 0 is 0 in
// every unit and chooses none), and refused: units mixed, a value twice, text where a number belongs.
TEST(StructureArguments, ReadLengthsAndRefuseWhatIsNotOne) {
    const struct {
        std::vector<std::pair<const char*, const char*>> options;
        const char* unitOrMessage;  // the length unit where accepted
        bool accepted;
    } cases[] = {
        {{{"h", "0.2mm"}, {"t", "35um"}}, "mm", true},
        {{{"h", "0.2mm"}, {"t", "35um"}, {"s", "0.2mm"}}, "mm", true},
        {{{"t", "0.7mil"}, {"h", "0.1mm"}, {"w", "5.3mil"}, {"mask", "0um"}}, "mil", true},
        {{{"w", "0.37mm"}, {"t", "0"}, {"h", "0.25mm"}}, "mm", true},
        {{{"t", "0mm"}, {"w", "3.7"}, {"mask", "-0"}, {"h", "2.5"}}, "", true},
        {{{"w", "0.1mm"}, {"h", "0.1"}}, "lengths with and without a unit are mixed (--h 0.1): give every length bare, or every one with a unit", false},
        {{{"t", "0"}, {"w", "0.1"}, {"h", "0.1mm"}}, "lengths with and without a unit are mixed (--h 0.1mm): give every length bare, or every one with a unit", false},
        {{{"w", "1"}, {"w", "2"}}, "--w is given twice", false},
        {{{"w", "0x10"}, {"h", "1"}}, "--w needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"0x10\"", false},
        {{{"w", "1inch"}, {"h", "1"}}, "--w needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"1inch\"", false},
        {{{"w", "1"}, {"er", "4.3mm"}}, "--er needs a decimal number, got \"4.3mm\"", false},
    };
    for (const auto& c : cases) {
        StructureInput in;
        try {
            for (const auto& [name, text] : c.options) setStructureOption(in, *findStructureOption(name), text);
            EXPECT_TRUE(c.accepted) << "accepted: " << c.unitOrMessage;
            EXPECT_EQ(in.lengthUnit, c.unitOrMessage);
        } catch (const RunError& e) {
            EXPECT_FALSE(c.accepted) << e.what();
            EXPECT_EQ(std::string(e.what()), c.unitOrMessage);
        }
    }
}

}  // namespace
}  // namespace plattor
