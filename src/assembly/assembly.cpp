#include "assembly/assembly.hpp"

#include <cmath>
#include <vector>

#include "matrix/vector_math.hpp"

namespace plattor {

double selfTerm(double h) { return h * (std::log(h * 0.5) - 1.0); }

Matrix neighbourTerms(std::size_t n, double h) {
    Matrix terms(1, n > 0 ? n - 1 : 0);
    for (std::size_t k = 0; k < terms.size(); ++k) {
        const double q = static_cast<double>(k + 1);
        // Antiderivative u·ln u − u between the near and the far edge of the source segment.
        const double far = std::log(q * h + h * 0.5);
        const double near = std::log(q * h - h * 0.5);
        terms[k] = h * (((q + 0.5) * far - (q - 0.5) * near) - 1.0);
    }
    return terms;
}

namespace {

// The self block written into the window `out`.
void fillSelfBlock(std::size_t n, double h, MatrixView out) {
    const Matrix terms = neighbourTerms(n, h);
    const double diagonal = -selfTerm(h);
    for (std::size_t b = 0; b < n; ++b) {
        double* column = out.column(b);
        for (std::size_t a = 0; a < n; ++a) {
            const std::size_t q = a > b ? a - b : b - a;
            column[a] = q == 0 ? diagonal : -terms[q - 1];
        }
    }
}

}  // namespace

Matrix selfBlock(std::size_t n, double h) {
    Matrix block(n, n);
    fillSelfBlock(n, h, block.view());
    return block;
}

namespace {

// X(m, s) of the pair (i, j), in its fixed order of operations.
struct Separation {
    double hi, hj, dx, edgeShift;

    Separation(const ConductorModel& model, std::size_t i, std::size_t j)
        : hi(model.segmentWidths[i]),
          hj(model.segmentWidths[j]),
          dx(model.conductorX[j] - model.conductorX[i]),
          edgeShift((model.conductorWidths[i] - model.conductorWidths[j]) * 0.5) {}

    double operator()(std::size_t m, std::size_t s) const {
        const double p = static_cast<double>(s + 1) - 0.5;
        const double q = static_cast<double>(m + 1) - 0.5;
        return ((p * hj - q * hi) + dx) + edgeShift;
    }
};

}  // namespace

Matrix separation(const ConductorModel& model, std::size_t i, std::size_t j) {
    const Separation offset(model, i, j);
    Matrix x(model.segmentCount(i), model.segmentCount(j));
    for (std::size_t s = 0; s < x.cols(); ++s)
        for (std::size_t m = 0; m < x.rows(); ++m) x(m, s) = offset(m, s);
    return x;
}

namespace {

// F(u0 − a) − F(u0 + a) = −∫ ln √(u² + d²) du over a source segment of half width a whose
// centre lies at horizontal offset u0 and vertical offset d from the field point, with the
// antiderivative F(u) = 0.5·u·ln(u² + d²) − u + d·atan(u/d); for d = 0 (a source on the field
// point's own line) the arctangent term vanishes and the logarithm of the square keeps it real
// on either side. Doubled (the caller halves it) for every offset of a column at once: the
// logarithms and arctangents of the column are taken by one call each, and every entry is then
// combined in the same order as it would be alone.
class SegmentIntegrals {
public:
    explicit SegmentIntegrals(std::size_t rows) : logs_(2 * rows), atans_(2 * rows), doubled_(rows) {}

