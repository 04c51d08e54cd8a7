// The field stage: excitation, grid, potential, differences and the field files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "moment/assembly/assembly.hpp"
#include "moment/fields/field_files.hpp"
#include "moment/fields/fields.hpp"
#include "base/error.hpp"
#include "run/geometry.hpp"
#include "moment/solution/capacitance.hpp"
#include "support/matrices.hpp"
#include "support/math_paths.hpp"

namespace plattor {
namespace {

TEST(Excitation, StripsAtMinusAndPlusOneGroundAtZero) {
    EXPECT_EQ(conductorPotentials(3), (std::vector<double>{0, -1, 1}));
    EXPECT_EQ(conductorPotentials(2), (std::vector<double>{-1, 1}));
    const Geometry g = setUpGeometry({10, 1, 3, 1});
    const std::vector<double> e = excitation(g.conductors, conductorPotentials(3));
    ASSERT_EQ(e.size(), 185u);
    EXPECT_EQ(e[0], 0);
    EXPECT_EQ(e[84], 0);
    EXPECT_EQ(e[85], -1);
    EXPECT_EQ(e[134], -1);
    EXPECT_EQ(e[135], 1);
    EXPECT_EQ(e[184], 1);
}

TEST(GridRows, WorkedGridsAndTheSoundChoicesAtTheLimits) {
    EXPECT_EQ(gridRowCount(GridRange{-6, 6}, GridRange{0, 1.5}, 40), 5u);
    const Geometry coplanar = setUpGeometry({0, 1, 3, 2});
    EXPECT_EQ(gridRowCount(coplanar.fieldRangeX, coplanar.fieldRangeY, 40), 38u);  // 37.5 away from zero
    // The same half, a few units in the last place below 37.5 once the lengths are in hundredths.
    const Geometry hundredths = setUpGeometry({0, 0.01, 0.03, 0.02});
    EXPECT_EQ(gridRowCount(hundredths.fieldRangeX, hundredths.fieldRangeY, 40), 38u);
    EXPECT_EQ(gridRowCount(GridRange{0, 80}, GridRange{0, 75.00000000001}, 40), 38u);  // not a half
    EXPECT_EQ(gridRowCount(GridRange{0, 80}, GridRange{0, 74.99999999999}, 40), 37u);
    EXPECT_EQ(gridRowCount(GridRange{-6, 6}, GridRange{0, 0.01}, 40), 2u);   // flat: two rows
    EXPECT_EQ(gridRowCount(GridRange{-6, 6}, GridRange{0, -1.5}, 40), 5u);   // below the plane
    EXPECT_EQ(gridRowCount(GridRange{0, 1}, GridRange{0, 2500}, 40), 100000u);
    EXPECT_THROW(gridRowCount(GridRange{0, 1}, GridRange{0, 2500.02}, 40), RunError);
    EXPECT_THROW(gridRowCount(GridRange{1, 1}, GridRange{0, 1}, 40), RunError);
    EXPECT_THROW(gridRowCount(GridRange{0, 1e-300}, GridRange{0, 1e300}, 40), RunError);
}

TEST(FieldGrid, CoordinatesRunFromTheFirstToTheLastOfEachRange) {
    const FieldGrid grid = makeFieldGrid(GridRange{-6, 6}, GridRange{0, 1.5}, 40);
    ASSERT_EQ(grid.gridYValues.size(), 5u);
    ASSERT_EQ(grid.gridXValues.size(), 40u);
    EXPECT_EQ(grid.gridXValues[0], -6);
    EXPECT_EQ(grid.gridXValues[39], 6);
    EXPECT_NEAR(grid.gridXValues[1], -6 + 12.0 / 39, 1e-14);
    EXPECT_EQ(grid.gridYValues[1], 0.375);
    EXPECT_EQ(potentialOnGrid(setUpGeometry({10, 1, 3, 1}).conductors, std::vector<double>(185), grid).rows(), 5u);
}

ConductorModel oneSegment(double width, double x, double y) { return {{width}, {x}, {y}, {1}, {width}}; }

FieldGrid pointGrid(double x, double y) { return {{x}, {y}}; }

TEST(Potential, OneSegmentActsAsALineChargeAtItsCentre) {
    // Width 0.1, density 2, centre 3 to the left of and 4 below the grid point.
    const Matrix p = potentialOnGrid(oneSegment(0.1, -3, -4), {2.0}, pointGrid(0, 0));
    EXPECT_NEAR(p[0], -0.32189, 5e-6);
    EXPECT_NEAR(p[0], -0.1 * std::log(25.0), 1e-15);
    // On the centre itself: r² = eps·w², large but finite.
    const Matrix onCentre = potentialOnGrid(oneSegment(0.1, 0.5, 0.25), {2.0}, pointGrid(0.5, 0.25));
    EXPECT_TRUE(std::isfinite(onCentre[0]));
    EXPECT_NEAR(onCentre[0], -0.1 * std::log(std::numeric_limits<double>::epsilon() * 0.01), 1e-12);
}

TEST(Potential, CoplanarFieldIsAntisymmetricAboutTheMidline) {
    const Geometry g = setUpGeometry({0, 1, 3, 2});
    const std::vector<double> charges =
        solveSystem(assembleSystemMatrix(g.conductors), g.conductors, excitation(g.conductors, conductorPotentials(2))).charges;
    const FieldGrid grid = makeFieldGrid(g.fieldRangeX, g.fieldRangeY, g.fieldPointsX);
    const Matrix p = potentialOnGrid(g.conductors, charges, grid);
    ASSERT_EQ(p.rows(), 38u);
    double largest = 0;
    for (std::size_t k = 0; k < p.size(); ++k) largest = std::max(largest, std::fabs(p[k]));
    EXPECT_GT(largest, 0.5);
    for (std::size_t j = 0; j < p.rows(); ++j)
        for (std::size_t i = 0; i < 20; ++i) {
            EXPECT_NEAR(p(j, i), -p(j, 39 - i), 1e-9 * largest) << j << "," << i;
            EXPECT_NEAR(p(j, i), p(37 - j, i), 1e-9 * largest) << j << "," << i;  // mirror in y = 0
        }
}

// The potential on each vector-math path against the scalar one, for the same charges: every
// grid point sums the same terms in the same order, so only the logarithms differ, by a few
// units in their last place, and the sums by as many of their largest term's. A tall grid
// (1000 rows) and a short one (5 rows, chunks across columns).
class PotentialPaths : public OnEachMathPath {};

TEST_P(PotentialPaths, AgreeWithTheScalarPathAtEveryGridPoint) {
    for (const InputValues input : {InputValues{1, 0.1, 0.3, 20}, InputValues{10, 1, 3, 1}}) {
        const Geometry g = setUpGeometry(input);
        const ConductorModel& m = g.conductors;
        const std::vector<double> charges = solveSystem(assembleSystemMatrix(m), m, excitation(m, conductorPotentials(3))).charges;
        const FieldGrid grid = makeFieldGrid(g.fieldRangeX, g.fieldRangeY, g.fieldPointsX);
        const Matrix onPath = potentialOnGrid(m, charges, grid);
        useMathPath(MathPath::scalar);
        const Matrix scalar = potentialOnGrid(m, charges, grid);
        double termSize = 0;  // |h·q·ln r| bounded with the largest ln r² on the grid, about 2·ln(size)
        for (std::size_t k = 0; k < m.conductorCount(); ++k) {
            const SegmentRange r = m.segmentRange(k);
            for (std::size_t s = r.first; s < r.first + r.count; ++s) termSize += m.segmentWidths[k] * std::fabs(charges[s]);
        }
        termSize *= 40.0;
        ASSERT_EQ(onPath.rows(), grid.gridYValues.size());
        for (std::size_t k = 0; k < scalar.size(); ++k)
            ASSERT_NEAR(onPath[k], scalar[k], 8 * std::numeric_limits<double>::epsilon() * termSize) << input.stripHeight << " " << k;
    }
}

PLATTOR_INSTANTIATE_ON_EACH_MATH_PATH(PotentialPaths);

TEST(FieldFiles, ShortenedTableLinesCharacterForCharacter) {
    const FieldGrid grid{{-0.06, 0, 0.06}, {0, 0.5}};
    const Matrix body = testing::fromRows({{0.5, 0.75, 0.5}, {-1.23456789e-05, 1234567, 0.1}});
    std::string text = "whatever was in the buffer before";
    fieldTableText(grid, body, text);
    EXPECT_EQ(text,
              "       0        -0.06            0         0.06\n"
              "       0          0.5         0.75          0.5\n"
              "     0.5 -1.23457e-05  1.23457e+06          0.1\n");
}

class ReplacedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("plattor-files-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string read(const std::string& name) const {
        std::ifstream in(dir_ / name);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
    }
    std::filesystem::path dir_;
};

TEST_F(ReplacedFiles, NewContentsReplaceTheOldAndNothingElseRemains) {
    for (const char* contents : {"old\n", "new\n"}) {
        FileReplacement files(dir_.string(), {"hfield3.dat"});
        files.stage("hfield3.dat", contents);
        files.commit();
    }
    EXPECT_EQ(read("hfield3.dat"), "new\n");
    EXPECT_EQ(entries(), 1u);
    {
        FileReplacement files(dir_.string(), {"hfield3.dat"});
        files.stage("hfield3.dat", "never committed\n");
    }
    EXPECT_EQ(read("hfield3.dat"), "new\n");
    EXPECT_EQ(entries(), 1u) << "an abandoned temporary is removed";
}

// The table as printf writes it: "%8.6g" first on each line, " %12.6g" after.
std::string printfTable(const FieldGrid& grid, const Matrix& body) {
    std::string text;
    char number[64];
    for (std::size_t i = 0; i <= body.rows(); ++i) {
        std::snprintf(number, sizeof number, "%8.6g", i == 0 ? 0.0 : grid.gridYValues[i - 1]);
        text += number;
        for (std::size_t j = 0; j < body.cols(); ++j) {
            std::snprintf(number, sizeof number, " %12.6g", i == 0 ? grid.gridXValues[j] : body(i - 1, j));
            text += number;
        }
        text += '\n';
    }
    return text;
}

TEST_F(ReplacedFiles, TheThreeFilesAreTheirTablesAsPrintfWritesThem) {
    // Widening values (three-digit exponents, NaN, −0, infinities, subnormals) in a grid of
    // more columns than rows.
    FieldGrid grid{{-0.06, -0.0, 0.06, 1e-300}, {0, 0.5, 1.25}};
    const Matrix potential = testing::fromRows(
        {{0.5, -1.23456789e-100, 7, 1}, {std::nan(""), 2, -0.0, 3}, {4, 5, 6, 1e300}});
    Matrix gradientX(3, 4), gradientY(3, 4);
    for (std::size_t k = 0; k < potential.size(); ++k) {
        gradientX[k] = potential[k] * 2.0;
        gradientY[k] = potential[k] - 1.0;
    }
    gradientX(2, 0) = -HUGE_VAL;
    gradientY(0, 1) = 4e-320;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    writeFieldFiles(grid, potential, gradientX, gradientY);
    std::filesystem::current_path(previous);
    EXPECT_EQ(read("hfield3.dat"), printfTable(grid, potential));
    EXPECT_EQ(read("exfield3.dat"), printfTable(grid, gradientX));
    EXPECT_EQ(read("eyfield3.dat"), printfTable(grid, gradientY));
    EXPECT_EQ(entries(), 3u);
}

TEST_F(ReplacedFiles, AFailedWriteNamesTheFileAndKeepsTheOldOne) {
    std::filesystem::create_directory(dir_ / "exfield3.dat");
    std::ofstream(dir_ / "exfield3.dat" / "inside") << "kept";
    try {
        FileReplacement files(dir_.string(), {"exfield3.dat"});
        files.stage("exfield3.dat", "new\n");
        files.commit();
        FAIL() << "a directory was replaced";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), "exfield3.dat: cannot write: Is a directory");
    }
    EXPECT_EQ(read("exfield3.dat/inside"), "kept");
    EXPECT_EQ(entries(), 1u);
    try {
        FileReplacement files((dir_ / "no").string(), {"eyfield3.dat"});
        FAIL() << "a missing directory was opened";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), "eyfield3.dat: cannot write: No such file or directory");
    }
}

}  // namespace
}  // namespace plattor
