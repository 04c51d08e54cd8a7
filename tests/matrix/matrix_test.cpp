// The matrix layer: layout, the operations the stages rely on, the inverse and number text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>

#include "base/error.hpp"
#include "matrix/linalg.hpp"
#include "matrix/matrix.hpp"
#include "base/text.hpp"
#include "matrix/vector_math.hpp"
#include "support/matrices.hpp"
#include "support/math_paths.hpp"

namespace plattor {
namespace {

using testing::fromRows;
using testing::identity;
using testing::product;

TEST(MatrixLayout, ElementsAreStoredColumnByColumn) {
    const Matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
    ASSERT_EQ(a.rows(), 2u);
    ASSERT_EQ(a.cols(), 3u);
    const double storage[] = {1, 4, 2, 5, 3, 6};
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(a[k], storage[k]);
    EXPECT_EQ(a.column(2)[1], 6);
    // A window from element (0, 1) on: its (1, 1) is the matrix's (1, 2), its columns 2 apart.
    EXPECT_EQ(a.view().at(0, 1)(1, 1), 6);
    EXPECT_EQ(a.view().at(0, 1).column(1)[0], 3);
    Matrix b(3, 2, 7.0);
    b.view().at(1, 1)(1, 0) = -1;
    EXPECT_EQ(b[5], -1);
}

// Every new matrix is zero (or its fill), small or large, and also where its storage is one a
// freed matrix left: the kernels' assembly adds into it.
TEST(MatrixLayout, EveryNewMatrixStartsAtItsFill) {
    for (const std::size_t n : {3u, 400u, 700u}) {  // on the heap; pages of its own; kept for reuse
        for (int round = 0; round < 3; ++round) {
            Matrix a(n, n, round == 1 ? 2.5 : 0.0);
            for (std::size_t k = 0; k < a.size(); ++k) ASSERT_EQ(a[k], round == 1 ? 2.5 : 0.0) << n << " " << k;
            std::fill(a.data(), a.data() + a.size(), -1.0);
        }
        Matrix copy(n, n, 3.0);
        const Matrix other = copy;
        EXPECT_EQ(other[n * n - 1], 3.0);
    }
}

TEST(MatrixOperations, LinspaceSpansTheRange) {
    EXPECT_EQ(linspace(0, 1.5, 5), (std::vector<double>{0, 0.375, 0.75, 1.125, 1.5}));
    const std::vector<double> x = linspace(-3.3, 6.3, 40);
    ASSERT_EQ(x.size(), 40u);
    EXPECT_EQ(x[0], -3.3);
    EXPECT_EQ(x[39], 6.3);
    EXPECT_NEAR(x[1] - x[0], 9.6 / 39, 1e-15);
    EXPECT_EQ(linspace(2, 5, 1), std::vector<double>{5});  // a single point is the last
    EXPECT_TRUE(linspace(2, 5, 0).empty());
}

TEST(MatrixOperations, GradientIsCentralInsideAndOneSidedAtTheEdges) {
    // f = i² + 10 j³ on rows i and columns j: per-step differences known exactly.
    Matrix f(4, 3);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 3; ++j) f(i, j) = double(i * i) + 10.0 * double(j * j * j);
    const auto [gx, gy] = gradient(f);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(gx(i, 0), 10);        // f(i,1) − f(i,0)
        EXPECT_EQ(gx(i, 1), 40);        // (80 − 0) / 2
        EXPECT_EQ(gx(i, 2), 70);        // 80 − 10
    }
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(gy(0, j), 1);
        EXPECT_EQ(gy(1, j), 2);         // (4 − 0) / 2
        EXPECT_EQ(gy(2, j), 4);         // (9 − 1) / 2
        EXPECT_EQ(gy(3, j), 5);
    }
    const auto [tx, ty] = gradient(fromRows({{1, 4}, {2, 8}}));  // two rows, two columns
    EXPECT_EQ(tx(1, 0), 6);
    EXPECT_EQ(ty(0, 1), 4);
    const auto [flatX, flatY] = gradient(fromRows({{1, 4, 9}}));  // one grid row: no rate along y
    EXPECT_EQ(flatX(0, 1), 4);
    EXPECT_EQ(flatY(0, 2), 0);
}

// A⁻¹ as the LU solve of the identity.
Matrix inverse(const Matrix& a) { return luSolve(luFactor(a), identity(a.rows())); }

