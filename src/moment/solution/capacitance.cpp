#include "moment/solution/capacitance.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "moment/assembly/assembly.hpp"
#include "base/error.hpp"
#include "matrix/linalg.hpp"
#include "base/text.hpp"
#include "matrix/vector_math.hpp"

namespace plattor {

namespace {

// The context every failure to solve the moment-method system is reported in.
constexpr const char* systemSolveFailure = "cannot solve the moment-method system: ";

// Total charge, in units of 2π ε0, with every conductor at potential 1: Σ G, the inverse of
// −ln(capacity/unit), capacity the logarithmic capacity of the whole arrangement. It grows
// without bound as the capacity nears one unit of length, where the logarithmic kernel makes
// the system singular.
double totalChargeAtUnitPotential(const Matrix& generalized) {
    double total = 0.0;
    for (std::size_t k = 0; k < generalized.size(); ++k) total += generalized[k];
    return total / inPlattorFaradPerMetre(1.0);
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
SystemSolution solveInUnit(Matrix system, const ConductorModel& model, const std::vector<double>& excitation) {
    const std::size_t n = model.conductorCount();
    const std::size_t m = model.totalSegments();
    const std::size_t excitations = excitation.empty() ? 0 : 1;
    assert(excitation.empty() || excitation.size() == m);
    LuFactors factors;
    try {
        factors = luFactor(std::move(system));
    } catch (const RunError& e) {
        throw RunError(systemSolveFailure + std::string(e.what()));
    }
    Matrix rhs(m, n + excitations);
    for (std::size_t l = 0; l < n; ++l) {
        const SegmentRange r = model.segmentRange(l);
        for (std::size_t s = r.first; s < r.first + r.count; ++s) rhs(s, l) = 1.0;
    }
    if (excitations > 0) std::copy(excitation.begin(), excitation.end(), rhs.column(n));
    const Matrix x = luSolve(factors, std::move(rhs));
    // Finite by construction: the factorisation refused non-finite entries and pivots within
    // n·eps of their columns, and the input's lengths (1e-150 … 1e150) bound the entries, so
    // the densities stay within about 1e14/(narrowest segment), far below overflow.
    assert(std::all_of(x.data(), x.data() + x.size(), [](double v) { return std::isfinite(v); }));

    SystemSolution solution;
    solution.generalized = generalizedCapacitance(x, model);
    if (excitations > 0) solution.charges.assign(x.column(n), x.column(n) + m);
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
            g(k, l) = inPlattorFaradPerMetre(model.segmentWidths[k] * charge);
        }
    }
    return g;
}

namespace {

SystemSolution solveInAnyUnit(Matrix systemMatrix, const ConductorModel& model, const std::vector<double>& excitation) {
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
    for (double& charge : solution.charges) charge /= unit;
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

SystemSolution solveSystem(Matrix systemMatrix, const ConductorModel& model, const std::vector<double>& excitation) {
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
    assert(generalized.rows() == generalized.cols() && referenceConductor < generalized.rows());
    const std::size_t n = generalized.rows();
    // The totals are each taken from 0 in order of increasing index, the grand total in storage
    // order (see the order of operations in the header).
    std::vector<double> rowTotals(n, 0.0);
    std::vector<double> columnTotals(n, 0.0);
    double grandTotal = 0.0;
    for (std::size_t l = 0; l < n; ++l)
        for (std::size_t k = 0; k < n; ++k) {
            rowTotals[k] += generalized(k, l);
            columnTotals[l] += generalized(k, l);
            grandTotal += generalized(k, l);
        }
    // Row (or column) i of the Maxwell matrix is conductor i, or i + 1 from the reference on.
    const auto conductor = [referenceConductor](std::size_t i) { return i < referenceConductor ? i : i + 1; };
    Matrix maxwell(n - 1, n - 1);
    for (std::size_t j = 0; j + 1 < n; ++j)
        for (std::size_t i = 0; i + 1 < n; ++i) {
            const std::size_t k = conductor(i), l = conductor(j);
            maxwell(i, j) = generalized(k, l) - (rowTotals[k] * columnTotals[l]) / grandTotal;
        }
    return maxwell;
}

Matrix partialCapacitance(const Matrix& maxwell) {
    assert(maxwell.rows() == maxwell.cols());
    const std::size_t n = maxwell.rows();
    // A conductor's capacitance to the reference is its charge when every conductor but the
    // reference is at potential 1: the sum of its row, taken from 0 in column order.
    Matrix partial(n, n);
    for (std::size_t i = 0; i < n; ++i) {
        double rowSum = 0.0;
        for (std::size_t j = 0; j < n; ++j) rowSum += maxwell(i, j);
        for (std::size_t j = 0; j < n; ++j) partial(i, j) = i == j ? rowSum : -maxwell(i, j);
    }
    return partial;
}

std::vector<std::string> reportLines(const Matrix& partial, bool groundPlaneCase) {
    constexpr double picofarad = 1e12;
    const double stripStrip = groundPlaneCase ? partial(0, 1) : partial(0, 0);
    const std::string stripGround = groundPlaneCase ? numberText(partial(0, 0) * picofarad) : "";
    return {
        " ",
        "Resultat:",
        "Delkapacitans mellan plattorna: " + numberText(stripStrip * picofarad) + " pF",
        "Kapacitans mellan en platta och jordplanet: " + stripGround + " pF",
        " ",
    };
}

Matrix reducedCapacitance(const ConductorModel& model) {
    return reduceCapacitance(solveSystem(assembleSystemMatrix(model), model, {}).generalized, 0);
}

}  // namespace plattor
