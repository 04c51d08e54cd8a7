// The blocks of the moment-method matrix: worked values, a literal whole-matrix formulation
// of the same closed forms, and the symmetries of the kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "assembly/assembly.hpp"
#include "matrix/matrix.hpp"
#include "support/math_paths.hpp"

namespace plattor {
namespace {

// The worked blocks are given to ten decimals: agreement to half a unit of the last one.
void expectDecimals(const Matrix& actual, const Matrix& expected) {
    ASSERT_TRUE(actual.sameShape(expected));
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(actual[k], expected[k], 5e-11) << "element " << k;
}

void expectRelative(const Matrix& actual, const Matrix& expected, double tolerance) {
    ASSERT_TRUE(actual.sameShape(expected));
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance * std::fabs(expected[k])) << "element " << k;
}

ConductorModel model(std::initializer_list<double> widths, std::initializer_list<double> x,
                     std::initializer_list<double> y, std::initializer_list<double> counts) {
    ConductorModel m;
    m.conductorWidths = Matrix::row(widths);
    m.conductorX = Matrix::row(x);
    m.conductorY = Matrix::row(y);
    m.segmentCounts = Matrix::row(counts);
    m.segmentWidths = divide(m.conductorWidths, m.segmentCounts);
    return m;
}

TEST(SelfBlock, WorkedExampleOfThreeSegments) {
    EXPECT_NEAR(selfTerm(0.1), -0.39957322735539913, 1e-16);
    const Matrix terms = neighbourTerms(3, 0.1);
    expectRelative(terms, Matrix::row({-0.2347813840551826, -0.16200559254709052}), 1e-12);
    const double d = 0.39957322735539913, n1 = 0.2347813840551826, n2 = 0.16200559254709052;
    expectRelative(selfBlock(3, 0.1), Matrix::fromRows({{d, n1, n2}, {n1, d, n1}, {n2, n1, d}}), 1e-12);
    const Matrix single = selfBlock(1, 0.1);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0], -selfTerm(0.1));
}

TEST(SelfBlock, NeighbourTermsAreTheKernelIntegral) {
    // ∫ ln u du over (q − ½)h … (q + ½)h by the midpoint rule on a fine subdivision.
    const double h = 0.37;
    const Matrix terms = neighbourTerms(6, h);
    for (std::size_t q = 1; q < 6; ++q) {
        double integral = 0;
        const int steps = 20000;
        for (int s = 0; s < steps; ++s)
            integral += std::log((q - 0.5) * h + (s + 0.5) * h / steps) * h / steps;
        EXPECT_NEAR(terms[q - 1], integral, 1e-9) << q;
    }
}

// The pair of the worked example: conductor i 0.2 wide in 2 segments at x = 0, y = 0;
// conductor j 0.3 wide in 2 segments at x = 1.
TEST(PairBlocks, WorkedExampleAtDifferentAndEqualHeights) {
    const ConductorModel above = model({0.2, 0.3}, {0, 1.0}, {0, 0.5}, {2, 2});
    expectRelative(separation(above, 0, 1), Matrix::fromRows({{0.975, 1.125}, {0.875, 1.025}}), 1e-14);
    const PairBlocks a = pairBlocks(above, 0, 1);
    expectDecimals(a.pairBlock, Matrix::fromRows({{-0.0136448728, -0.0311249283}, {-0.0010926302, -0.0196468471}}));
    expectDecimals(a.mirrorBlock, Matrix::fromRows({{-0.0091218680, -0.0007543956}, {-0.0207729741, -0.0131225301}}));

    const ConductorModel level = model({0.2, 0.3}, {0, 1.0}, {0, 0}, {2, 2});
    const PairBlocks b = pairBlocks(level, 0, 1);
    expectDecimals(b.pairBlock, Matrix::fromRows({{0.0039458635, -0.0175561958}, {0.0202137886, -0.0035698275}}));
    expectDecimals(b.mirrorBlock, Matrix::fromRows({{0.0025756462, 0.0134076144}, {-0.0117453622, -0.0024295740}}));
}

TEST(PairBlocks, KernelSymmetries) {
    // A source below the field conductor gives the same entries as one above it.
    const PairBlocks up = pairBlocks(model({0.2, 0.3}, {0, 1.0}, {0, 0.5}, {3, 4}), 0, 1);
    const PairBlocks down = pairBlocks(model({0.2, 0.3}, {0, 1.0}, {0.5, 0}, {3, 4}), 0, 1);
    expectRelative(down.pairBlock, up.pairBlock, 1e-14);
    expectRelative(down.mirrorBlock, up.mirrorBlock, 1e-14);
    // Equal segment widths: the mirror block is the transpose of the pair block.
    const PairBlocks equal = pairBlocks(model({1, 1}, {0, 3}, {0, 0.25}, {5, 5}), 0, 1);
    expectRelative(equal.mirrorBlock, transpose(equal.pairBlock), 1e-13);
}

TEST(PairBlocks, EntriesAreTheKernelIntegralOverTheSourceSegment) {
    // −∫ ln √(u² + d²) du over the source segment by the midpoint rule.
    const ConductorModel m = model({0.2, 0.3}, {0, 1.0}, {0, 0.5}, {2, 2});
    const PairBlocks blocks = pairBlocks(m, 0, 1);
    const Matrix x = separation(m, 0, 1);
    for (std::size_t r = 0; r < 2; ++r)
        for (std::size_t c = 0; c < 2; ++c) {
            double integral = 0;
            const int steps = 20000;
            const double a = 0.075;
            for (int s = 0; s < steps; ++s) {
                const double u = x(r, c) - a + (s + 0.5) * 2 * a / steps;
                integral -= 0.5 * std::log(u * u + 0.25) * 2 * a / steps;
            }
            EXPECT_NEAR(blocks.pairBlock(r, c), integral, 1e-10);
        }
}