// Random matrices that need row exchanges, in sizes on both sides of the factorisation's
// panel width (32) and of its register blocks (8 rows, 4 columns).
class Inverse : public ::testing::TestWithParam<std::size_t> {};

Matrix randomNeedingExchanges(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    Matrix a(n, n);
    for (std::size_t k = 0; k < a.size(); ++k) a[k] = u(rng);
    for (std::size_t i = 0; i < n; ++i) a(i, (i + 1) % n) += 4.0;  // dominance off the diagonal: pivoting needed
    return a;
}

TEST_P(Inverse, SolvesEveryRightHandSide) {
    // 1 to 7 random right-hand sides (whole groups of four and every remainder), then the
    // identity: A times the inverse is the identity.
    const std::size_t n = GetParam();
    const Matrix a = randomNeedingExchanges(n, 99 + static_cast<unsigned>(n));
    const LuFactors factors = luFactor(a);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (std::size_t columns = 1; columns <= 8; ++columns) {
        Matrix b = columns < 8 ? Matrix(n, columns) : identity(n);
        for (std::size_t k = 0; columns < 8 && k < b.size(); ++k) b[k] = u(rng);
        const Matrix ax = product(a, luSolve(factors, b));
        for (std::size_t k = 0; k < b.size(); ++k) ASSERT_NEAR(ax[k], b[k], 1e-12) << columns << " " << k;
    }
}

// Aᵀ x = b from single factors refined in double: the solution of the factors in double to
// 1e−12, where single factors alone leave 1e−7. With a leading block factored as a block of its
// own (its pivots chosen within it), in single or double precision, the whole solves as before
// and the leading block alone as the system it is.
TEST_P(Inverse, SingleFactorsRefinedAndLeadingBlocksSolveAsExactlyAsDouble) {
    const std::size_t n = GetParam();
    const Matrix a = randomNeedingExchanges(n, 199 + static_cast<unsigned>(n));
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> b(n);
    for (double& v : b) v = u(rng);
    const std::vector<double> exact = luSolveTransposed(luFactor(a), b);
    const std::size_t m = (2 * n + 2) / 3;  // within the first panel of columns and across its end
    Matrix block(m, m);
    for (std::size_t j = 0; j < m; ++j)
        for (std::size_t i = 0; i < m; ++i) block(i, j) = a(i, j);
    const std::vector<double> head(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(m));
    const std::vector<double> blockExact = luSolveTransposed(luFactor(block), head);
    const auto close = [](const std::vector<double>& x, const std::vector<double>& expected, const std::string& what) {
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_NEAR(x[i], expected[i], 1e-12 * (1 + std::fabs(expected[i]))) << what << " " << i;
    };
    for (const bool refined : {true, false})
        for (const std::size_t leading : {n, m}) {
            const std::string what = (refined ? "single, leading " : "double, leading ") + std::to_string(leading);
            TransposedSolver solver(a, refined, {}, leading);
            close(solver.solve(b), exact, what);
            if (leading < n) close(solver.leadingBlock({}).solve(head), blockExact, what + ", the block");
        }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Inverse, ::testing::Values(1u, 2u, 3u, 17u, 31u, 32u, 33u, 64u, 70u, 131u),
                         [](const auto& info) { return "Size" + std::to_string(info.param); });

TEST(LuFactor, FactorsReproduceTheRowExchangedMatrix) {
    // P A = L U, checked entry by entry with P applied as the recorded exchanges.
    const std::size_t n = 75;
    const Matrix a = randomNeedingExchanges(n, 5);
    const LuFactors f = luFactor(a);
    Matrix pa = a;
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t j = 0; j < n; ++j) std::swap(pa(k, j), pa(f.pivots[k], j));
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) {
            double lu = 0;
            for (std::size_t k = 0; k <= std::min(i, j); ++k) lu += (k == i ? 1.0 : f.lu(i, k)) * f.lu(k, j);
            ASSERT_NEAR(lu, pa(i, j), 1e-12) << i << "," << j;
        }
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 1; i < n; ++i) ASSERT_LE(std::fabs(f.lu(i, j)), 1.0);  // partial pivoting
}

