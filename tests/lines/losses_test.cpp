// A line's losses against what is known without the solver: Wheeler's incremental-inductance
// rule on the solver's own capacitances for the skin-effect resistance, the coaxial line's
// closed form, the exact dielectric loss of a homogeneous fill, the first-order dielectric loss
// from the derivative of the capacitance, the DC resistance of the cross-section's areas.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <functional>
#include <numbers>
#include <string>

#include "lines/line_losses.hpp"
#include "physics/constants.hpp"
#include "section/board_section.hpp"
#include "section/structures.hpp"
#include "mesh/mesh.hpp"
#include "solver/ladder.hpp"
#include "solver/solve.hpp"

namespace plattor {
namespace {

constexpr double pi = std::numbers::pi;

Structure microstrip(double w, double t, double h, double er) {
    Structure s;
    s.w = w, s.t = t, s.h = h, s.er = er;
    return s;
}

// The vacuum's skin-effect integral of a mode (1/length, the structure's unit) and its bar.
struct Skin {
    double value, error;
};
Skin skin(const Structure& s, bool odd) {
    const CrossSection vacuum = structureSection(s).inVacuum();
    const Ladder l = solveLadder(vacuum, {}, true);
    const std::size_t n = l.levels.size();
    const auto at = [&](std::size_t k) { return (odd ? l.levels[k].skin.odd : l.levels[k].skin.even) / s.w; };
    const ValueAndBar v =
        convergedSkin(at(n - 3), at(n - 2), at(n - 1), skinConvergence(vacuum), l.settled, l.floors.vacuum);
    return {v.value, v.error};
}

// The structure with every conductor's wall receded by d into it: the plane lowered, the planes
// apart, each trace's faces moved inwards along their normals (a side at θ to the bottom moves
// the bottom corners in by d·cot(θ/2), the top ones by d·tan(θ/2)).
Structure receded(Structure s, double d) {
    const double t = s.t, top = given(s.wTop) ? s.wTop : s.w;
    const double theta = std::atan2(t, (s.w - top) / 2);
    s.w -= 2 * d / std::tan(theta / 2);
    s.wTop = top - 2 * d * std::tan(theta / 2);
    s.t = t - 2 * d;
    s.h += 2 * d;
    if (given(s.b)) s.b += 2 * d;
    if (given(s.s)) s.s += 2 * d / std::tan(theta / 2);
    if (given(s.g)) s.g += 2 * d / std::tan(theta / 2);
    if (given(s.groundWidth)) s.groundWidth -= 2 * d;
    return s;
}

// Wheeler's rule: R/R_s = (1/μ0)·∂L/∂n = −ε0·∂C_air/∂n/C_air², the walls receded by n; central
// differences at d and d/2, extrapolated.
double wheeler(const Structure& s, bool odd) {
    const auto airCapacitance = [&](double d) {
        const ModeCapacitances m = solveLadder(structureSection(receded(s, d)).inVacuum()).levels.back().modes;
        return odd ? m.odd : m.even;
    };
    const double c = airCapacitance(0), d = 2e-4 * s.w;
    const auto slope = [&](double step) { return (airCapacitance(step) - airCapacitance(-step)) / (2 * step); };
    return -vacuumPermittivity * (4 * slope(d / 2) - slope(d)) / 3 / (c * c);
}

struct WheelerCase {
    std::string name;
    Structure structure;
    bool odd;
};

void PrintTo(const WheelerCase& c, std::ostream* os) { *os << c.name; }

class SkinResistance : public ::testing::TestWithParam<WheelerCase> {};

// The skin-effect integral from the charges equals Wheeler's rule on the solver's own
// capacitances within its bar, and the bar is below 100 ppm.
TEST_P(SkinResistance, EqualsWheelersRuleWithinItsBar) {
    const WheelerCase& c = GetParam();
    const Skin from = skin(c.structure, c.odd);
    const double rule = wheeler(c.structure, c.odd);
    EXPECT_NEAR(from.value, rule, from.error + 1e-8 * rule) << "bar " << from.error / from.value;
    EXPECT_LT(from.error, 1e-4 * from.value);
}

Structure pair(Structure s, double gap) {
    s.s = gap;
    return s;
}

const WheelerCase wheelerCases[] = {
    {"ThickMicrostrip", microstrip(0.13, 0.035, 0.1, 4.3), false},
    {"Trapezoid", [] { Structure s = microstrip(0.37, 0.05, 0.21, 3.9); s.wTop = 0.3; return s; }(), false},
    {"StriplineOffCentre", [] { Structure s = microstrip(0.7, 0.1, 0.4, 1); s.kind = StructureKind::stripline; s.b = 1.1; return s; }(), false},
    {"CoplanarFiniteGrounds", [] { Structure s = microstrip(0.7, 0.1, 0.4, 1); s.kind = StructureKind::coplanar; s.g = 0.2; s.groundWidth = 1.3; return s; }(), false},
    {"CoplanarPairBetweenPours", [] { Structure s = pair(microstrip(0.43, 0.06, 0.29, 1), 0.37); s.kind = StructureKind::coplanar; s.g = 0.51; return s; }(), true},
    {"PairOdd", pair(microstrip(0.7, 0.1, 0.4, 1), 0.3), true},
    {"PairEven", pair(microstrip(0.7, 0.1, 0.4, 1), 0.3), false},
};
INSTANTIATE_TEST_SUITE_P(Lines, SkinResistance, ::testing::ValuesIn(wheelerCases),
                         [](const auto& info) { return info.param.name; });

// The board of a coaxial line: a wire of radius a in a tube of inner radius b, wall thickness
// w, no planes, in metres.
Board coaxial(double a, double b, double wall, double er, double tanDelta) {
    Board board;
    board.bottomPlane = false;
    board.lengthUnit = "m";
    board.layers.push_back({"fill", 4 * (b + wall), er, tanDelta});
    BoardConductor inner;
    inner.name = "inner";
    inner.shape = ConductorShape::circle;
    inner.y = 2 * (b + wall);
    inner.radius = a;
    BoardConductor outer = inner;
    outer.name = "outer";
    outer.signal = false;
    outer.radius = b + wall;
    outer.innerRadius = b;
    board.conductors = {inner, outer};
    return board;
}

LossRequest atFrequencies(std::vector<double> f) {
    LossRequest r;
    r.frequencies = std::move(f);
    return r;
}

// A coaxial line filled with a lossy dielectric: the skin-limit resistance R_s/(2π)·(1/a + 1/b),
// the DC resistance of the wire and the tube, and G = ωC·tan δ, C = 2πε/ln(b/a), exactly.
TEST(Losses, CoaxialLineHasItsClosedForms) {
    const double a = 0.41e-3, b = 1.37e-3, wall = 0.2e-3, er = 2.1, tanDelta = 3.7e-4, sigma = 5.8e7;
    const LineLosses losses = lineLosses(coaxial(a, b, wall, er, tanDelta), atFrequencies({2.4e9}));
    const double rs = std::sqrt(pi * vacuumPermeability / sigma);  // R_s at 1 Hz
    EXPECT_NEAR(losses.rlgc.rs[0] / rs, (1 / a + 1 / b) / (2 * pi), 1e-7 / a);
    const double area = pi * a * a, tube = pi * ((b + wall) * (b + wall) - b * b);
    EXPECT_NEAR(losses.rlgc.r0[0], 1 / (sigma * area) + 1 / (sigma * tube), 1e-12 / (sigma * area));
    const double c = 2 * pi * vacuumPermittivity * er / std::log(b / a);
    const ModeLosses& m = losses.table.front().modes.front();
    EXPECT_NEAR(m[LossQuantity::capacitance].value, c, 1e-9 * c);
    EXPECT_NEAR(m[LossQuantity::conductance].value, 2 * pi * 2.4e9 * c * tanDelta, 1e-9 * 2 * pi * 2.4e9 * c * tanDelta);
    EXPECT_TRUE(losses.noConductorLoss.empty());
}

// Within one dielectric the complex capacitance is ε*·C_vacuum: G = ωC·tan δ exactly, for a
// trace and for a pair's two modes; the dielectric attenuation then is (β/2)·tan δ·(its share).
TEST(Losses, HomogeneousFillLosesExactlyTanDelta) {
    for (const bool isPair : {false, true}) {
        Structure s = microstrip(0.23e-3, 0.03e-3, 0.31e-3, 3.7);
        s.kind = StructureKind::stripline;
        s.b = 0.83e-3;
        s.tand = 0.013;
        if (isPair) s.s = 0.19e-3;
        const LineLosses losses = lineLosses(structureBoard(s), atFrequencies({3e9}));
        for (const ModeLosses& m : losses.table.front().modes) {
            const double g = m[LossQuantity::conductance].value, c = m[LossQuantity::capacitance].value;
            EXPECT_NEAR(g / (2 * pi * 3e9 * c), 0.013, 1e-13) << isPair;
            EXPECT_LE(std::fabs(g - 2 * pi * 3e9 * 0.013 * c), m[LossQuantity::conductance].error);
        }
    }
}

// Between dielectrics of small loss, G/ω = Σ εr·tan δ·∂C/∂εr over the regions to first order:
// the complex solve against differences of real ones on the same mesh, a masked pair's modes.
TEST(Losses, SmallLossIsTheDerivativeOfTheCapacitance) {
    Structure s = pair(microstrip(0.11e-3, 0.035e-3, 0.097e-3, 4.3), 0.13e-3);
    s.mask = 0.021e-3, s.maskEr = 3.5, s.tand = 2e-6, s.maskTand = 5e-6;
    const CrossSection section = structureSection(s);
    const Mesh mesh = meshCrossSection(section, ladderLevels()[3]);
    const FaceMedia media = faceMedia(section, [](double er, double t) { return std::complex<double>(er, -er * t); });
    const ComplexModes lossy = solveModes(section, mesh, {media}, false).lossy.front();
    const auto modes = [&](const Structure& x) { return modeCapacitances(structureSection(x), mesh); };
    const double d = 1e-4;
    Structure up = s, down = s, maskUp = s, maskDown = s;
    up.er += d, down.er -= d, maskUp.maskEr += d, maskDown.maskEr -= d;
    const ModeCapacitances u = modes(up), dn = modes(down), mu = modes(maskUp), md = modes(maskDown);
    for (std::size_t m = 0; m < 2; ++m) {
        const auto pick = [m](const ModeCapacitances& c) { return m == 0 ? c.even : c.odd; };
        const double expected = s.er * s.tand * (pick(u) - pick(dn)) / (2 * d) +
                                s.maskEr * s.maskTand * (pick(mu) - pick(md)) / (2 * d);
        const double g = -(m == 0 ? lossy.even : lossy.odd).imag();
        EXPECT_NEAR(g, expected, 1e-7 * expected) << m;
    }
}

// The DC resistance per mode: a trapezoid's area, finite grounds in parallel as the return, a
// plane returning with none; infinite for a strip of no thickness.
TEST(Losses, DcResistanceComesFromTheAreas) {
    const double sigma = 4.1e7;
    Structure s = microstrip(0.2e-3, 0.04e-3, 0.1e-3, 4);
    s.wTop = 0.15e-3;
    const double trace = 1 / (sigma * 0.175e-3 * 0.04e-3);
    EXPECT_NEAR(dcResistances(structureBoard(s), sigma).front(), trace, 1e-12 * trace);
    Structure cpw = s;
    cpw.kind = StructureKind::coplanar, cpw.g = 0.1e-3, cpw.groundWidth = 0.37e-3, cpw.s = 0.2e-3;
    Board floating = structureBoard(cpw);
    floating.bottomPlane = false;
    const double ret = 1 / (sigma * 2 * 0.37e-3 * 0.04e-3);
    const std::vector<double> modes = dcResistances(floating, sigma);
    EXPECT_NEAR(modes[0], trace + 2 * ret, 1e-12 * trace);
    EXPECT_NEAR(modes[1], trace, 1e-12 * trace);
    EXPECT_EQ(dcResistances(structureBoard(cpw), sigma)[0], trace);  // over a plane
    s.t = 0;
    s.wTop = absent;
    EXPECT_TRUE(std::isinf(dcResistances(structureBoard(s), sigma).front()));
    const LineLosses strip = lineLosses(structureBoard(s), atFrequencies({1e9}));
    EXPECT_NE(strip.noConductorLoss.find("zero thickness"), std::string::npos);
    EXPECT_EQ(strip.table.front().modes.front()[LossQuantity::resistance].value, 0.0);
}

// The wideband dielectric over many frequencies is interpolated from a few solves: at every
// frequency it equals a solve there far within the bar, and its loss tangent stays near the
// fitted one over the band while εr falls.
TEST(Losses, WidebandTableEqualsSolvesAtEachFrequency) {
    Structure s = pair(microstrip(0.11e-3, 0.035e-3, 0.097e-3, 4.3), 0.13e-3);
    s.mask = 0.021e-3, s.maskEr = 3.5, s.tand = 0.021, s.maskTand = 0.03;
    LossRequest request = atFrequencies({});
    request.dielectric.model = DielectricModel::djordjevicSarkar;
    for (int k = 0; k < 40; ++k) request.frequencies.push_back(1e6 * std::pow(3e4, k / 39.0));
    const LineLosses table = lineLosses(structureBoard(s), request);
    for (const int k : {0, 17, 39}) {
        LossRequest one = request;
        one.frequencies = {request.frequencies[k]};
        const LineLosses single = lineLosses(structureBoard(s), one);
        for (std::size_t m = 0; m < 2; ++m)
            for (const LossQuantity q : {LossQuantity::conductance, LossQuantity::capacitance}) {
                const ValueAndBar& a = table.table[k].modes[m][q];
                EXPECT_NEAR(a.value, single.table.front().modes[m][q].value, 1e-3 * a.error) << k << m;
            }
    }
    const double first = table.table.front().modes[1][LossQuantity::capacitance].value;
    const double last = table.table.back().modes[1][LossQuantity::capacitance].value;
    EXPECT_LT(last, first);
}

}  // namespace
}  // namespace plattor

