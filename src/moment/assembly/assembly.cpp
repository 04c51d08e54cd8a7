#include "moment/assembly/assembly.hpp"

#include <cmath>
#include <vector>

#include "matrix/vector_math.hpp"

namespace plattor {

double selfTerm(double h) { return h * (std::log(h * 0.5) - 1.0); }

std::vector<double> neighbourTerms(std::size_t n, double h) {
    std::vector<double> terms(n > 0 ? n - 1 : 0);
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
    const std::vector<double> terms = neighbourTerms(n, h);
    const double diagonal = -selfTerm(h);
    for (std::size_t b = 0; b < n; ++b) {
        double* column = out.column(b);
        for (std::size_t a = 0; a < n; ++a) {
            const std::size_t q = a > b ? a - b : b - a;
            column[a] = q == 0 ? diagonal : -terms[q - 1];
        }
    }
}

// The offset from field point m of conductor i to source s of conductor j, in its fixed order
// of operations (see assembleSystemMatrix).
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

// F(u0 − a) − F(u0 + a) = −∫ ln √(u² + d²) du over a source segment of half width a whose
// centre lies at horizontal offset u0 and vertical offset d from the field point, with the
// antiderivative F(u) = 0.5·u·ln(u² + d²) − u + d·atan(u/d); for d = 0 (a source on the field
// point's own line) the arctangent term vanishes and the logarithm of the square keeps it real
// on either side. For every offset of a column at once: the logarithms and arctangents of the
// column are taken by one call each, and every entry is then combined as it would be alone.
class SegmentIntegrals {
public:
    explicit SegmentIntegrals(std::size_t rows) : logs_(2 * rows), atans_(2 * rows), values_(rows) {}

    // values()[m] = F(u0[m] − a) − F(u0[m] + a) for m < n.
    void compute(const double* u0, std::size_t n, double a, double d) {
        const double d2 = d * d;
        double* logNear = logs_.data();
        double* logFar = logs_.data() + n;
        for (std::size_t m = 0; m < n; ++m) {
            const double near = u0[m] - a;
            const double far = u0[m] + a;
            logNear[m] = near * near + d2;
            logFar[m] = far * far + d2;
        }
        logInPlace(logs_.data(), 2 * n);
        double* atanNear = atans_.data();
        double* atanFar = atans_.data() + n;
        if (d != 0.0) {
            for (std::size_t m = 0; m < n; ++m) {
                atanNear[m] = (u0[m] - a) / d;
                atanFar[m] = (u0[m] + a) / d;
            }
            atanInPlace(atans_.data(), 2 * n);
        }
        for (std::size_t m = 0; m < n; ++m) {
            const double near = u0[m] - a;
            const double far = u0[m] + a;
            double fNear = 0.5 * near * logNear[m] - near;
            double fFar = 0.5 * far * logFar[m] - far;
            if (d != 0.0) {
                fNear += d * atanNear[m];
                fFar += d * atanFar[m];
            }
            values_[m] = fNear - fFar;
        }
    }
    const double* values() const { return values_.data(); }

private:
    std::vector<double> logs_;
    std::vector<double> atans_;
    std::vector<double> values_;
};

// The pair block of conductors i < j written into the window `pair` and the mirror block into
// `mirror`. The kernel depends on the offset only through its magnitude, so the mirror block
// (field points on j, sources on i at offset −X) uses X itself and is stored transposed.
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
        for (std::size_t m = 0; m < ni; ++m) pairColumn[m] = integrals.values()[m];
        if (!sameWidths) integrals.compute(offsets.data(), ni, b, d);
        for (std::size_t m = 0; m < ni; ++m) mirror(s, m) = integrals.values()[m];
    }
}

}  // namespace

Matrix assembleSystemMatrix(const ConductorModel& model) {
    const std::size_t n = model.conductorCount();
    Matrix system(model.totalSegments(), model.totalSegments());
    const MatrixView all = system.view();
    for (std::size_t i = 0; i < n; ++i) {
        const SegmentRange ri = model.segmentRange(i);
        fillSelfBlock(ri.count, model.segmentWidths[i], all.at(ri.first, ri.first));
        for (std::size_t j = i + 1; j < n; ++j) {
            const SegmentRange rj = model.segmentRange(j);
            fillPairBlocks(model, i, j, all.at(ri.first, rj.first), all.at(rj.first, ri.first));
        }
    }
    return system;
}

}  // namespace plattor