    // doubled()[m] = F(u0[m] − a) − F(u0[m] + a), times 2, for m < n.
    void compute(const double* u0, std::size_t n, double a, double d) {
        const double d2 = d * d;
        const double twoD = 2.0 * d;
        double* logNear = logs_.data();
        double* logFar = logs_.data() + n;
        for (std::size_t m = 0; m < n; ++m) {
            const double near = u0[m] - a;
            const double far = u0[m] + a;
            logNear[m] = near * near + d2;
            logFar[m] = far * far + d2;
        }
        logInPlace(logs_.data(), 2 * n);
        if (d != 0.0) {
            double* atanNear = atans_.data();
            double* atanFar = atans_.data() + n;
            for (std::size_t m = 0; m < n; ++m) {
                atanNear[m] = (u0[m] - a) / d;
                atanFar[m] = (u0[m] + a) / d;
            }
            atanInPlace(atans_.data(), 2 * n);
            for (std::size_t m = 0; m < n; ++m) {
                const double near = u0[m] - a;
                const double far = u0[m] + a;
                const double first = (near * logNear[m] - near * 2.0) + twoD * atanNear[m];
                const double second = (far * logFar[m] - far * 2.0) + twoD * atanFar[m];
                doubled_[m] = first - second;
            }
        } else {
            for (std::size_t m = 0; m < n; ++m) {
                const double near = u0[m] - a;
                const double far = u0[m] + a;
                const double first = near * logNear[m] - near * 2.0;
                const double second = far * logFar[m] - far * 2.0;
                doubled_[m] = first - second;
            }
        }
    }
    const double* doubled() const { return doubled_.data(); }

private:
    std::vector<double> logs_;
    std::vector<double> atans_;
    std::vector<double> doubled_;
};

// The pair block written into the window `pair` and the mirror block into `mirror`.
void fillPairBlocks(const ConductorModel& model, std::size_t i, std::size_t j, MatrixView pair, MatrixView mirror) {
    const std::size_t ni = model.segmentCount(i);
    const std::size_t nj = model.segmentCount(j);
    const Separation offset(model, i, j);
    const double a = model.segmentWidths[j] * 0.5;  // half width of the sources on j
    const double b = model.segmentWidths[i] * 0.5;  // half width of the sources on i
    const double d = model.conductorY[j] - model.conductorY[i];
    // With equal segment widths the mirror entry is the same function of the same offset as
    // the pair entry, bit for bit, and is copied rather than computed again.
    const bool sameWidths = a == b;
    std::vector<double> offsets(ni);
    SegmentIntegrals integrals(ni);
    for (std::size_t s = 0; s < nj; ++s) {
        for (std::size_t m = 0; m < ni; ++m) offsets[m] = offset(m, s);
        double* pairColumn = pair.column(s);
        integrals.compute(offsets.data(), ni, a, d);
        for (std::size_t m = 0; m < ni; ++m) pairColumn[m] = integrals.doubled()[m] * 0.5;
        if (sameWidths) {
            for (std::size_t m = 0; m < ni; ++m) mirror(s, m) = pairColumn[m];
        } else {
            integrals.compute(offsets.data(), ni, b, d);
            for (std::size_t m = 0; m < ni; ++m) mirror(s, m) = 0.5 * integrals.doubled()[m];
        }
    }
}

}  // namespace

PairBlocks pairBlocks(const ConductorModel& model, std::size_t i, std::size_t j) {
    const std::size_t ni = model.segmentCount(i);
    const std::size_t nj = model.segmentCount(j);
    PairBlocks blocks{Matrix(ni, nj), Matrix(nj, ni)};
    fillPairBlocks(model, i, j, blocks.pairBlock.view(), blocks.mirrorBlock.view());
    return blocks;
}

Matrix assembleSystemMatrix(const ConductorModel& model) {
    const std::size_t n = model.conductorCount();
    const std::size_t size = model.totalSegments();
    Matrix system(size, size);
    // Every block is written in place; the kernel depends on the offset only through its
    // magnitude, so the mirror block (field points on j, sources on i at offset −X) uses X
    // itself and is stored transposed.
    for (std::size_t i = 0; i < n; ++i) {
        const SegmentRange ri = model.segmentRange(i);
        const MatrixView all = system.view();
        fillSelfBlock(ri.count, model.segmentWidths[i], all.at(ri.first, ri.first));
        for (std::size_t j = i + 1; j < n; ++j) {
            const SegmentRange rj = model.segmentRange(j);
            fillPairBlocks(model, i, j, all.at(ri.first, rj.first), all.at(rj.first, ri.first));
        }
    }
    return system;
}

}  // namespace plattor
