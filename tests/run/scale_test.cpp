// Capacitances and field pictures do not depend on the unit of length: the whole run, stage
// by stage, on the reference geometries scaled by powers of ten and placed at (and around) the
// one scale where the logarithmic kernel makes the moment-method system singular.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "moment/assembly/assembly.hpp"
#include "moment/fields/field_files.hpp"
#include "moment/fields/fields.hpp"
#include "run/geometry.hpp"
#include "moment/solution/capacitance.hpp"
#include "support/program_run.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

const InputValues typicalInput{10, 1, 3, 1};
const InputValues coplanarInput{0, 1, 3, 2};

InputValues scaled(const InputValues& in, double factor) {
    return {in.groundWidth * factor, in.stripWidth * factor, in.centreDistance * factor, in.stripHeight * factor};
}

// What a run prints and writes, from the geometry on.
struct StageResults {
    std::vector<std::string> report;
    std::vector<std::string> tables;  // hfield3, exfield3, eyfield3 as text
    double unitLength;
};

StageResults runStages(const InputValues& input) {
    const Geometry geometry = setUpGeometry(input);
    const ConductorModel& model = geometry.conductors;
    const std::vector<double> v = excitation(model, conductorPotentials(model.conductorCount()));
    const SystemSolution solution = solveSystem(assembleSystemMatrix(model), model, v);
    StageResults r;
    r.report = reportLines(partialCapacitance(reduceCapacitance(solution.generalized, 0)), geometry.groundPlaneCase);
    const FieldGrid grid = makeFieldGrid(geometry.fieldRangeX, geometry.fieldRangeY, geometry.fieldPointsX);
    const Matrix potential = potentialOnGrid(model, solution.charges, grid);
    const auto [gx, gy] = gradient(potential);
    for (const Matrix* body : {&potential, &gx, &gy}) fieldTableText(grid, *body, r.tables.emplace_back());
    r.unitLength = solution.unitLength;
    return r;
}

// The bodies of two printed tables (coordinates aside) agree to their six printed digits: equal,
// or one unit of the sixth digit apart where the two runs' roundings straddle a printed
// boundary. Values that are rounding noise about zero (below 1e-9 of the table's largest)
// print differently in any unit and are left out.
void expectSamePrintedBodies(const std::string& actual, const std::string& expected, const std::string& what) {
    const auto a = testing::readTable(actual);
    const auto e = testing::readTable(expected);
    ASSERT_EQ(a.size(), e.size()) << what;
    double largest = 0;
    for (std::size_t i = 1; i < e.size(); ++i)
        for (std::size_t j = 1; j < e[i].size(); ++j) largest = std::max(largest, std::fabs(e[i][j]));
    std::size_t compared = 0;
    for (std::size_t i = 1; i < e.size(); ++i) {
        ASSERT_EQ(a[i].size(), e[i].size()) << what;
        for (std::size_t j = 1; j < e[i].size(); ++j) {
            const double x = a[i][j], y = e[i][j];
            if (std::fabs(y) < 1e-9 * largest && std::fabs(x) < 1e-9 * largest) continue;
            const double unit = std::pow(10.0, std::floor(std::log10(std::max(std::fabs(x), std::fabs(y)))) - 5);
            ASSERT_LE(std::fabs(x - y), 1.0001 * unit) << what << " (" << i << ", " << j << "): " << x << " vs " << y;
            ++compared;
        }
    }
    EXPECT_GT(compared, (e.size() - 1) * (e[1].size() - 1) / 2) << what;
}

void expectSameRun(const StageResults& actual, const StageResults& expected, const std::string& what) {
    EXPECT_EQ(actual.report, expected.report) << what;
    const char* names[] = {"hfield3", "exfield3", "eyfield3"};
    for (std::size_t t = 0; t < 3; ++t) expectSamePrintedBodies(actual.tables[t], expected.tables[t], what + " " + names[t]);
}

struct ScaleCase {
    const char* name;
    InputValues input;
    int exponent;
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name << " × 1e" << c.exponent; }

class PowerOfTenScale : public ::testing::TestWithParam<ScaleCase> {};

// Far below the unit length the regularisation of r² must shrink with the geometry, or the
// potential near the strips is lost; far above it nothing may overflow or lose its digits.
TEST_P(PowerOfTenScale, PrintsAndWritesWhatTheUnscaledGeometryDoes) {
    const ScaleCase c = GetParam();
    const StageResults reference = runStages(c.input);
    EXPECT_EQ(reference.unitLength, 1.0);  // the reference inputs keep the input's unit
    expectSameRun(runStages(scaled(c.input, std::pow(10.0, c.exponent))), reference,
                  std::string(c.name) + " × 1e" + std::to_string(c.exponent));
}

std::vector<ScaleCase> everyPowerOfTen() {
    std::vector<ScaleCase> cases;
    for (int k = -12; k <= 12; ++k) {
        if (k == 0) continue;
        cases.push_back({"typical", typicalInput, k});
        cases.push_back({"coplanar", coplanarInput, k});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BothReferences, PowerOfTenScale, ::testing::ValuesIn(everyPowerOfTen()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             return name += testing::caseName({{"_Times1e", info.param.exponent}});
                         });

// The scale at which the system is singular: the total charge g (units of 2π ε0) with every
// conductor at 1 is 1/(−ln capacity); scaling by L adds −ln L to −ln capacity, so the system
// of the geometry scaled by exp(1/g) has no solution.
double singularScale(const InputValues& input) {
    const ConductorModel model = setUpGeometry(input).conductors;
    const SystemSolution s = solveSystem(assembleSystemMatrix(model), model, {});
    double g = 0;
    for (std::size_t k = 0; k < s.generalized.size(); ++k) g += s.generalized[k] / inPlattorFaradPerMetre(1.0);
    return std::exp(1.0 / g);
}

class SingularScale : public ::testing::TestWithParam<double> {};

TEST_P(SingularScale, ChangesNeitherTheCapacitancesNorTheField) {
    const double offset = GetParam();
    for (const InputValues input : {typicalInput, coplanarInput}) {
        const double at = singularScale(input) * (1 + offset);
        const StageResults near = runStages(scaled(input, at));
        expectSameRun(near, runStages(input), "scale " + std::to_string(at));
        // Near it the solve must have left the input's unit (where the factors are worthless).
        if (std::fabs(offset) < 1e-3) {
            EXPECT_NE(near.unitLength, 1.0) << "solved in the singular unit itself";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RelativeDistances, SingularScale, ::testing::Values(0.0, 1e-15, -1e-13, 1e-10, -1e-6, 0.1),
                         [](const auto& info) { return testing::caseName({{"Offset", info.param}}); });

}  // namespace
}  // namespace plattor
