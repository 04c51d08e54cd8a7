#pragma once
// Converged capacitances with an error bar, and the transmission-line parameters of the strip
// pair that follow from them.
//
// The strip pair's own solver (strip_pair.hpp) converges exponentially in the panel order p on
// a fixed graded mesh: each quantity is computed at p = 6, 8 and 10. The value at 10 is
// reported; its bar is the change from 8 to 10, which bounds the error at 8 and so, the
// convergence being observed, the smaller one at 10; never less than a thousandth of the
// change from 6 to 8 (a crossing at 10 must not look like convergence), and the sum of both
// changes where they do not shrink. A floor adds the quadrature and rounding error.
#include <array>
#include <cstddef>
#include <limits>
#include <numbers>

#include <vector>

#include "assembly/conductors.hpp"
#include "lines/strip_pair.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

inline constexpr double vacuumPermeability = 4e-7 * std::numbers::pi;  // μ0, H/m

// c0 = 1/√(μ0·ε0): the speed of light in the program's free space, m/s.
double freeSpaceLightSpeed();

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

// The mode capacitance C_e = C11 + C12 (modeSign +1) or C_o = C11 − C12 (modeSign −1) of a
// symmetric 2×2 Maxwell matrix moved by δ, F/m: C11 and C22 move by δ/2, C12 and C21 by ±δ/2.
void moveModeCapacitance(Matrix& maxwell, double modeSign, double delta);

// One solution of the ladder: its panel order, the panels on each conductor (plattor's order:
// [plane,] strip 1, strip 2; mirror images counted) and the unknowns of each mode's system.
struct LineLevel {
    std::size_t order;
    std::vector<std::size_t> panels;
    std::size_t unknowns;
    Matrix maxwell;  // the Maxwell matrix of the strips at this level, F/m
};

// The converged values of a pair with their error bars, and the levels they came from.
struct ConvergedLines {
    std::vector<LineLevel> levels;  // coarse to fine; the last gives the converged values
    LineValues converged;
    LineValues error;               // the error bar described at the top
};
ConvergedLines convergedLines(const StripPair& pair);

// The converged ladder beside plattor's own values at its segment counts N.
struct LineParameters : ConvergedLines {
    bool groundPlaneCase;
    std::vector<std::size_t> segmentCounts;  // plattor's own N per conductor
    LineValues atN;        // at N: what plattor computes (NaN if plattor cannot solve it)
    LineValues errorAtN;   // |converged − atN| + error: how far the value at N may be off
};

// How far the last value of a ladder v0, v1, v2 may still be off by its observed convergence:
// the last change, never less than a thousandth of the one before (a crossing must not look
// like convergence), and both changes where they do not shrink.
double observedChange(double v0, double v1, double v2);

// The converged quantities of the pair and the values at N of plattor's model of the same
// input (whose Maxwell matrix comes from reducedCapacitance).
LineParameters lineParameters(const StripPair& pair, const ConductorModel& model);

}  // namespace plattor
