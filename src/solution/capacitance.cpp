#include "solution/capacitance.hpp"

#include <numbers>
#include <utility>

#include "matrix/error.hpp"
#include "matrix/linalg.hpp"
#include "matrix/text.hpp"

namespace plattor {

Matrix invertSystemMatrix(const Matrix& systemMatrix) { return invertSystemMatrix(Matrix(systemMatrix)); }

Matrix invertSystemMatrix(Matrix&& systemMatrix) {
    try {
        return inverse(std::move(systemMatrix));
    } catch (const RunError& e) {
        throw RunError(systemSolveFailure + std::string(e.what()));
    }
}

namespace {

// Sum of all entries of a block of the inverse, column sums first.
double chargeBlockSum(const Matrix& inverseSystem, SegmentRange rows, SegmentRange cols) {
    double blockTotal = 0.0;
    for (std::size_t c = cols.first; c < cols.first + cols.count; ++c) {
        const double* column = inverseSystem.column(c);
        double columnSum = 0.0;
        for (std::size_t r = rows.first; r < rows.first + rows.count; ++r) columnSum += column[r];
        blockTotal += columnSum;
    }
    return blockTotal;
}

}  // namespace

Matrix generalizedCapacitance(const Matrix& inverseSystem, const ConductorModel& model) {
    const std::size_t n = model.conductorCount();
    Matrix g(n, n);
    // Column c of the inverse holds the segment charge densities (in units of 2π ε0) that put
    // potential 1 on segment c and 0 elsewhere; summing the columns of conductor l raises all
    // of l to 1, summing the rows of conductor k and multiplying by its segment width gives
    // k's charge per unit length.
    for (std::size_t k = 0; k < n; ++k) {
        const SegmentRange rk = model.segmentRange(k);
        g(k, k) = model.segmentWidths[k] * chargeBlockSum(inverseSystem, rk, rk);
        for (std::size_t l = k + 1; l < n; ++l) {
            const SegmentRange rl = model.segmentRange(l);
            g(k, l) = model.segmentWidths[k] * chargeBlockSum(inverseSystem, rk, rl);
            g(l, k) = model.segmentWidths[l] * chargeBlockSum(inverseSystem, rl, rk);
        }
    }
    for (std::size_t e = 0; e < g.size(); ++e) g[e] = inFaradPerMetre(g[e]);
    return g;
}

Matrix reduceCapacitance(const Matrix& generalized, std::size_t referenceConductor) {
    if (generalized.rows() != generalized.cols())
        throw RunError("The Generalized Capacitance matrix must be square");
    const std::size_t n = generalized.rows();
    // Every conductor whose index differs from the reference.
    const std::vector<std::size_t> kept =
        find(colon(0.0, static_cast<double>(n) - 1.0) - static_cast<double>(referenceConductor));

    const Matrix rowTotals = transpose(sum(transpose(generalized)));  // n×1
    const Matrix columnTotals = sum(generalized);                      // 1×n
    const Matrix outer = multiply(rowTotals, columnTotals);
    const double grandTotal = total(generalized);

    Matrix maxwell(kept.size(), kept.size());
    for (std::size_t j = 0; j < kept.size(); ++j)
        for (std::size_t i = 0; i < kept.size(); ++i)
            maxwell(i, j) = generalized(kept[i], kept[j]) - outer(kept[i], kept[j]) / grandTotal;
    return maxwell;
}

Matrix partialCapacitance(const Matrix& maxwell) {
    const Matrix onDiagonal = diagonal(diagonal(maxwell));
    const Matrix rowSums = diagonal(sum(transpose(maxwell)));
    return ((-maxwell) + onDiagonal) + rowSums;
}

std::vector<std::string> reportLines(const Matrix& partial, bool groundPlaneCase) {
    constexpr double picofarad = 1e12;
    Matrix stripStrip;
    Matrix stripGround;  // stays empty without a ground plane
    if (groundPlaneCase) {
        stripStrip = Matrix::scalar(partial(0, 1));
        stripGround = Matrix::scalar(partial(0, 0));
    } else {
        stripStrip = partial;
    }
    return {
        " ",
        "Resultat:",
        "Delkapacitans mellan plattorna: " + numberText(stripStrip * picofarad) + " pF",
        "Kapacitans mellan en platta och jordplanet: " + numberText(stripGround * picofarad) + " pF",
        " ",
    };
}

}  // namespace plattor