// The closed forms written literally over whole matrices, as one would on paper, to hold the
// loops of the assembly to the same values and the same order of operations.
Matrix literalSelfBlock(std::size_t n, double h) {
    Matrix block = diagonal(ones(1, n)) * selfTerm(h);
    if (n > 1) {
        const Matrix q = colon(1, double(n) - 1);
        const Matrix terms = h * ((times(q + 0.5, log(q * h + h * 0.5)) - times(q - 0.5, log(q * h - h * 0.5))) - 1.0);
        for (std::size_t r = 1; r < n; ++r)
            for (std::size_t c = r; c < n; ++c) block(r - 1, c) = terms[c - r];
        block = block + transpose(upperPart(block));
    }
    return -block;
}

PairBlocks literalPairBlocks(const ConductorModel& m, std::size_t i, std::size_t j) {
    const std::size_t ni = m.segmentCount(i), nj = m.segmentCount(j);
    const Matrix p = multiply(ones(ni, 1), colon(1, double(nj)) - 0.5);
    const Matrix q = multiply(transpose(colon(1, double(ni)) - 0.5), ones(1, nj));
    const Matrix x = ((p * m.segmentWidths[j] - q * m.segmentWidths[i]) + (m.conductorX[j] - m.conductorX[i])) +
                     (m.conductorWidths[i] - m.conductorWidths[j]) * 0.5;
    const double d = m.conductorY[j] - m.conductorY[i];
    auto integral = [&](double half) {
        const Matrix near = x - half, far = x + half;
        if (d != 0) {
            const Matrix first = (times(near, log(times(near, near) + d * d)) - near * 2.0) + (2.0 * d) * atan(near / d);
            const Matrix second = (times(far, log(times(far, far) + d * d)) - far * 2.0) + (2.0 * d) * atan(far / d);
            return first - second;
        }
        return (times(near, log(times(near, near))) - near * 2.0) - (times(far, log(times(far, far))) - far * 2.0);
    };
    return {integral(m.segmentWidths[j] * 0.5) * 0.5, 0.5 * transpose(integral(m.segmentWidths[i] * 0.5))};
}

// On the scalar path every entry equals the literal formulation bit for bit (same functions,
// same order); the vector paths take other logarithms and arctangents, each within a few units
// in the last place, so an entry may move by a few units in the last place of the largest of
// the antiderivative's terms, u·ln(u² + d²) at the far edge and 2·d·atan, that it is the
// difference of.
class SystemMatrix : public OnEachMathPath {
protected:
    static double termSize(double x, double half, double d) {
        const double u = std::fabs(x) + half;
        return u * (std::fabs(std::log(u * u + d * d)) + 2.0) + 4.0 * std::fabs(d);
    }
    void expectEntry(double stored, double literal, double size, const char* what, std::size_t i, std::size_t j) const {
        if (GetParam() == MathPath::scalar) ASSERT_EQ(stored, literal) << what << " " << i << j;
        else ASSERT_NEAR(stored, literal, 16 * std::numeric_limits<double>::epsilon() * size) << what << " " << i << j;
    }
};

TEST_P(SystemMatrix, EveryBlockEqualsTheLiteralFormulation) {
    for (const ConductorModel& m :
         {model({10, 1, 1}, {0, -1.5, 1.5}, {0, 1, 1}, {85, 50, 50}),
          model({1, 1}, {0, 3}, {0, 0}, {102, 102}),
          model({0.01, 1, 1}, {0, -1.5, 1.5}, {0, -1, -1}, {50, 52, 52}),
          model({3, 0.7, 0.7}, {0, -2.35, 2.35}, {0, 0, 0}, {50, 50, 50})}) {
        const Matrix system = assembleSystemMatrix(m);
        ASSERT_EQ(system.rows(), m.totalSegments());
        for (std::size_t i = 0; i < m.conductorCount(); ++i) {
            const SegmentRange ri = m.segmentRange(i);
            const Matrix self = literalSelfBlock(ri.count, m.segmentWidths[i]);
            const Matrix stored = system.block(ri.first, ri.count, ri.first, ri.count);
            for (std::size_t k = 0; k < self.size(); ++k) ASSERT_EQ(stored[k], self[k]) << "self " << i;
            for (std::size_t j = i + 1; j < m.conductorCount(); ++j) {
                const SegmentRange rj = m.segmentRange(j);
                const PairBlocks literal = literalPairBlocks(m, i, j);
                const Matrix pair = system.block(ri.first, ri.count, rj.first, rj.count);
                const Matrix mirror = system.block(rj.first, rj.count, ri.first, ri.count);
                const Matrix x = separation(m, i, j);
                const double d = m.conductorY[j] - m.conductorY[i];
                for (std::size_t c = 0; c < rj.count; ++c)
                    for (std::size_t r = 0; r < ri.count; ++r) {
                        expectEntry(pair(r, c), literal.pairBlock(r, c), termSize(x(r, c), m.segmentWidths[j] * 0.5, d),
                                    "pair", i, j);
                        expectEntry(mirror(c, r), literal.mirrorBlock(c, r),
                                    termSize(x(r, c), m.segmentWidths[i] * 0.5, d), "mirror", i, j);
                    }
            }
        }
        for (std::size_t k = 0; k < system.size(); ++k) ASSERT_TRUE(std::isfinite(system[k]));
    }
}

PLATTOR_INSTANTIATE_ON_EACH_MATH_PATH(SystemMatrix);

}  // namespace
}  // namespace plattor