TEST(InverseFailures, ZeroLeadingEntryIsHandledByPivoting) {
    const Matrix inv = inverse(fromRows({{0, 2}, {4, 0}}));
    EXPECT_EQ(inv(0, 1), 0.25);
    EXPECT_EQ(inv(1, 0), 0.5);
}

TEST(InverseFailures, SingularAndNonFiniteMatricesAreReported) {
    try {
        inverse(fromRows({{1, 2}, {2, 4}}));
        FAIL() << "a singular matrix was inverted";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "matrix is singular to working precision (pivot 0 in column 2, largest entry of the column 4)");
    }
    // Negligible relative to the entries, though far from zero in absolute terms.
    EXPECT_THROW(inverse(fromRows({{1e20, 1e20}, {1e20, 1e20 + 32768}})), RunError);
    try {
        inverse(fromRows({{1, 0}, {0, std::nan("")}}));
        FAIL() << "a NaN entry was inverted";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "matrix has a non-finite entry (nan at row 2, column 2)");
    }
}

TEST(InverseFailures, SingularityInALaterPanelNamesItsColumn) {
    // Column 41 is the sum of columns 3 and 10: nothing is amiss until the elimination reaches it.
    Matrix a = randomNeedingExchanges(50, 11);
    for (std::size_t i = 0; i < 50; ++i) a(i, 40) = a(i, 2) + a(i, 9);
    try {
        inverse(a);
        FAIL() << "a singular matrix was inverted";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("in column 41,"), std::string::npos) << e.what();
    }
    Matrix b = randomNeedingExchanges(40, 12);
    b(37, 36) = HUGE_VAL;
    try {
        luFactor(b);
        FAIL() << "an infinite entry was factorised";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "matrix has a non-finite entry (inf at row 38, column 37)");
    }
}

TEST(InverseFailures, WhatSingleFactorsCannotSolveIsSolvedByDoubleOnes) {
    // Singular in single precision (1 + 1e−9 rounds to 1), and a Hilbert matrix of condition
    // 1.5e10, whose pivots single precision loses: both solved as double factors solve them, to
    // the bit.
    Matrix hilbert(8, 8);
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t j = 0; j < 8; ++j) hilbert(i, j) = 1.0 / static_cast<double>(i + j + 1);
    for (const Matrix& a : {fromRows({{1, 1}, {1, 1 + 1e-9}}), hilbert}) {
        const std::vector<double> b(a.rows(), 1.0);
        TransposedSolver solver(a, true);
        const std::vector<double> x = solver.solve(b), exact = luSolveTransposed(luFactor(a), b);
        for (std::size_t i = 0; i < b.size(); ++i) EXPECT_EQ(x[i], exact[i]);
    }
    EXPECT_THROW(TransposedSolver(fromRows({{1, 2}, {2, 4}}), true), RunError);
    try {
        TransposedSolver(fromRows({{1, 0}, {0, std::nan("")}}), true);
        FAIL() << "a NaN entry was factored";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "matrix has a non-finite entry (nan at row 2, column 2)");
    }
}

TEST(InverseFailures, ScaleAloneIsNotSingularity) {
    const Matrix inv = inverse(fromRows({{1e-200, 0}, {0, 2e-200}}));
    EXPECT_DOUBLE_EQ(inv(1, 1), 0.5e200);
    // A column far smaller than the rest: its pivot is judged against its own entries.
    const Matrix scaled = inverse(fromRows({{1, 1e-30}, {1, 2e-30}}));
    EXPECT_DOUBLE_EQ(scaled(0, 0), 2);
    EXPECT_DOUBLE_EQ(scaled(1, 0), -1e30);
    EXPECT_DOUBLE_EQ(scaled(1, 1), 1e30);
}

TEST(NumberText, DefaultFormsOfNumbers) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{10, "10"},          {0, "0"},
                 {-0.0, "0"},         {-3, "-3"},
                 {0.375, "0.375"},    {2.6604271, "2.6604"},
                 {23.636098, "23.6361"}, {11.310090, "11.3101"},
                 {123456.7, "123456.7"}, {1.5e-05, "1.5e-05"},
                 {1e-300, "1e-300"},  {-1.2, "-1.2"},
                 {1e15, "1000000000000000"},     {std::nan(""), "NaN"},
                 {HUGE_VAL, "Inf"},   {-HUGE_VAL, "-Inf"},
                 // Large whole doubles in every digit (their exact values, worked out apart).
                 {1e63, "1000000000000000057857959942726969827393378689175040438172647424"},
                 {-1e70, "-10000000000000000725314363815292351261583744096465219555182101554790400"},
                 {1e150, "99999999999999998083559617243737459057312001403031879309116481015410011220367858297629826861622115"
                         "1962702060266176005440567032331208403948233373515776"}};
    for (const auto& c : cases) EXPECT_EQ(numberText(c.value), c.text) << c.value;
}

