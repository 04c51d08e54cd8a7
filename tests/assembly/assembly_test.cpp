// The blocks of the moment-method matrix: worked values, a literal entry-by-entry formulation
// of the same closed forms, and the symmetries of the kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "moment/assembly/assembly.hpp"
#include "matrix/matrix.hpp"
#include "support/matrices.hpp"
#include "support/math_paths.hpp"

namespace plattor {
namespace {

using testing::block;
using testing::fromRows;

// Entries within absolute + relative·|expected|; the worked blocks are given to ten decimals,
// so they agree to half a unit of the last one (absolute 5e-11).
void expectEntries(const Matrix& actual, const Matrix& expected, double absolute, double relative) {
    ASSERT_EQ(actual.rows(), expected.rows());
    ASSERT_EQ(actual.cols(), expected.cols());
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(actual[k], expected[k], absolute + relative * std::fabs(expected[k])) << "element " << k;
}

ConductorModel model(std::vector<double> widths, std::vector<double> x, std::vector<double> y,
                     std::vector<std::size_t> counts) {
    ConductorModel m{std::move(widths), std::move(x), std::move(y), std::move(counts), {}};
    for (std::size_t k = 0; k < m.conductorCount(); ++k)
        m.segmentWidths.push_back(m.conductorWidths[k] / static_cast<double>(m.segmentCounts[k]));
    return m;
}

// The blocks of conductors i < j as stored in the system matrix: pair (field points on i,
// sources on j) and mirror (field points on j, sources on i).
struct Blocks {
    Matrix pair, mirror;
};

Blocks pairBlocks(const ConductorModel& m, std::size_t i, std::size_t j) {
    const Matrix system = assembleSystemMatrix(m);
    const SegmentRange ri = m.segmentRange(i), rj = m.segmentRange(j);
    return {block(system, ri.first, ri.count, rj.first, rj.count), block(system, rj.first, rj.count, ri.first, ri.count)};
}

TEST(SelfBlock, WorkedExampleOfThreeSegments) {
    EXPECT_NEAR(selfTerm(0.1), -0.39957322735539913, 1e-16);
    // A lone conductor: its system matrix is its self block, −neighbourTerms off the diagonal.
    const double d = 0.39957322735539913, n1 = 0.2347813840551826, n2 = 0.16200559254709052;
    expectEntries(assembleSystemMatrix(model({0.3}, {0}, {0}, {3})), fromRows({{d, n1, n2}, {n1, d, n1}, {n2, n1, d}}), 0,
                  1e-12);
    const Matrix single = assembleSystemMatrix(model({0.1}, {5}, {2}, {1}));
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0], -selfTerm(0.1));
}

TEST(SelfBlock, NeighbourTermsAreTheKernelIntegral) {
    // ∫ ln u du over (q − ½)h … (q + ½)h by the midpoint rule on a fine subdivision.
    const double h = 0.37;
    const std::vector<double> terms = neighbourTerms(6, h);
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
    const Blocks a = pairBlocks(model({0.2, 0.3}, {0, 1.0}, {0, 0.5}, {2, 2}), 0, 1);
    expectEntries(a.pair, fromRows({{-0.0136448728, -0.0311249283}, {-0.0010926302, -0.0196468471}}), 5e-11, 0);
    expectEntries(a.mirror, fromRows({{-0.0091218680, -0.0007543956}, {-0.0207729741, -0.0131225301}}), 5e-11, 0);

    const Blocks b = pairBlocks(model({0.2, 0.3}, {0, 1.0}, {0, 0}, {2, 2}), 0, 1);
    expectEntries(b.pair, fromRows({{0.0039458635, -0.0175561958}, {0.0202137886, -0.0035698275}}), 5e-11, 0);
    expectEntries(b.mirror, fromRows({{0.0025756462, 0.0134076144}, {-0.0117453622, -0.0024295740}}), 5e-11, 0);
}

TEST(PairBlocks, KernelSymmetries) {
    // A source below the field conductor gives the same entries as one above it.
    const Blocks up = pairBlocks(model({0.2, 0.3}, {0, 1.0}, {0, 0.5}, {3, 4}), 0, 1);
    const Blocks down = pairBlocks(model({0.2, 0.3}, {0, 1.0}, {0.5, 0}, {3, 4}), 0, 1);
    expectEntries(down.pair, up.pair, 0, 1e-14);
    expectEntries(down.mirror, up.mirror, 0, 1e-14);
    // Equal segment widths: the system matrix is symmetric.
    const Matrix equal = assembleSystemMatrix(model({1, 1}, {0, 3}, {0, 0.25}, {5, 5}));
    for (std::size_t j = 0; j < equal.cols(); ++j)
        for (std::size_t i = 0; i < j; ++i) EXPECT_NEAR(equal(i, j), equal(j, i), 1e-13 * std::fabs(equal(i, j)));
}

