// Capacitances from the solved system: conductor sums, reduction, report, and the physics they must reach.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "moment/assembly/assembly.hpp"
#include "moment/fields/fields.hpp"
#include "base/error.hpp"
#include "run/geometry.hpp"
#include "moment/solution/capacitance.hpp"
#include "support/matrices.hpp"
#include "support/math_paths.hpp"

namespace plattor {
namespace {

using testing::fromRows;

constexpr double scale = 2.0 * std::numbers::pi * plattorVacuumPermittivity;

TEST(GeneralizedCapacitance, ConductorSumsCarryTheirSegmentWidth) {
    ConductorModel m;
    m.conductorWidths = {0.5, 0.5};
    m.segmentCounts = {1, 2};
    m.segmentWidths = {0.5, 0.25};
    // Column l: the densities with conductor l raised; a third column (an excitation) is ignored.
    const Matrix x = fromRows({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    const Matrix g = generalizedCapacitance(x, m);
    ASSERT_EQ(g.rows(), 2u);
    ASSERT_EQ(g.cols(), 2u);
    EXPECT_DOUBLE_EQ(g(0, 0), 0.5 * 1 * scale);
    EXPECT_DOUBLE_EQ(g(0, 1), 0.5 * 2 * scale);
    EXPECT_DOUBLE_EQ(g(1, 0), 0.25 * (4 + 7) * scale);  // not made symmetric
    EXPECT_DOUBLE_EQ(g(1, 1), 0.25 * (5 + 8) * scale);
}

void expectEntries(const Matrix& actual, const Matrix& expected) {
    ASSERT_EQ(actual.rows(), expected.rows());
    ASSERT_EQ(actual.cols(), expected.cols());
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_DOUBLE_EQ(actual[k], expected[k]) << k;
}

TEST(ReduceCapacitance, WorkedThreeConductorExample) {
    // Row totals 2, 1, 1; column totals the same; grand total 4.
    const Matrix g = fromRows({{4, -1, -1}, {-1, 3, -1}, {-1, -1, 3}});
    const Matrix maxwell = reduceCapacitance(g, 0);
    expectEntries(maxwell, fromRows({{2.75, -1.25}, {-1.25, 2.75}}));
    expectEntries(partialCapacitance(maxwell), fromRows({{1.5, 1.25}, {1.25, 1.5}}));
    // Another reference conductor keeps the others, in their order.
    expectEntries(reduceCapacitance(g, 2), fromRows({{4 - 2.0 * 2 / 4, -1 - 2.0 * 1 / 4}, {-1 - 1.0 * 2 / 4, 3 - 1.0 * 1 / 4}}));
    expectEntries(reduceCapacitance(g, 1), fromRows({{3, -1 - 2.0 * 1 / 4}, {-1 - 1.0 * 2 / 4, 2.75}}));
}

TEST(ReduceCapacitance, RowAndColumnTotalsOfAnAsymmetricMatrix) {
    // G as solved is not symmetric: the outer product takes the row total of k and the
    // column total of l. Row totals 3, 4; column totals 5, 2; grand total 7.
    const Matrix g = fromRows({{1, 2}, {4, 0}});
    expectEntries(reduceCapacitance(g, 0), fromRows({{0 - 4.0 * 2 / 7}}));
    expectEntries(reduceCapacitance(g, 1), fromRows({{1 - 3.0 * 5 / 7}}));
    // Partial capacitances: row sums on the diagonal, negated entries off it; of one conductor
    // its Maxwell capacitance.
    expectEntries(partialCapacitance(fromRows({{0.75}})), fromRows({{0.75}}));
    expectEntries(partialCapacitance(fromRows({{5, -1, -2}, {-1, 4, 0.5}, {-3, 0.5, 6}})),
                  fromRows({{2, 1, 2}, {1, 3.5, -0.5}, {3, -0.5, 3.5}}));
}

TEST(Report, FiveLinesForEachCase) {
    const Matrix partial = fromRows({{23.636098e-12, 2.6604271e-12}, {2.6604271e-12, 23.636098e-12}});
    EXPECT_EQ(reportLines(partial, true),
              (std::vector<std::string>{" ", "Resultat:", "Delkapacitans mellan plattorna: 2.6604 pF",
                                        "Kapacitans mellan en platta och jordplanet: 23.6361 pF", " "}));
    const auto coplanar = reportLines(Matrix(1, 1, 11.310090e-12), false);
    EXPECT_EQ(coplanar[2], "Delkapacitans mellan plattorna: 11.3101 pF");
    EXPECT_EQ(coplanar[3], "Kapacitans mellan en platta och jordplanet:  pF");
}

TEST(SystemSolve, CoincidentStripsAreReportedAsSingular) {
    // Two strips in the same place: the rows of the one repeat those of the other, in any unit.
    // (reducedCapacitance, plattor-lines' route, solves the system as plattor does.)
    ConductorModel m = setUpGeometry({0, 1, 3, 2}).conductors;
    m.conductorX = {0, 0};
    try {
        reducedCapacitance(m);
        FAIL() << "a singular system was solved";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot solve the moment-method system: matrix is singular", 0), 0u)
            << e.what();
    }
}

// The charges satisfy the system they were solved from, and G's columns are the charges of
// each conductor raised alone: with every conductor at 1 at once the charges add up.
TEST(SystemSolve, ChargesSolveTheSystemAndGAddsUp) {
    for (const InputValues input : {InputValues{10, 1, 3, 1}, InputValues{0, 1, 3, 2}}) {
        const ConductorModel& m = setUpGeometry(input).conductors;
        const Matrix a = assembleSystemMatrix(m);
        const std::vector<double> v = excitation(m, conductorPotentials(m.conductorCount()));
        const SystemSolution solution = solveSystem(a, m, v);
        EXPECT_EQ(solution.unitLength, 1.0);
        ASSERT_EQ(solution.charges.size(), v.size());
        for (std::size_t r = 0; r < a.rows(); ++r) {
            double potential = 0;
            for (std::size_t c = 0; c < a.cols(); ++c) potential += a(r, c) * solution.charges[c];
            ASSERT_NEAR(potential, v[r], 1e-12) << r;
        }

        const std::vector<double> allRaised = solveSystem(a, m, excitation(m, std::vector<double>(m.conductorCount(), 1.0))).charges;
        const Matrix& g = solution.generalized;
        for (std::size_t k = 0; k < m.conductorCount(); ++k) {
            const SegmentRange r = m.segmentRange(k);
            double charge = 0;
            for (std::size_t s = r.first; s < r.first + r.count; ++s) charge += allRaised[s];
            double rowTotal = 0;
            for (std::size_t l = 0; l < g.cols(); ++l) rowTotal += g(k, l);
            EXPECT_NEAR(inPlattorFaradPerMetre(m.segmentWidths[k] * charge), rowTotal, 1e-12 * std::fabs(rowTotal)) << k;
        }
    }
}

// Strips low over the plane and far apart: the strip-to-strip capacitance is thousands of
// times below the Maxwell entries, a difference whose digits rest on the last bits of the
// matrix. On every path it comes out as on the scalar one, bit for bit.
class SensitiveArrangement : public OnEachMathPath {};

TEST_P(SensitiveArrangement, IsSolvedWithLibmOnEveryPath) {
    const ConductorModel m = setUpGeometry({10, 1, 6, 0.01}).conductors;
    const std::vector<double> v = excitation(m, conductorPotentials(3));
    const SystemSolution onPath = solveSystem(assembleSystemMatrix(m), m, v);
    const Matrix partial = partialCapacitance(reduceCapacitance(onPath.generalized, 0));
    ASSERT_GT(partial(0, 0), 1000 * partial(0, 1));
    useMathPath(MathPath::scalar);
    const SystemSolution scalar = solveSystem(assembleSystemMatrix(m), m, v);
    for (std::size_t k = 0; k < scalar.generalized.size(); ++k) ASSERT_EQ(onPath.generalized[k], scalar.generalized[k]) << k;
    for (std::size_t k = 0; k < scalar.charges.size(); ++k) ASSERT_EQ(onPath.charges[k], scalar.charges[k]) << k;
    EXPECT_EQ(mathPath(), MathPath::scalar);  // the path chosen before the solve is in use again
}

PLATTOR_INSTANTIATE_ON_EACH_MATH_PATH(SensitiveArrangement);

// The same conductors with other segment counts; the segment widths follow.
ConductorModel withSegmentCounts(const ConductorModel& model, const std::vector<std::size_t>& segmentCounts) {
    ConductorModel m = model;
    m.segmentCounts = segmentCounts;
    for (std::size_t k = 0; k < m.conductorCount(); ++k)
        m.segmentWidths[k] = m.conductorWidths[k] / static_cast<double>(segmentCounts[k]);
    return m;
}

Matrix partialFor(const ConductorModel& m) { return partialCapacitance(reducedCapacitance(m)); }

// Two coplanar strips of width w with gap s: C = ε0·K(k′)/K(k), k = s/(s + 2w). The moment
// method approaches it from below, its error halving as every segment count doubles.
TEST(Physics, CoplanarStripsConvergeToTheClosedForm) {
    const double k = 2.0 / (2.0 + 2.0);
    const double exact = plattorVacuumPermittivity * std::comp_ellint_1(std::sqrt(1 - k * k)) / std::comp_ellint_1(k);
    EXPECT_NEAR(exact * 1e12, 11.32684, 1e-5);
    const Geometry g = setUpGeometry({0, 1, 3, 2});
    double previousError = 0;
    for (std::size_t n : {102u, 204u, 408u}) {
        const double c = partialFor(withSegmentCounts(g.conductors, {n, n}))[0];
        const double error = (exact - c) / exact;
        if (n == 102) {
            EXPECT_NEAR(c * 1e12, 11.3101, 5e-5);
            EXPECT_GT(error, 1.2e-3);
            EXPECT_LT(error, 1.8e-3);
        } else {
            EXPECT_NEAR(previousError / error, 2.0, 0.15) << n;
        }
        previousError = error;
    }
}

TEST(Physics, GroundPlaneArrangementIsSymmetricAndPassive) {
    const Geometry g = setUpGeometry({10, 1, 3, 1});
    const Matrix partial = partialFor(g.conductors);
    EXPECT_NEAR(partial(0, 1) * 1e12, 2.6604, 5e-5);
    EXPECT_NEAR(partial(0, 0) * 1e12, 23.6361, 5e-5);
    EXPECT_NEAR(partial(1, 1), partial(0, 0), 1e-9 * partial(0, 0));  // mirror-image strips
    EXPECT_NEAR(partial(1, 0), partial(0, 1), 1e-9 * partial(0, 1));
    // Raising the strips lowers their capacitance to the plane.
    const Matrix higher = partialFor(setUpGeometry({10, 1, 3, 2}).conductors);
    EXPECT_LT(higher(0, 0), partial(0, 0));
    EXPECT_GT(higher(0, 1), 0);
}

// Strips of width 1e-140 at height 1: segments 1e-142 wide beside a plane's 0.1, matrix columns
// 140 orders of magnitude apart. Each strip acts as a wire of equivalent radius w/4 over the
// plane, C = 2π ε0 / ln(8h/w), and the inverse must get there rather than call it singular.
TEST(Physics, VanishinglyThinStripsActAsWiresOverThePlane) {
    const double w = 1e-140;
    const Matrix partial = partialFor(setUpGeometry({10, w, 3, 1}).conductors);
    const double wire = 2 * std::numbers::pi * plattorVacuumPermittivity / std::log(8 / w);
    EXPECT_NEAR(partial(0, 0), wire, 5e-3 * wire);
    EXPECT_GT(partial(0, 1), 0);
    EXPECT_LT(partial(0, 1), 1e-3 * partial(0, 0));
}
}  // namespace
}  // namespace plattor
