#include "solution/capacitance.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "assembly/assembly.hpp"
#include "matrix/error.hpp"
#include "matrix/linalg.hpp"
#include "matrix/text.hpp"
#include "matrix/vector_math.hpp"

namespace plattor {

namespace {

// Total charge, in units of 2π ε0, with every conductor at potential 1: Σ G, the inverse of
// −ln(capacity/unit), capacity the logarithmic capacity of the whole arrangement. It grows
// without bound as the capacity nears one unit of length, where the logarithmic kernel makes
// the system singular.
double totalChargeAtUnitPotential(const Matrix& generalized) {
    return total(generalized) / inFaradPerMetre(1.0);
}

// A total beyond this (a capacity within about 1.6 % of the unit length) sends the solve to a
// unit of length far from the singular one. Below it the default unit loses at most two of
// its sixteen digits to the reduction's cancellation.
constexpr double nearlySingularTotal = 64.0;

// A power of two at least four times the sum of the arrangement's extents in x and y. The
// logarithmic capacity of a set is at most half its diameter, so in this unit it is below
// 1/8: −ln(capacity) > 2, far from the singular 0, and the scaling is exact.
double safeUnitLength(const ConductorModel& model) {
    double left = 0.0, right = 0.0, bottom = 0.0, top = 0.0;
    for (std::size_t k = 0; k < model.conductorCount(); ++k) {
        const double half = model.conductorWidths[k] * 0.5;
        const double l = model.conductorX[k] - half, r = model.conductorX[k] + half, y = model.conductorY[k];
        left = k == 0 ? l : std::fmin(left, l);
        right = k == 0 ? r : std::fmax(right, r);
        bottom = k == 0 ? y : std::fmin(bottom, y);
        top = k == 0 ? y : std::fmax(top, y);
    }
    int exponent = 0;
    std::frexp(4.0 * ((right - left) + (top - bottom)), &exponent);
    return std::ldexp(1.0, exponent);
}

// G and the excitation's charges from one LU factorisation of `system`, the moment-method
// matrix of `model`: one solve for ones on each conductor's segments, one for the excitation.
SystemSolution solveInUnit(Matrix system, const ConductorModel& model, const Matrix& excitation) {
    const std::size_t n = model.conductorCount();
    const std::size_t m = model.totalSegments();
    assert(excitation.empty() || (excitation.rows() == m && excitation.cols() == 1));
    LuFactors factors;
    try {
        factors = luFactor(std::move(system));
    } catch (const RunError& e) {
        throw RunError(systemSolveFailure + std::string(e.what()));
    }
    Matrix rhs(m, n + excitation.cols());
    for (std::size_t l = 0; l < n; ++l) {
        const SegmentRange r = model.segmentRange(l);
        for (std::size_t s = r.first; s < r.first + r.count; ++s) rhs(s, l) = 1.0;
    }
    if (!excitation.empty()) std::copy(excitation.data(), excitation.data() + m, rhs.column(n));
    const Matrix x = luSolve(factors, std::move(rhs));
    for (std::size_t k = 0; k < x.size(); ++k)
        if (!std::isfinite(x[k]))
            throw RunError(std::string(systemSolveFailure) +
                           "the solution has a non-finite entry: the matrix is too ill-conditioned");

    SystemSolution solution;
    solution.generalized = generalizedCapacitance(x, model);
    if (!excitation.empty()) solution.charges = x.block(0, m, n, 1);
    solution.unitLength = 1.0;
    return solution;
}

}  // namespace

Matrix generalizedCapacitance(const Matrix& unitSolutions, const ConductorModel& model) {
    const std::size_t n = model.conductorCount();
    Matrix g(n, n);
    // Column l holds the segment charge densities (in units of 2π ε0) that put conductor l at
    // potential 1 and the others at 0; summing them over conductor k and multiplying by its
    // segment width gives k's charge per unit length.
    for (std::size_t l = 0; l < n; ++l) {
        const double* x = unitSolutions.column(l);
        for (std::size_t k = 0; k < n; ++k) {
            const SegmentRange r = model.segmentRange(k);
            double charge = 0.0;
            for (std::size_t s = r.first; s < r.first + r.count; ++s) charge += x[s];
            g(k, l) = inFaradPerMetre(model.segmentWidths[k] * charge);
        }
    }
    return g;
}

namespace {

SystemSolution solveInAnyUnit(Matrix systemMatrix, const ConductorModel& model, const Matrix& excitation) {
    // In the given unit of length first: the usual case, and the digits it has always given.
    // A unit change adds ln(unit)·h(c) to every entry of column c, which moves G by a rank-one
    // term that the reduction to the Maxwell matrix removes, and leaves the charges of a
    // neutral excitation as they are; so near the singular unit the same answer comes from a
    // unit far from it.
    try {
        SystemSolution solution = solveInUnit(std::move(systemMatrix), model, excitation);
        if (std::fabs(totalChargeAtUnitPotential(solution.generalized)) <= nearlySingularTotal) return solution;
    } catch (const RunError&) {
        // Singular to working precision here; the safe unit decides whether it is so anywhere.
    }
    const double unit = safeUnitLength(model);
    const ConductorModel scaled = inUnitsOf(model, unit);
    SystemSolution solution = solveInUnit(assembleSystemMatrix(scaled), scaled, excitation);
    // Densities per unit length of the scaled model back to per unit length of the input.
    for (std::size_t k = 0; k < solution.charges.size(); ++k) solution.charges[k] /= unit;
    solution.unitLength = unit;
    return solution;
}

// A printed capacitance that is this many times smaller than the largest Maxwell entry is a
// small difference of large numbers, and its digits depend on the last bits of the entries.
constexpr double sensitiveRatio = 100.0;

bool printedDigitsAreSensitive(const Matrix& generalized) {
    const Matrix maxwell = reduceCapacitance(generalized, 0);
    const Matrix partial = partialCapacitance(maxwell);
    double largest = 0.0, smallest = HUGE_VAL;
    for (std::size_t k = 0; k < maxwell.size(); ++k) largest = std::fmax(largest, std::fabs(maxwell[k]));
    for (std::size_t k = 0; k < partial.size(); ++k) smallest = std::fmin(smallest, std::fabs(partial[k]));
    return !(largest < sensitiveRatio * smallest);
}

// The math path in use replaced for the lifetime of the object.
class MathPathOverride {
public:
    explicit MathPathOverride(MathPath path) : previous_(mathPath()) { useMathPath(path); }
    ~MathPathOverride() { useMathPath(previous_); }
    MathPathOverride(const MathPathOverride&) = delete;
    MathPathOverride& operator=(const MathPathOverride&) = delete;

private:
    MathPath previous_;
};

}  // namespace

SystemSolution solveSystem(Matrix systemMatrix, const ConductorModel& model, const Matrix& excitation) {
    SystemSolution solution = solveInAnyUnit(std::move(systemMatrix), model, excitation);
    if (mathPath() == MathPath::scalar || !printedDigitsAreSensitive(solution.generalized)) return solution;
    // The vector logarithms differ from libm's by a few units in the last place, which a badly
    // conditioned system magnifies; where the printed values are small differences of large
    // ones that can reach their digits. Such arrangements are assembled and solved again with
    // libm's functions, so that their printed digits are the same on every machine.
    const MathPathOverride scalar(MathPath::scalar);
    return solveInAnyUnit(assembleSystemMatrix(model), model, excitation);
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

Matrix reducedCapacitance(const ConductorModel& model) {
    return reduceCapacitance(solveSystem(assembleSystemMatrix(model), model, Matrix()).generalized, 0);
}

}  // namespace plattor