TEST(PrintableExcerpt, OneLineOfPrintableTextAtMostTheLimitLong) {
    const std::string forty(40, '7');
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {{"--fast", "--fast"},
                 {"a\nb\"c\\d\te", "a\\x0ab\\x22c\\x5cd\\x09e"},
                 {std::string("\x7f\x00\xff", 3), "\\x7f\\x00\\xff"},
                 {forty, forty},
                 {forty + "8", forty + "..."},
                 {"\x1b" + forty, "\\x1b" + forty.substr(1) + "..."}};
    for (const auto& c : cases) EXPECT_EQ(printableExcerpt(c.text), c.shown) << c.shown;
    EXPECT_EQ(printableExcerpt("abcdef", 3), "abc...");
}

// The field files are written through appendSixDigits; its text must be printf's to the byte.
std::string printfText(const char* format, double value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::vector<double> awkwardValues() {
    std::vector<double> values = {0.0, -0.0, std::nan(""), -std::nan(""), HUGE_VAL, -HUGE_VAL,
                                  std::numeric_limits<double>::denorm_min(), -1e-320, std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max(), std::numeric_limits<double>::min(), 9.9999995,
                                  999999.5, 9.999995e5, -9.999995e5, 1e-5, 0.0001, 9.999995e-5, 99999.95, 1e15, 123456.5,
                                  0.5, -2.5e-5, 1e100, 1e-100, 100000, 1e6, -1e-4, 1.5e-308};
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> exponent(-25, 25);
    for (int k = 0; k < 5000; ++k) {
        double bits;
        const std::uint64_t pattern = rng();
        std::memcpy(&bits, &pattern, sizeof bits);
        values.push_back(bits);  // anything a double can hold: NaN payloads, subnormals, extremes
        const double magnitude = std::pow(10.0, exponent(rng));
        values.push_back(k % 2 ? magnitude : -magnitude);
        // Just below, on and above a tie in the sixth significant digit.
        const double scale = std::pow(10.0, std::floor(exponent(rng)));
        const double tie = (std::floor(magnitude * 1e5) + 0.5) * 1e-5 * scale;
        values.insert(values.end(), {std::nextafter(tie, 0.0), tie, std::nextafter(tie, HUGE_VAL)});
    }
    return values;
}

TEST(SixDigits, IsPrintfsTextToTheByteInBothWidths) {
    const std::vector<double> values = awkwardValues();
    for (const std::size_t width : {8u, 12u}) {
        const std::string format = "%" + std::to_string(width) + ".6g";
        std::string all, expected;
        for (const double v : values) {
            appendSixDigits(all, v, width);
            expected += printfText(format.c_str(), v);
        }
        if (all == expected) continue;
        for (const double v : values) {  // name the first value that differs
            std::string one;
            appendSixDigits(one, v, width);
            ASSERT_EQ(one, printfText(format.c_str(), v)) << format << " of " << v;
        }
        FAIL() << format << ": the texts differ, though no single value does";
    }
    // Appending keeps what is there; a number longer than the field widens it.
    std::string text = "x";
    appendSixDigits(text, -1.23456789e-100, 8);
    EXPECT_EQ(text, "x-1.23457e-100");
}

// The text of numbers echoed in JSON and in messages: it reads back to the same double, and no
// shorter text does.
TEST(ShortestText, ReadsBackToTheSameDoubleAndNothingShorterDoes) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{4.4, "4.4"}, {4.3, "4.3"}, {0.1 + 0.2, "0.30000000000000004"}, {-1, "-1"}, {0.5, "0.5"},
                 {1e200, "1e+200"}, {8.8541878128e-12, "8.8541878128e-12"}, {5e-324, "5e-324"},
                 {-2.2250738585072014e-308, "-2.2250738585072014e-308"}, {HUGE_VAL, "Inf"}, {std::nan(""), "NaN"}};
    for (const auto& c : cases) EXPECT_EQ(shortestText(c.value), c.text) << c.text;

    for (const double v : awkwardValues()) {
        if (!std::isfinite(v)) continue;
        const std::string text = shortestText(v);
        ASSERT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
        // printf's %g with the fewest digits that read back is never shorter.
        std::string fewest;
        for (int digits = 1; digits <= 17 && fewest.empty(); ++digits) {
            const std::string candidate = printfText(("%." + std::to_string(digits) + "g").c_str(), v);
            if (std::strtod(candidate.c_str(), nullptr) == v) fewest = candidate;
        }
        ASSERT_LE(text.size(), fewest.size()) << text << " is longer than " << fewest;
        // The WebAssembly build's path through printf and strtod gives the same text.
        ASSERT_EQ(shortestTextByPrintf(v), text);
    }
    // There also the powers of two (whose doubles below lie closer than those above) and the
    // whole numbers past 2^53 (whose fixed form is exact, not the shortest digits padded).
    for (int e = -1074; e <= 1023; ++e) {
        const double v = std::ldexp(1.0, e);
        ASSERT_EQ(shortestTextByPrintf(v), shortestText(v)) << "2^" << e;
        ASSERT_EQ(shortestTextByPrintf(-std::nextafter(v, HUGE_VAL)), shortestText(-std::nextafter(v, HUGE_VAL))) << "2^" << e;
    }
}

}  // namespace
}  // namespace plattor

