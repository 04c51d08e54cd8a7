// The quantities of N signal conductors from their Maxwell matrices: against the single trace's
// and the symmetric pair's registry, the homogeneous dielectric's exact answers, the defining
// identities of the characteristic impedance matrix and the modes, and bars that hold the limit
// of a converging ladder.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/text.hpp"
#include "lines/conductor_matrices.hpp"
#include "lines/quantities.hpp"
#include "physics/constants.hpp"
#include "report/conductor_report.hpp"

namespace plattor {
namespace {

using Q = Quantity;
using Rows = std::vector<double>;

// Three traces over a board, F/m: distinct self terms, the far pair coupled weakly; with the
// dielectric the couplings grow unevenly, so the modes travel at three speeds.
const Rows air3 = {31.7e-12, -6.1e-12, -1.3e-12, -6.1e-12, 35.2e-12, -5.4e-12, -1.3e-12, -5.4e-12, 27.9e-12};
const Rows board3 = {109.4e-12, -15.8e-12, -2.2e-12, -15.8e-12, 121.7e-12, -13.9e-12, -2.2e-12, -13.9e-12, 91.3e-12};

// The floors of a ladder of thin conductors in one medium.
const LadderFloors floors{orderFloor, orderFloor};

// Three rungs ending at (c, cAir), the earlier ones off by (1 + 1e-4) and (1 + 1e-5).
std::vector<MatrixLevel> ladder(const Rows& c, const Rows& cAir) {
    std::vector<MatrixLevel> levels;
    for (const double off : {1e-4, 1e-5, 0.0}) {
        MatrixLevel l{c, cAir};
        for (double& x : l.c) x *= 1 + off;
        for (double& x : l.cAir) x *= 1 + off;
        levels.push_back(l);
    }
    return levels;
}

Rows times(Rows a, double f) {
    for (double& x : a) x *= f;
    return a;
}

// Every entry with a bar, in one list: the matrices, the modes, the crosstalk, the pairs.
std::vector<MatrixEntry> entries(const ConductorMatrices& m) {
    std::vector<MatrixEntry> all;
    for (const auto* list : {&m.capacitance, &m.capacitanceInAir, &m.inductance, &m.impedance,
                             &m.modeEffectivePermittivity, &m.modeImpedance})
        all.insert(all.end(), list->begin(), list->end());
    for (const auto& x : m.crosstalk) all.insert(all.end(), {x.nearEnd, x.farEnd});
    for (const auto& p : m.pairs)
        all.insert(all.end(), {p.differential, p.commonMode, p.oddMode, p.evenMode, p.coupling});
    return all;
}

double relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

// One trace: the matrices are 1 × 1 and their one mode is the line itself.
TEST(ConductorMatrices, OneConductorIsTheSingleTrace) {
    for (const auto& [c, cAir] : {std::pair{1.37e-10, 0.412e-10}, std::pair{3.3e-11, 3.3e-11}}) {
        const QuantityValues single = lineQuantities({c, NAN}, {cAir, NAN});
        const ConductorMatrices m = conductorMatrices(ladder({c}, {cAir}), true, floors, {});
        EXPECT_LT(relative(m.impedance[0].value, single[Q::impedance]), 1e-14);
        EXPECT_LT(relative(m.inductance[0].value, single[Q::inductance]), 1e-14);
        EXPECT_LT(relative(m.modeImpedance[0].value, single[Q::impedance]), 1e-14);
        EXPECT_LT(relative(m.modeEffectivePermittivity[0].value, single[Q::effectivePermittivity]), 1e-14);
        EXPECT_TRUE(m.crosstalk.empty());
    }
}

// A symmetric pair: every pair value and both modes equal the pair registry's from the mode
// capacitances C11 ± C12, whichever conductor is named first.
TEST(ConductorMatrices, SymmetricPairIsThePairRegistry) {
    const struct {
        double c11, c12, air11, air12;
    } pairs[] = {{98.2e-12, -7.7e-12, 29.1e-12, -3.9e-12}, {61.0e-12, -0.02e-12, 20.5e-12, -0.01e-12},
                 {2.4e-9, -1.1e-9, 0.9e-9, -0.35e-9}};
    for (const auto& p : pairs) {
        const QuantityValues reg =
            lineQuantities({p.c11 + p.c12, p.c11 - p.c12}, {p.air11 + p.air12, p.air11 - p.air12});
        const ConductorMatrices m = conductorMatrices(
            ladder({p.c11, p.c12, p.c12, p.c11}, {p.air11, p.air12, p.air12, p.air11}), true, floors, {{0, 1}, {1, 0}});
        for (const auto& pair : m.pairs) {
            EXPECT_LT(relative(pair.differential.value, reg[Q::differentialImpedance]), 1e-12);
            EXPECT_LT(relative(pair.commonMode.value, reg[Q::commonModeImpedance]), 1e-12);
            EXPECT_LT(relative(pair.oddMode.value, reg[Q::oddModeImpedance]), 1e-12);
            EXPECT_LT(relative(pair.evenMode.value, reg[Q::evenModeImpedance]), 1e-12);
            EXPECT_LT(relative(pair.coupling.value, reg[Q::couplingCoefficient]), 1e-10);
        }
        // The odd mode (±1) is the faster one here: C_o/C_o,air < C_e/C_e,air.
        const bool oddFirst = reg[Q::oddModeEffectivePermittivity] < reg[Q::evenModeEffectivePermittivity];
        const Q first = oddFirst ? Q::oddModeImpedance : Q::evenModeImpedance;
        const Q second = oddFirst ? Q::evenModeImpedance : Q::oddModeImpedance;
        EXPECT_LT(relative(m.modeImpedance[0].value, reg[first]), 1e-12);
        EXPECT_LT(relative(m.modeImpedance[1].value, reg[second]), 1e-12);
        EXPECT_NEAR(std::fabs(m.modeVoltages[oddFirst ? 0 : 1][1]), std::sqrt(0.5), 1e-12);
    }
}

// One dielectric everywhere (εr = 1: no dielectric at all): every mode travels at c0/√εr, so no
// modal impedance is defined, the far-end crosstalk vanishes and Zc = c0·L/√εr.
TEST(ConductorMatrices, HomogeneousDielectricHasOneSpeed) {
    for (const double er : {1.0, 2.2, 4.3, 11.9}) {
        SCOPED_TRACE("er " + std::to_string(er));
        const ConductorMatrices m = conductorMatrices(ladder(times(air3, er), air3), true, floors, {});
        for (std::size_t k = 0; k < 3; ++k) {
            const MatrixEntry eps = m.modeEffectivePermittivity[k];
            EXPECT_LE(std::fabs(eps.value - er), eps.error + 1e-14);
            EXPECT_TRUE(std::isnan(m.modeImpedance[k].value));
        }
        if (er == 1.0) {
            EXPECT_EQ(m.modeEffectivePermittivity[2].error, 0.0);
        }
        for (const auto& x : m.crosstalk) EXPECT_LE(std::fabs(x.farEnd.value), x.farEnd.error) << x.i << x.j;
        for (std::size_t k = 0; k < 9; ++k)
            EXPECT_NEAR(m.impedance[k].value, speedOfLight * m.inductance[k].value / std::sqrt(er),
                        1e-13 * m.impedance[0].value);
    }
}

// In an inhomogeneous dielectric, the defining identities of the lossless line: Zc·C·Zc = L, and
// each mode V travels at c0/√εeff with L·C·V = (εeff/c0²)·V and current I = Zc⁻¹V = (√εeff/c0)·C·V...
// checked as Zc·C·V = (√εeff/c0)·V.
TEST(ConductorMatrices, ImpedanceMatrixAndModesSolveTheLineEquations) {
    const ConductorMatrices m = conductorMatrices(ladder(board3, air3), true, floors, {{0, 2}});
    const auto at = [](const std::vector<MatrixEntry>& a, std::size_t i, std::size_t j) { return a[i * 3 + j].value; };
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            double zcz = 0;
            for (std::size_t k = 0; k < 3; ++k)
                for (std::size_t l = 0; l < 3; ++l)
                    zcz += at(m.impedance, i, k) * at(m.capacitance, k, l) * at(m.impedance, l, j);
            EXPECT_NEAR(zcz, at(m.inductance, i, j), 1e-12 * at(m.inductance, 0, 0)) << i << j;
        }
    for (std::size_t mode = 0; mode < 3; ++mode) {
        const std::vector<double>& v = m.modeVoltages[mode];
        const double eps = m.modeEffectivePermittivity[mode].value;
        EXPECT_GT(eps, 1.0);
        for (std::size_t i = 0; i < 3; ++i) {
            double lcv = 0, zcv = 0;
            for (std::size_t k = 0; k < 3; ++k)
                for (std::size_t l = 0; l < 3; ++l) {
                    lcv += at(m.inductance, i, k) * at(m.capacitance, k, l) * v[l];
                    zcv += at(m.impedance, i, k) * at(m.capacitance, k, l) * v[l];
                }
            EXPECT_NEAR(lcv * speedOfLight * speedOfLight, eps * v[i], 1e-12 * eps) << mode << i;
            EXPECT_NEAR(zcv * speedOfLight, std::sqrt(eps) * v[i], 1e-12 * eps) << mode << i;
        }
        EXPECT_FALSE(std::isnan(m.modeImpedance[mode].value));
    }
}

// Every quantity of a ladder converging geometrically towards known matrices must lie within
// its bar of the limit's value: at several rates, settled or stopped at the budget, and with a
// discretisation that leaves C unsymmetric by a constant amount.
TEST(ConductorMatrices, BarsHoldTheLimitOfAConvergingLadder) {
    const struct {
        double rate;
        std::size_t levels;
        bool settled;
        double asymmetry;  // C12 exact, C21 off by twice this, at every level
    } cases[] = {{0.05, 3, true, 0}, {0.2, 4, true, 0}, {0.4, 5, true, 0}, {0.6, 3, false, 0}, {0.1, 3, true, 3e-14}};
    // A change that is no multiple of the matrices, so that their ratios move too.
    const Rows dc = {2e-12, 1e-12, -0.5e-12, 1e-12, -3e-12, 0.7e-12, -0.5e-12, 0.7e-12, 1.5e-12};
    const Rows dAir = {-1e-12, 0.4e-12, 0.2e-12, 0.4e-12, 0.8e-12, -0.3e-12, 0.2e-12, -0.3e-12, -0.6e-12};
    for (const MatrixLevel& limit : {MatrixLevel{board3, air3}, MatrixLevel{times(air3, 3.7), air3}}) {
        const ConductorMatrices exact = conductorMatrices(ladder(limit.c, limit.cAir), true, floors, {{1, 0}, {0, 2}});
        for (const auto& c : cases) {
            SCOPED_TRACE("rate " + std::to_string(c.rate) + " levels " + std::to_string(c.levels));
            std::vector<MatrixLevel> levels;
            for (std::size_t k = 1; k <= c.levels; ++k) {
                MatrixLevel l = limit;
                const double step = std::pow(c.rate, static_cast<double>(k));
                for (std::size_t q = 0; q < 9; ++q) l.c[q] += step * dc[q], l.cAir[q] += step * dAir[q];
                l.c[3] += 2 * c.asymmetry;  // symmetrised, C12 is `asymmetry` off its limit
                levels.push_back(l);
            }
            const ConductorMatrices m = conductorMatrices(levels, c.settled, floors, {{1, 0}, {0, 2}});
            // The third rung from the top on its own: a bar no wider than 30 times its error (each
            // entry's change carried alone, its effect cannot cancel against the others' as in truth).
            const MatrixLevel& rung = levels[levels.size() - 3];
            const ConductorMatrices coarse = conductorMatrices({rung, rung, rung}, true, floors, {{1, 0}, {0, 2}});
            const std::vector<MatrixEntry> bars = entries(m), truth = entries(exact), third = entries(coarse);
            for (std::size_t k = 0; k < bars.size(); ++k) {
                if (std::isnan(bars[k].value)) continue;
                EXPECT_LE(std::fabs(bars[k].value - truth[k].value), bars[k].error) << k;
                const double coarseError = std::fabs(third[k].value - truth[k].value);
                EXPECT_LE(bars[k].error, 30 * coarseError + 1e-8 * std::fabs(truth[k].value))
                    << k;
            }
        }
    }
}

// The report of a pair in one dielectric, its ladder stopped at the budget: every line named
// after the conductors with its unit, no modal impedance but a line saying why, the names quoted
// in JSON, and the matrices as rows.
TEST(ConductorMatrices, ReportNamesEveryValueAndLeavesOutWhatIsNotDefined) {
    const Rows air = {29.1e-12, -3.9e-12, -3.9e-12, 33.0e-12};
    const ConductorMatrices m = conductorMatrices(ladder(times(air, 2.2), air), false, floors, {{1, 0}});
    const std::vector<std::string> lines = conductorText(m, {"p", "n\"2"});
    const auto line = [&lines](const std::string& start) {
        for (const std::string& l : lines)
            if (l.rfind(start, 0) == 0) return l;
        return std::string();
    };
    EXPECT_EQ(line("C[p,n\"2]").substr(line("C[p,n\"2]").size() - 5), " pF/m");
    EXPECT_EQ(line("far-end crosstalk p,n\"2").substr(line("far-end crosstalk p,n\"2").size() - 5), " ps/m");
    EXPECT_NE(line("differential impedance n\"2,p"), "");
    EXPECT_EQ(line("mode 1 impedance"), "");
    EXPECT_NE(line("(no impedance for modes 1, 2:"), "");
    EXPECT_EQ(lines.back().rfind("(the refinement stopped at its budget", 0), 0u);
    JsonObject json;
    addConductorMatrices(json, m, {"p", "n\"2"});
    const std::string text = json.text();
    EXPECT_NE(text.find("\"conductors\": [\"p\", \"n\\\"2\"]"), std::string::npos) << text;
    EXPECT_NE(text.find("\"between\": [\"p\", \"n\\\"2\"]"), std::string::npos) << text;
    const std::string zc = "\"impedanceMatrix\": {\"value\": [[" + shortestText(m.impedance[0].value) + ", ";
    EXPECT_NE(text.find(zc), std::string::npos) << text;
    EXPECT_EQ(text.find("\"impedance\":"), std::string::npos) << "no modal impedance";
    EXPECT_NE(text.find("\"settled\": false"), std::string::npos);
}

}  // namespace
}  // namespace plattor
