#include "solution/line_parameters.hpp"

#include <cmath>
#include <string>

#include "assembly/assembly.hpp"
#include "matrix/error.hpp"
#include "matrix/linalg.hpp"
#include "solution/capacitance.hpp"

namespace plattor {

double freeSpaceLightSpeed() { return 1.0 / std::sqrt(vacuumPermeability * vacuumPermittivity); }

Matrix solvedGeneralizedCapacitance(const ConductorModel& model) {
    const std::size_t n = model.conductorCount();
    LuFactors factors;
    try {
        factors = luFactor(assembleSystemMatrix(model));
    } catch (const RunError& e) {
        throw RunError(systemSolveFailure + std::string(e.what()));
    }
    Matrix raised(model.totalSegments(), n);
    for (std::size_t l = 0; l < n; ++l) {
        const SegmentRange r = model.segmentRange(l);
        for (std::size_t s = r.first; s < r.first + r.count; ++s) raised(s, l) = 1.0;
    }
    const Matrix densities = luSolve(factors, std::move(raised));

    Matrix g(n, n);
    for (std::size_t l = 0; l < n; ++l) {
        const double* x = densities.column(l);
        for (std::size_t k = 0; k < n; ++k) {
            const SegmentRange r = model.segmentRange(k);
            double charge = 0.0;
            for (std::size_t s = r.first; s < r.first + r.count; ++s) charge += x[s];
            g(k, l) = inFaradPerMetre(model.segmentWidths[k] * charge);
            if (!std::isfinite(g(k, l)))
                throw RunError(std::string(systemSolveFailure) +
                               "the solution has a non-finite entry: the matrix is too ill-conditioned");
        }
    }
    return g;
}

Matrix reducedCapacitance(const ConductorModel& model) {
    return reduceCapacitance(solvedGeneralizedCapacitance(model), 0);
}

LineValues lineValues(const Matrix& reduced) {
    using Q = LineQuantity;
    const double c0 = freeSpaceLightSpeed();
    const Matrix partial = partialCapacitance(reduced);
    LineValues v;
    if (reduced.rows() == 2) {
        const double stripStrip = partial(0, 1);
        const double stripGround = partial(0, 0);
        v[Q::stripToStripCapacitance] = stripStrip;
        v[Q::stripToGroundCapacitance] = stripGround;
        v[Q::maxwell11] = reduced(0, 0);
        v[Q::maxwell12] = reduced(0, 1);
        v[Q::maxwell21] = reduced(1, 0);
        v[Q::maxwell22] = reduced(1, 1);
        // Even mode: both strips at +1, no field between them. Odd mode: ±1, each strip also
        // sees the other at −1, twice its partial capacitance to it.
        const double even = stripGround;
        const double odd = stripGround + 2.0 * stripStrip;
        const double zEven = 1.0 / (c0 * even);
        const double zOdd = 1.0 / (c0 * odd);
        v[Q::evenModeCapacitance] = even;
        v[Q::oddModeCapacitance] = odd;
        v[Q::evenModeImpedance] = zEven;
        v[Q::oddModeImpedance] = zOdd;
        v[Q::differentialImpedance] = 2.0 * zOdd;
        v[Q::commonModeImpedance] = zEven / 2.0;
        v[Q::couplingCoefficient] = (zEven - zOdd) / (zEven + zOdd);
    } else {
        // Without a plane the pair is neutral: the charges are ±C·(V2 − V1).
        const double c = partial(0, 0);
        v[Q::stripToStripCapacitance] = c;
        v[Q::maxwell11] = c;
        v[Q::maxwell12] = -c;
        v[Q::maxwell21] = -c;
        v[Q::maxwell22] = c;
        v[Q::lineImpedance] = 1.0 / (c0 * c);
    }
    return v;
}

LineParameters lineParameters(const ConductorModel& model) {
    LineParameters p;
    p.groundPlaneCase = model.conductorCount() == 3;
    p.segmentCounts = {model.segmentCounts, model.segmentCounts * 2.0, model.segmentCounts * 4.0};
    const Matrix atN = reducedCapacitance(model);
    const Matrix at2N = reducedCapacitance(withSegmentCounts(model, p.segmentCounts[1]));
    const Matrix at4N = reducedCapacitance(withSegmentCounts(model, p.segmentCounts[2]));
    // The reported capacitances are linear in the reduced matrix, so extrapolating the matrix
    // extrapolates them; the impedances are not, and come from the extrapolated capacitances.
    const LineValues fine = lineValues(at4N * 2.0 - at2N);
    const LineValues coarse = lineValues(at2N * 2.0 - atN);
    p.atN = lineValues(atN);
    p.converged = fine;
    for (std::size_t k = 0; k < lineQuantityCount; ++k) {
        const auto q = static_cast<LineQuantity>(k);
        p.error[q] = 3.0 * std::fabs(fine[q] - coarse[q]);
        p.errorAtN[q] = std::fabs(fine[q] - p.atN[q]) + p.error[q];
    }
    return p;
}

}  // namespace plattor
