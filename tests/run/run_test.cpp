// The input reader, the input checks, the echo and the geometry of both cases.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "base/error.hpp"
#include "run/geometry.hpp"
#include "run/input.hpp"
#include "support/test_names.hpp"

namespace plattor {
namespace {

InputValues parse(const std::string& text) { return parseInput(text, "indata3.txt"); }

std::string parseError(const std::string& text) {
    try {
        parse(text);
    } catch (const RunError& e) {
        return e.what();
    }
    return "(accepted)";
}

void expectValues(const InputValues& v, double g, double w, double c, double h) {
    EXPECT_EQ(v.groundWidth, g);
    EXPECT_EQ(v.stripWidth, w);
    EXPECT_EQ(v.centreDistance, c);
    EXPECT_EQ(v.stripHeight, h);
}

TEST(InputReader, LayoutOfTheNumbersDoesNotMatter) {
    expectValues(parse("10 1 3 1"), 10, 1, 3, 1);
    expectValues(parse("10\n1\n3\n1\n"), 10, 1, 3, 1);
    expectValues(parse("\t 10\r\n  1 \t3\n\n1"), 10, 1, 3, 1);
    expectValues(parse("10 1 3 1 99 junk"), 10, 1, 3, 1);  // a fifth number and text are ignored
    expectValues(parse("10 1 3 1abc"), 10, 1, 3, 1);
    expectValues(parse("+1.5e1 .5 5. -2.5E-1"), 15, 0.5, 5, -0.25);
    expectValues(parse("1e-300 1 3 1"), 1e-300, 1, 3, 1);
}

TEST(InputReader, EveryWrittenZeroIsExactlyZero) {
    for (const char* zero : {"0", "0.0", "0e3", "-0", "+0.000"}) {
        const InputValues v = parse(std::string(zero) + " 1 3 2");
        EXPECT_EQ(v.groundWidth, 0.0) << zero;
    }
}

// What the reader refuses at the user's level is in the fault tests' table; here the forms
// only the reader's own rules decide, and the cut of a long excerpt.
TEST(InputReader, ReadingStopsAtTheFirstThingThatIsNotANumber) {
    EXPECT_EQ(parseError("1 2 3e 4"), "indata3.txt: expected 4 numbers, found 2 (stopped at \"3e\")");
    EXPECT_EQ(parseError("1 2 - 4"), "indata3.txt: expected 4 numbers, found 2 (stopped at \"-\")");
    EXPECT_EQ(parseError("1 2 .e1 4"), "indata3.txt: expected 4 numbers, found 2 (stopped at \".e1\")");
    EXPECT_EQ(parseError("1 -1e400 3 1"), "indata3.txt: number 2 (-1e400) is outside the range of a double");
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(parseError("1 2 3 " + alphabet + alphabet),
              "indata3.txt: expected 4 numbers, found 3 (stopped at \"" + (alphabet + alphabet).substr(0, 40) + "...\")");
}

// The one decimal syntax of the file and of the options: how much of the text is the number,
// and whether its value is a normal double (or zero).
TEST(InputReader, ADecimalIsMeasuredAndReadByOneRule) {
    const struct {
        const char* text;
        std::size_t length;
        bool inRange;
        double value;
    } cases[] = {
        {"4.3", 3, true, 4.3},       {"+1e4", 4, true, 1e4},      {"-.5", 3, true, -0.5},
        {"5.", 2, true, 5.0},        {"4.3x", 3, true, 4.3},      {"1e", 1, true, 1.0},
        {"2E-3 ", 4, true, 2e-3},    {"-0", 2, true, 0.0},        {" 4", 0, false, 0},
        {"0x10", 1, true, 0.0},      {"0x1p2", 1, true, 0.0},     {"inf", 0, false, 0},
        {"nan", 0, false, 0},        {"", 0, false, 0},           {".", 0, false, 0},
        {"1e999", 5, false, 0},      {"-1e-400", 7, false, 0},    {"1e-310", 6, false, 0},
    };
    for (const auto& c : cases) {
        const Decimal d = parseDecimal(c.text);
        EXPECT_EQ(d.length, c.length) << '"' << c.text << '"';
        if (d.length == 0) continue;
        EXPECT_EQ(d.inRange, c.inRange) << c.text;
        EXPECT_EQ(d.value, c.value) << c.text;
        // The WebAssembly build reads it through strtod, to the same value and range.
        std::string_view number = std::string_view(c.text).substr(0, d.length);
        if (number.front() == '+') number.remove_prefix(1);
        double value = 0.0;
        EXPECT_EQ(decimalByStrtod(number, value), c.inRange) << c.text;
        if (c.inRange) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(InputReader, OnlyTheFirstMiBOfTheFileIsRead) {
    const auto path = std::filesystem::temp_directory_path() / "plattor-run-test-long-input";
    const std::string padding(std::size_t{1} << 20, ' ');
    std::ofstream(path) << "10 1 3 1\n" << padding << "junk";
    expectValues(readInputFile(path.string()), 10, 1, 3, 1);
    std::ofstream(path) << "10 1 3" << padding << " 1\n";
    try {
        readInputFile(path.string());
        FAIL() << "a number beyond the first MiB was read";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), path.string() + ": expected 4 numbers, found 3 (end of the first MiB)");
    }
    std::ofstream(path) << padding.substr(0, (std::size_t{1} << 20) - 8) << "10 1 3 1";  // ends exactly at the cap
    expectValues(readInputFile(path.string()), 10, 1, 3, 1);
    std::ofstream(path) << padding.substr(0, (std::size_t{1} << 20) - 9) << "10 1 3 12\n";  // white space past the cap
    expectValues(readInputFile(path.string()), 10, 1, 3, 12);
    std::filesystem::remove(path);
}

std::string checkError(double g, double w, double c, double h) {
    try {
        checkInput({g, w, c, h}, "indata3.txt");
    } catch (const RunError& e) {
        return e.what();
    }
    return "(accepted)";
}

// The rejected arrangements are the fault tests' table; these lie at the edge of a rule.
TEST(InputChecks, UnusualButMeaningfulArrangementsAreKept) {
    EXPECT_EQ(checkError(10, 1, -3, 1), "(accepted)");    // the strips swap sides
    EXPECT_EQ(checkError(10, 1, 3, -1), "(accepted)");    // strips below the plane
    EXPECT_EQ(checkError(-0.0, 1, 3, 1), "(accepted)");   // -0 is no plane
    EXPECT_EQ(checkError(10, 1, 1, 1), "(accepted)");     // touching strips
    EXPECT_EQ(checkError(2, 1, 3, 0), "(accepted)");      // in the plane's line, touching its edges
    EXPECT_EQ(checkError(2, 1, 4, 0), "(accepted)");      // in the plane's line, clear of it
    EXPECT_EQ(checkError(10, 1, 3, 0.001), "(accepted)"); // flat grid: two rows
}

// The example's seven lines are in its reference console; here the numbers that are not whole.
TEST(Echo, NumbersRightAfterTheLabels) {
    EXPECT_EQ(echoLines({-0.0, 0.25, 1e-5, 2.6604271})[1], "Jordplanets bredd = 0");
    EXPECT_EQ(echoLines({-0.0, 0.25, 1e-5, 2.6604271})[3], "Centrumavstand = 1e-05");
    EXPECT_EQ(echoLines({-0.0, 0.25, 1e-5, 2.6604271})[4], "Hoejd = 2.6604");
}

struct GeometryCase {
    InputValues input;
    std::vector<double> counts;
};

void PrintTo(const GeometryCase& c, std::ostream* os) {
    *os << c.input.groundWidth << " " << c.input.stripWidth << " " << c.input.centreDistance << " " << c.input.stripHeight;
}

class SegmentCounts : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(SegmentCounts, FollowTheWidthSharesWithTheMinimumOf50) {
    const Geometry g = setUpGeometry(GetParam().input);
    const auto& expected = GetParam().counts;
    ASSERT_EQ(g.conductors.conductorCount(), expected.size());
    double m = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(g.conductors.segmentCounts[k], expected[k]) << k;
        EXPECT_EQ(g.conductors.segmentWidths[k], g.conductors.conductorWidths[k] / expected[k]);
        m += expected[k];
    }
    EXPECT_EQ(g.conductors.totalSegments(), m);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentCounts,
    ::testing::Values(GeometryCase{{10, 1, 3, 1}, {85, 50, 50}},     // 83.3 + 2, then the minimum
                      GeometryCase{{0, 1, 3, 2}, {102, 102}},        // coplanar: always 102 each
                      GeometryCase{{0, 1e-3, 7, 2}, {102, 102}},
                      GeometryCase{{1, 1, 1, 1}, {50, 50, 50}},      // 33.3 + 2 raised to 50
                      GeometryCase{{0.01, 1, 3, 1}, {50, 52, 52}},   // round(49.75) + 2
                      GeometryCase{{1000, 1, 3, 1}, {102, 50, 50}},  // round(99.8) + 2
                      GeometryCase{{2, 1, 3, 1}, {52, 50, 50}},      // the plane 50 + 2, the strips 25 + 2 raised
                      GeometryCase{{5, 1.5, 3, 1}, {65, 50, 50}},    // 62.5: the half rounded up
                      GeometryCase{{6, 1, 3, 1}, {77, 50, 50}}),     // 75 + 2
    [](const auto& info) { return testing::inputName(info.param.input); });

TEST(Geometry, GroundPlaneCaseOfTheExample) {
    const Geometry g = setUpGeometry({10, 1, 3, 1});
    const ConductorModel& c = g.conductors;
    EXPECT_TRUE(g.groundPlaneCase);
    EXPECT_EQ(c.conductorX[0], 0);
    EXPECT_EQ(c.conductorX[1], -1.5);
    EXPECT_EQ(c.conductorX[2], 1.5);
    EXPECT_EQ(c.conductorY[0], 0);
    EXPECT_EQ(c.conductorY[2], 1);
    EXPECT_EQ(c.segmentWidths[0], 10.0 / 85);
    EXPECT_EQ(c.segmentWidths[1], 0.02);
    EXPECT_EQ(g.fieldRangeX[0], -6);
    EXPECT_EQ(g.fieldRangeX[1], 6);
    EXPECT_EQ(g.fieldRangeY[0], 0);
    EXPECT_EQ(g.fieldRangeY[1], 1.5);
    EXPECT_EQ(g.fieldPointsX, 40u);
    EXPECT_EQ(c.segmentRange(1).first, 85u);
    EXPECT_EQ(c.segmentRange(2).first, 135u);
    EXPECT_EQ(c.segmentRange(2).count, 50u);
    const auto centres = c.segmentCentres(1);
    EXPECT_NEAR(centres.front(), -1.99, 1e-15);
    EXPECT_NEAR(centres.back(), -1.01, 1e-15);
}

TEST(Geometry, CoplanarCaseIgnoresTheHeight) {
    const Geometry g = setUpGeometry({0, 1, 3, 2});
    const Geometry other = setUpGeometry({-0.0, 1, 3, 123});
    EXPECT_FALSE(g.groundPlaneCase);
    EXPECT_FALSE(other.groundPlaneCase);
    EXPECT_EQ(g.conductors.conductorX[1], 3);
    EXPECT_EQ(g.conductors.conductorY[1], 0);
    EXPECT_EQ(other.conductors.conductorY[1], 0);
    EXPECT_NEAR(g.fieldRangeX[0], -3.3, 1e-15);
    EXPECT_NEAR(g.fieldRangeX[1], 6.3, 1e-15);
    EXPECT_EQ(g.fieldRangeY[0], -4.5);
    EXPECT_EQ(g.fieldRangeY[1], 4.5);
    EXPECT_EQ(g.conductors.segmentWidths[0], 1.0 / 102);
}

}  // namespace
}  // namespace plattor