namespace plattor {
namespace {

// Each path against libm, argument by argument: within a few units in the last place, the same
// value wherever an argument sits in the array (whole vectors and the padded tail alike), and
// the special values of the functions.
class VectorMath : public OnEachMathPath {};

TEST_P(VectorMath, LogarithmsAndArctangentsMatchLibmAtEveryPosition) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> exponent(-300, 300);
    std::vector<double> arguments(23);
    for (double& a : arguments) a = std::pow(10.0, exponent(rng)) * (1 + 1e-3 * exponent(rng));
    arguments[0] = 1.0;
    arguments[1] = 1e-320;  // subnormal
    for (std::size_t n = 1; n <= arguments.size(); ++n) {
        std::vector<double> logs(arguments.begin(), arguments.begin() + static_cast<std::ptrdiff_t>(n));
        std::vector<double> atans = logs;
        for (std::size_t k = 0; k < n; ++k) atans[k] = (k % 2 ? -1 : 1) * std::log1p(logs[k]);
        const std::vector<double> atanArguments = atans;
        logInPlace(logs.data(), n);
        atanInPlace(atans.data(), n);
        for (std::size_t k = 0; k < n; ++k) {
            const double exactLog = std::log(arguments[k]);
            ASSERT_NEAR(logs[k], exactLog, 4e-16 * std::fabs(exactLog)) << arguments[k] << " n=" << n;
            const double exactAtan = std::atan(atanArguments[k]);
            ASSERT_NEAR(atans[k], exactAtan, 4e-16 * std::fabs(exactAtan)) << atanArguments[k] << " n=" << n;
            if (n == arguments.size()) continue;
            // The same argument at the end of the longest array: not a bit different.
            std::vector<double> alone(arguments.size(), 2.0);
            alone.back() = arguments[k];
            logInPlace(alone.data(), alone.size());
            ASSERT_EQ(alone.back(), logs[k]) << arguments[k];
        }
    }
    double special[] = {0.0, -1.0, HUGE_VAL, std::nan("")};
    logInPlace(special, 4);
    EXPECT_EQ(special[0], -HUGE_VAL);
    EXPECT_TRUE(std::isnan(special[1]));
    EXPECT_EQ(special[2], HUGE_VAL);
    EXPECT_TRUE(std::isnan(special[3]));
    double limits[] = {HUGE_VAL, -HUGE_VAL, 0.0, -0.0, 1e-300};
    atanInPlace(limits, 5);
    EXPECT_DOUBLE_EQ(limits[0], std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(limits[1], -std::numbers::pi / 2);
    EXPECT_EQ(limits[2], 0.0);
    EXPECT_TRUE(std::signbit(limits[3]));
    EXPECT_EQ(limits[4], 1e-300);
}

PLATTOR_INSTANTIATE_ON_EACH_MATH_PATH(VectorMath);

}  // namespace
}  // namespace plattor
