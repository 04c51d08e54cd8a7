#pragma once
// A line's losses over frequency, quasi-statically on the converged solution: per mode the
// series impedance R + jωL and the shunt admittance G + jωC, and what follows from them, every
// numerically solved part with its error bar and every model named.
//
// What the solver gives, each from the ladder with its bar:
//  - C − jG/ω from one solve with the complex permittivities ε′ − jε″ of every region (exact in
//    the quasi-static model, not first order in tan δ);
//  - L_ext = 1/(c0²·C_air) from the solve in vacuum;
//  - the skin-effect geometry F = ∮ ρ̂² dl of each mode, from the same vacuum charges, so that
//    the skin-limit resistance is R_s·F.
// Exact: the DC resistance of the cross-section. Models, without a numerical bar: the dielectric
// model ε(f), the roughness factor K(f) and the transition from DC to the skin limit
// (internalImpedance).
#include <array>
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "lines/quantities.hpp"
#include "losses/conductor.hpp"
#include "losses/dielectric.hpp"
#include "losses/line.hpp"
#include "losses/touchstone.hpp"
#include "section/board.hpp"

namespace plattor {

struct LossRequest {
    std::vector<double> frequencies;  // Hz, increasing
    DielectricSettings dielectric;
    ConductorSettings conductor;
};

// What a mode reports at a frequency, per trace of the mode.
enum class LossQuantity : std::size_t {
    resistance,              // R = Re z, ohm/m
    inductance,              // L = Im z/ω, H/m (external and internal)
    conductance,             // G = Re y, S/m
    capacitance,             // C = Im y/ω, F/m
    impedanceReal,           // Re Zc, ohm
    impedanceImaginary,      // Im Zc, ohm
    attenuation,             // α, dB/m
    phaseConstant,           // β, rad/m: with α the propagation constant γ = α + jβ
    conductorAttenuation,    // α_c, dB/m
    dielectricAttenuation,   // α_d, dB/m
    effectivePermittivity,   // (β/k0)²
    delay,                   // β/ω, s/m
    count
};
inline constexpr std::size_t lossQuantityCount = static_cast<std::size_t>(LossQuantity::count);

struct LossQuantityInfo {
    const char* name;  // in text, "attenuation"
    const char* key;   // in JSON and CSV, "attenuation"
    const char* unit;  // as shown in text: "mS/m"
    double scale;      // from SI to that unit
    const char* si;    // the SI unit of its value: "S/m"
};
const LossQuantityInfo& lossQuantityInfo(LossQuantity q);

struct ValueAndBar {
    double value;
    double error;
};

struct ModeLosses {
    std::array<ValueAndBar, lossQuantityCount> values;
    const ValueAndBar& operator[](LossQuantity q) const { return values[static_cast<std::size_t>(q)]; }
    ValueAndBar& operator[](LossQuantity q) { return values[static_cast<std::size_t>(q)]; }
};

struct LossesAtFrequency {
    double frequency;
    std::vector<ModeLosses> modes;  // a single trace's; a pair's even mode, then its odd mode
    LineMatrices line;              // per-unit-length Z and Y (N = 1 or 2)
    // A pair's entries C11, C12 and G11, G12, each with the bar of its own climb up the ladder
    // (a mutual entry's changes are far below the modes'); empty for a single trace.
    std::vector<ValueAndBar> capacitanceEntries, conductanceEntries;
};

struct LineLosses {
    ConvergedQuantities solution;  // the line's quantities, as without losses
    // Where there is no conductor loss (a conductor of zero thickness), why, in one line.
    std::string noConductorLoss;
    std::vector<LossesAtFrequency> table;
    // The per-unit-length model a W-element reads: R0 exact, Rs the smooth skin-limit
    // coefficient, L0 and C0 the lossless ones, G0 = 0, Gd = G/f of the constant dielectric
    // (with the wideband model, of the first frequency).
    RlgcTable rlgc;
};

// The skin-effect integral of a ladder from its rungs' values v (the last three used) and the
// rate at which their error shrinks (skinConvergence): the last value extrapolated by the
// geometric tail, v2 + (v2 − v1)·ρ/(1 − ρ), ρ the larger of that rate and the one observed, and
// the bar the size of that step plus the ladder's floor (both last changes where it did not settle).
ValueAndBar convergedSkin(double v0, double v1, double v2, double rate, bool settled, double floor);

// The losses of a checked board with one trace or a marked pair of mirror images, its lengths
// in metres. Raises RunError for a board of N signal conductors.
LineLosses lineLosses(const Board& board, const LossRequest& request);

// The DC resistance per trace of each mode of a board in metres (a single trace's; a pair's
// even and odd mode), ohm/m, with conductivity σ: each trace's 1/(σ·A), and the return through
// the ground conductors, 1/(σ·ΣA), where no plane or pour of infinite width returns it. Infinite
// for a trace of zero thickness.
std::vector<double> dcResistances(const Board& board, double conductivity);

}  // namespace plattor
