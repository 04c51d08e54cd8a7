// Converged capacitances and line parameters: the LU route, the extrapolation against closed
// forms and against a finer ladder, and the mode quantities against the Maxwell matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "assembly/assembly.hpp"
#include "matrix/error.hpp"
#include "run/geometry.hpp"
#include "solution/capacitance.hpp"
#include "solution/line_parameters.hpp"

namespace plattor {
namespace {

using Q = LineQuantity;

TEST(SolvedCapacitance, EqualsTheInverseBlockSumsOfBothCases) {
    for (const InputValues input : {InputValues{10, 1, 3, 1}, InputValues{0, 1, 3, 2}}) {
        const ConductorModel m = setUpGeometry(input).conductors;
        const Matrix fromInverse = solveSystem(assembleSystemMatrix(m), m, Matrix()).generalized;
        const Matrix solved = solvedGeneralizedCapacitance(m);
        ASSERT_TRUE(solved.sameShape(fromInverse));
        for (std::size_t k = 0; k < solved.size(); ++k)
            EXPECT_NEAR(solved[k], fromInverse[k], 1e-12 * std::fabs(fromInverse[k])) << input.groundWidth << " " << k;
    }
}

TEST(SolvedCapacitance, AnUnsolvableSystemNamesTheMomentMethod) {
    // Two strips in the same place: the rows of the one repeat those of the other.
    ConductorModel m = setUpGeometry({0, 1, 3, 2}).conductors;
    m.conductorX = Matrix::row({0, 0});
    try {
        solvedGeneralizedCapacitance(m);
        FAIL() << "coincident strips were solved";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot solve the moment-method system: ", 0), 0u) << e.what();
    }
}

// Coplanar strips of width w and gap s: C = ε0·K(k′)/K(k), k = s/(s + 2w), and the line
// impedance 1/(c0·C) = η0·K(k)/K(k′), η0 = √(μ0/ε0).
struct Coplanar {
    double width;
    double centreDistance;
    double tolerance;  // relative distance of the converged value from the closed form
};

void PrintTo(const Coplanar& c, std::ostream* os) { *os << "0 " << c.width << " " << c.centreDistance << " 2"; }

class CoplanarClosedForm : public ::testing::TestWithParam<Coplanar> {};

TEST_P(CoplanarClosedForm, ConvergedValuesAreCloseAndTheirErrorBarsHoldTheTruth) {
    const Coplanar c = GetParam();
    const double s = c.centreDistance - c.width;
    const double k = s / (s + 2 * c.width);
    const double ratio = std::comp_ellint_1(std::sqrt(1 - k * k)) / std::comp_ellint_1(k);
    const double exactC = vacuumPermittivity * ratio;
    const double exactZ = std::sqrt(vacuumPermeability / vacuumPermittivity) / ratio;

    const LineParameters p = lineParameters(setUpGeometry({0, c.width, c.centreDistance, 2}).conductors);
    EXPECT_FALSE(p.groundPlaneCase);
    struct {
        Q quantity;
        double exact;
    } const checks[] = {{Q::stripToStripCapacitance, exactC}, {Q::maxwell11, exactC}, {Q::lineImpedance, exactZ}};
    for (const auto& check : checks) {
        const double converged = p.converged[check.quantity];
        const double error = p.error[check.quantity];
        SCOPED_TRACE(static_cast<int>(check.quantity));
        EXPECT_NEAR(converged, check.exact, c.tolerance * check.exact);
        EXPECT_LE(std::fabs(converged - check.exact), error);
        EXPECT_LT(error, 1e-4 * check.exact);
        // The bar around the value at N holds the truth too, and is wide: the first-order error.
        EXPECT_LE(std::fabs(p.atN[check.quantity] - check.exact), p.errorAtN[check.quantity]);
        EXPECT_GT(p.errorAtN[check.quantity], 1e-4 * check.exact);
    }
    EXPECT_TRUE(std::isnan(p.converged[Q::stripToGroundCapacitance]));
    EXPECT_TRUE(std::isnan(p.converged[Q::oddModeImpedance]));
}

INSTANTIATE_TEST_SUITE_P(Geometries, CoplanarClosedForm,
                         ::testing::Values(Coplanar{1, 3, 2e-6},      // the reference input
                                           Coplanar{2, 3, 2e-6},      // wide strips, narrow gap
                                           Coplanar{1, 10, 2e-6},     // far apart
                                           Coplanar{1, 1.1, 1e-5}));  // a gap of a tenth of the width

// Without a closed form, the value extrapolated from 4N and 8N stands in for the truth: its
// own error is several times smaller.
TEST(GroundPlaneLadder, EveryErrorBarHoldsTheValueFromTheFinerLadder) {
    const ConductorModel m = setUpGeometry({10, 1, 3, 1}).conductors;
    const LineParameters p = lineParameters(m);
    const LineParameters finer = lineParameters(withSegmentCounts(m, m.segmentCounts * 2.0));
    EXPECT_TRUE(p.groundPlaneCase);
    EXPECT_EQ(total(p.segmentCounts[2]), 740);
    for (std::size_t k = 0; k < lineQuantityCount; ++k) {
        const auto q = static_cast<Q>(k);
        SCOPED_TRACE(k);
        if (q == Q::lineImpedance) {
            EXPECT_TRUE(std::isnan(p.converged[q]));
            continue;
        }
        EXPECT_LE(std::fabs(p.converged[q] - finer.converged[q]), p.error[q]);
        EXPECT_LT(p.error[q], 1e-4 * std::fabs(p.converged[q]));
        EXPECT_LT(finer.error[q], p.error[q]);
        EXPECT_LE(std::fabs(p.atN[q] - finer.converged[q]), p.errorAtN[q]);
    }
}

TEST(GroundPlaneModes, ImpedancesAndCouplingFollowFromTheMaxwellMatrix) {
    EXPECT_NEAR(freeSpaceLightSpeed(), 299792458, 300);  // ε0 to five digits
    const LineValues v = lineParameters(setUpGeometry({10, 1, 3, 2}).conductors).converged;
    const double c0 = freeSpaceLightSpeed();
    // Mirror-image strips: a symmetric matrix with equal diagonal entries.
    EXPECT_NEAR(v[Q::maxwell22], v[Q::maxwell11], 1e-9 * v[Q::maxwell11]);
    EXPECT_NEAR(v[Q::maxwell21], v[Q::maxwell12], 1e-9 * v[Q::maxwell11]);
    // Even mode (+1, +1) sees C11 + C12, odd mode (+1, −1) C11 − C12, and the coupling
    // coefficient of a homogeneous line is −C12/C11.
    EXPECT_NEAR(v[Q::evenModeImpedance], 1 / (c0 * (v[Q::maxwell11] + v[Q::maxwell12])), 1e-9 * v[Q::evenModeImpedance]);
    EXPECT_NEAR(v[Q::oddModeImpedance], 1 / (c0 * (v[Q::maxwell11] - v[Q::maxwell12])), 1e-9 * v[Q::oddModeImpedance]);
    EXPECT_NEAR(v[Q::couplingCoefficient], -v[Q::maxwell12] / v[Q::maxwell11], 1e-9);
    EXPECT_GT(v[Q::evenModeImpedance], v[Q::oddModeImpedance]);
}

}  // namespace
}  // namespace plattor
