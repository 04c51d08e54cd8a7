#include "solution/solved_capacitance.hpp"

#include <cmath>
#include <string>

#include "assembly/assembly.hpp"
#include "matrix/error.hpp"
#include "matrix/linalg.hpp"
#include "solution/capacitance.hpp"

namespace plattor {

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

}  // namespace plattor
