#pragma once
// The one registry of the quantities plattor-lines reports: their names, JSON keys and units,
// how each follows from the mode capacitances, and the converged values with their bars.
#include <array>
#include <complex>
#include <cstddef>
#include <limits>
#include <vector>

#include "section/cross_section.hpp"
#include "solver/ladder.hpp"

namespace plattor {

enum class Quantity : std::size_t {
    // A single trace.
    capacitance,                      // C, F/m
    capacitanceInAir,                 // C_air: every permittivity 1
    effectivePermittivity,            // C/C_air
    impedance,                        // 1/(c0·√(C·C_air)), ohm
    inductance,                       // 1/(c0²·C_air), H/m
    delay,                            // √(C/C_air)/c0, s/m
    delayPerInch,                     // the delay over an inch, s/in: reported where lengths are in mil
    // A pair: the Maxwell matrix of its traces (left first), partial and mode capacitances.
    maxwell11, maxwell12, maxwell21, maxwell22,
    maxwell11InAir, maxwell12InAir, maxwell21InAir, maxwell22InAir,
    stripToStripCapacitance,          // −C12
    stripToGroundCapacitance,         // C11 + C12
    stripToStripCapacitanceInAir,
    stripToGroundCapacitanceInAir,
    evenModeCapacitance,              // C_e = C11 + C12: both traces at +1 V
    evenModeCapacitanceInAir,
    evenModeEffectivePermittivity,    // C_e/C_e,air
    evenModeImpedance,                // 1/(c0·√(C_e·C_e,air))
    oddModeCapacitance,               // C_o = C11 − C12: ±1 V
    oddModeCapacitanceInAir,
    oddModeEffectivePermittivity,
    oddModeImpedance,
    differentialImpedance,            // 2·Z_o
    commonModeImpedance,              // Z_e/2
    couplingCoefficient,              // (Z_e − Z_o)/(Z_e + Z_o)
    lineImpedance,                    // a pair with no ground: 1/(c0·√(C·C_air)), C between the traces
    count
};
inline constexpr std::size_t quantityCount = static_cast<std::size_t>(Quantity::count);

enum class Unit { capacitance, impedance, inductance, delay, delayPerInch, ratio };

struct QuantityInfo {
    const char* name;  // in text, "even-mode impedance"
    const char* key;   // in JSON, "evenModeImpedance"
    Unit unit;
};
const QuantityInfo& quantityInfo(Quantity q);

// One value per quantity; NaN where a quantity does not apply.
class QuantityValues {
public:
    QuantityValues() { values_.fill(std::numeric_limits<double>::quiet_NaN()); }
    double& operator[](Quantity q) { return values_[static_cast<std::size_t>(q)]; }
    double operator[](Quantity q) const { return values_[static_cast<std::size_t>(q)]; }
    bool applies(Quantity q) const { return (*this)[q] == (*this)[q]; }

private:
    std::array<double, quantityCount> values_;
};

// Every quantity that follows from the mode capacitances per trace, with the dielectrics and
// with every permittivity 1: a single trace's (even mode only), a pair's over a ground, or,
// with no ground at all (odd mode only), the capacitance between the traces.
QuantityValues lineQuantities(const ModeCapacitances& modes, const ModeCapacitances& vacuum);

// The converged quantities of a cross-section with their error bars, and the levels they came
// from. A bar is the change over the ladder's last levels (for all but the differences of mode
// capacitances, at least what the mode capacitances' own changes do to it), plus the ladder's
// floor (`Ladder::floors`, 5e−9 or 1e−7 of the value), plus what moving each mode capacitance by 1e−12 of
// itself does to the quantity (the rounding floor under differences such as C12 = (C_e − C_o)/2).
// Where a bar reaches past what physics allows (a negative capacitance), only its physical part
// is kept: the value is its middle, the bar half its width. Where the ladder stopped at its
// budget before the values settled, a bar takes both of the last changes whole: nothing shows
// the next one smaller.
struct ConvergedQuantities {
    std::vector<LevelSolution> levels;
    bool settled = true;
    LadderFloors floors{orderFloor, orderFloor};  // the least relative bars (Ladder::floors)
    QuantityValues value;
    QuantityValues error;
};
// With `media` and `skin` the levels also carry the lossy mode capacitances and the skin-effect
// integrals (solveLadder).
ConvergedQuantities convergedQuantities(const CrossSection& section, const std::vector<FaceMedia>& media = {},
                                        bool skin = false);

// The bar of a ladder's last value v2 from its last three, as every quantity's: its observed
// convergence (both last changes where the ladder did not settle), plus the ladder's floor (a
// part of the value) and the rounding.
double ladderBar(double v0, double v1, double v2, bool settled, double floor);

}  // namespace plattor