namespace plattor {
namespace {

// A table of 100 frequencies reuses everything but the dielectrics: at most 3 plain solves' CPU
// time with constant dielectrics, at most 10 with the wideband model (measured side by side).
TEST(LossesSpeed, AHundredFrequenciesCostAFewSolves) {
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "SKIPPED: timed in optimised builds without sanitizers only";
#endif
    Structure s = pair(microstrip(0.1e-3, 35e-6, 0.1e-3, 4.3), 0.1e-3);
    s.mask = 20e-6, s.maskEr = 3.5, s.tand = 0.02, s.maskTand = 0.025;
    LossRequest request;
    for (int k = 0; k < 100; ++k) request.frequencies.push_back(1e6 * std::pow(1e4, k / 99.0));
    const auto cpu = [](const std::function<void()>& work) {
        double best = HUGE_VAL;
        for (int k = 0; k < 3; ++k) {
            const std::clock_t start = std::clock();
            work();
            best = std::min(best, double(std::clock() - start));
        }
        return best;
    };
    const double plain = cpu([&] { convergedQuantities(structureSection(s)); });
    const double constant = cpu([&] { lineLosses(structureBoard(s), request); });
    request.dielectric.model = DielectricModel::djordjevicSarkar;
    const double wideband = cpu([&] { lineLosses(structureBoard(s), request); });
    EXPECT_LE(constant, 3 * plain);
    EXPECT_LE(wideband, 10 * plain);
}

}  // namespace
}  // namespace plattor