TEST(PairBlocks, EntriesAreTheKernelIntegralOverTheSourceSegment) {
    // −∫ ln √(u² + d²) du over the source segment by the midpoint rule, u measured from the
    // field point at the centre of segment r of conductor 0.
    const ConductorModel m = model({0.2, 0.3}, {0, 1.0}, {0, 0.5}, {2, 2});
    const Blocks blocks = pairBlocks(m, 0, 1);
    const std::vector<double> field = m.segmentCentres(0), sources = m.segmentCentres(1);
    for (std::size_t r = 0; r < 2; ++r)
        for (std::size_t c = 0; c < 2; ++c) {
            double integral = 0;
            const int steps = 20000;
            const double a = 0.075;
            for (int s = 0; s < steps; ++s) {
                const double u = (sources[c] - field[r]) - a + (s + 0.5) * 2 * a / steps;
                integral -= 0.5 * std::log(u * u + 0.25) * 2 * a / steps;
            }
            EXPECT_NEAR(blocks.pair(r, c), integral, 1e-10);
        }
}

// The closed forms written literally for one entry, as one would on paper: the self term,
// and twice the antiderivative, u·ln(u² + d²) − 2u + 2d·atan(u/d), halved at the end. The
// loops of the assembly must reach the same values in the same order of operations.
double literalSelfEntry(std::size_t a, std::size_t b, double h) {
    if (a == b) return -(h * (std::log(h * 0.5) - 1.0));
    const double q = static_cast<double>(a > b ? a - b : b - a);
    return -(h * (((q + 0.5) * std::log(q * h + h * 0.5) - (q - 0.5) * std::log(q * h - h * 0.5)) - 1.0));
}

// x the offset of the source segment's centre from the field point, `half` its half width.
double literalPairEntry(double x, double half, double d) {
    const double near = x - half, far = x + half;
    if (d != 0) {
        const double first = (near * std::log(near * near + d * d) - near * 2.0) + (2.0 * d) * std::atan(near / d);
        const double second = (far * std::log(far * far + d * d) - far * 2.0) + (2.0 * d) * std::atan(far / d);
        return (first - second) * 0.5;
    }
    return ((near * std::log(near * near) - near * 2.0) - (far * std::log(far * far) - far * 2.0)) * 0.5;
}

// The offset from field segment r of conductor i to source segment c of conductor j, as the
// assembly takes it.
double literalOffset(const ConductorModel& m, std::size_t i, std::size_t j, std::size_t r, std::size_t c) {
    const double p = static_cast<double>(c + 1) - 0.5, q = static_cast<double>(r + 1) - 0.5;
    return ((p * m.segmentWidths[j] - q * m.segmentWidths[i]) + (m.conductorX[j] - m.conductorX[i])) +
           (m.conductorWidths[i] - m.conductorWidths[j]) * 0.5;
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
            for (std::size_t b = 0; b < ri.count; ++b)
                for (std::size_t a = 0; a < ri.count; ++a)
                    ASSERT_EQ(system(ri.first + a, ri.first + b), literalSelfEntry(a, b, m.segmentWidths[i])) << "self " << i;
            for (std::size_t j = i + 1; j < m.conductorCount(); ++j) {
                const SegmentRange rj = m.segmentRange(j);
                const double d = m.conductorY[j] - m.conductorY[i];
                const double a = m.segmentWidths[j] * 0.5, b = m.segmentWidths[i] * 0.5;
                for (std::size_t c = 0; c < rj.count; ++c)
                    for (std::size_t r = 0; r < ri.count; ++r) {
                        const double x = literalOffset(m, i, j, r, c);
                        expectEntry(system(ri.first + r, rj.first + c), literalPairEntry(x, a, d), termSize(x, a, d),
                                    "pair", i, j);
                        expectEntry(system(rj.first + c, ri.first + r), literalPairEntry(x, b, d), termSize(x, b, d),
                                    "mirror", i, j);
                    }
            }
        }
        for (std::size_t k = 0; k < system.size(); ++k) ASSERT_TRUE(std::isfinite(system[k]));
    }
}

PLATTOR_INSTANTIATE_ON_EACH_MATH_PATH(SystemMatrix);

}  // namespace
}  // namespace plattor
