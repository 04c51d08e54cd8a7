#pragma once
// Converged capacitances with an error bar, and the transmission-line parameters of the strip
// pair that follow from them.
//
// With equal segments the moment method's capacitances are low by an error proportional to the
// segment width: doubling every conductor's segment count halves it. Solving at 2N and 4N
// (N the program's own counts) and extrapolating, R(a, b) = 2·C(b) − C(a), removes that first-
// order part; 3·|R(2N, 4N) − R(N, 2N)| bounds what is left (the safety factor 3 of the grid
// convergence index for estimates from few levels).
#include <array>
#include <cstddef>
#include <limits>
#include <numbers>

#include "assembly/conductors.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

inline constexpr double vacuumPermeability = 4e-7 * std::numbers::pi;  // μ0, H/m

// c0 = 1/√(μ0·ε0): the speed of light in the program's free space, m/s.
double freeSpaceLightSpeed();

// The generalized capacitance matrix, F/m, as generalizedCapacitance computes it from the
// inverse, but from one LU factorisation of the moment-method matrix and one solve per
// conductor: the right-hand side with ones on conductor l's segments gives the charge
// densities x_l that raise l to potential 1, and G(k, l) = h(k)·Σ_{segments of k} x_l·2π·ε0.
// A singular or non-finite system raises RunError naming the moment-method matrix.
Matrix solvedGeneralizedCapacitance(const ConductorModel& model);

// reduceCapacitance of the above against conductor 0: with a ground plane (three conductors)
// the 2×2 Maxwell matrix of the strips against the plane, without one (two conductors) the 1×1
// capacitance of the second strip against the first.
Matrix reducedCapacitance(const ConductorModel& model);

// The quantities reported for a strip pair. Capacitances in F/m, impedances in ohm.
enum class LineQuantity : std::size_t {
    stripToStripCapacitance,   // partial capacitance between the strips, as plattor reports it
    stripToGroundCapacitance,  // partial capacitance of one strip to the plane (plane only)
    maxwell11,                 // Maxwell matrix of the strips; without a plane the neutral pair's
    maxwell12,                 //   C·[1 −1; −1 1]
    maxwell21,
    maxwell22,
    evenModeCapacitance,       // C_e = C_sg (plane only, as all below down to the coupling)
    oddModeCapacitance,        // C_o = C_sg + 2·C_ss
    evenModeImpedance,         // Z_e = 1/(c0·C_e)
    oddModeImpedance,          // Z_o = 1/(c0·C_o)
    differentialImpedance,     // 2·Z_o
    commonModeImpedance,       // Z_e/2
    couplingCoefficient,       // (Z_e − Z_o)/(Z_e + Z_o), dimensionless
    lineImpedance,             // 1/(c0·C) of the pair without a plane
    count
};

inline constexpr std::size_t lineQuantityCount = static_cast<std::size_t>(LineQuantity::count);

// One value per quantity; NaN where a quantity does not apply to the arrangement.
class LineValues {
public:
    LineValues() { values_.fill(std::numeric_limits<double>::quiet_NaN()); }
    double& operator[](LineQuantity q) { return values_[static_cast<std::size_t>(q)]; }
    double operator[](LineQuantity q) const { return values_[static_cast<std::size_t>(q)]; }

private:
    std::array<double, lineQuantityCount> values_;
};

// Every quantity that follows from a matrix of reducedCapacitance (2×2: strips over a plane,
// 1×1: the coplanar pair).
LineValues lineValues(const Matrix& reduced);

struct LineParameters {
    bool groundPlaneCase;
    std::array<Matrix, 3> segmentCounts;  // N (the model's own), 2N, 4N
    LineValues atN;        // at N: what plattor computes
    LineValues errorAtN;   // |converged − atN| + error: how far the value at N may be off
    LineValues converged;  // from R(2N, 4N)
    LineValues error;      // 3·|value from R(2N, 4N) − value from R(N, 2N)|
};

// Solves the model at its own segment counts, at twice and at four times them. Capacitances
// are extrapolated; the impedances and the coupling are computed from the extrapolated
// capacitances, and their errors by the same rule from the two extrapolations.
LineParameters lineParameters(const ConductorModel& model);

}  // namespace plattor
