#pragma once
// What follows from the Maxwell capacitance matrices of N signal conductors (a bus, a broadside
// pair, a guard trace) over the refinement ladder: the inductance and characteristic impedance
// matrices, the propagation modes, the crosstalk between every two conductors and the pairs'
// impedances, each with its error bar.
#include <cstddef>
#include <utility>
#include <vector>

#include "solver/ladder.hpp"

namespace plattor {

// One rung of the ladder: the Maxwell matrix of the signal conductors with the dielectrics (c)
// and with every permittivity 1 (cAir), N × N row-major, F/m. Entry (i, j) is the free charge on
// conductor i with conductor j at 1 V and every other conductor at 0 V; symmetric but for the
// discretisation.
struct MatrixLevel {
    std::vector<double> c, cAir;
};

struct MatrixEntry {
    double value, error;
};

// The converged quantities, each with its bar. The matrices are N × N row-major:
// C and C_air symmetrised, L = C_air⁻¹/c0² (H/m), and the characteristic impedance matrix of
// the lossless line Zc = C^(−1/2)·(C^(1/2)·L·C^(1/2))^(1/2)·C^(−1/2) (ohm), for which
// Zc·C·Zc = L. The modes are the eigenvectors of L·C, sorted by effective permittivity
// (eigenvalue times c0²), ascending; a mode's impedance is V·V/(V·Zc⁻¹V) for its voltage
// vector V, NaN (error NaN) where its effective permittivity agrees with a neighbour's within
// their bars: there every combination of the two is a mode. The crosstalk coefficients of the
// weak-coupling limit (matched, lossless) hold between every two conductors i < j: near-end
// K_b (a ratio) and far-end K_f (s/m: the far-end voltage is K_f·length/rise time of the step).
struct ConductorMatrices {
    std::size_t n;
    std::vector<MatrixEntry> capacitance, capacitanceInAir, inductance, impedance;
    std::vector<MatrixEntry> modeEffectivePermittivity, modeImpedance;
    std::vector<std::vector<double>> modeVoltages;  // unit length, largest component positive; no bar
    struct Coupling {
        std::size_t i, j;
        MatrixEntry nearEnd, farEnd;
    };
    std::vector<Coupling> crosstalk;
    // A pair (first, second) driven differentially: Z_diff = Zc_ff + Zc_ss − 2·Zc_fs,
    // Z_common = (Zc_ff + Zc_ss + 2·Zc_fs)/4, Z_odd = Z_diff/2, Z_even = 2·Z_common, coupling
    // (Z_even − Z_odd)/(Z_even + Z_odd).
    struct Pair {
        std::size_t first, second;
        MatrixEntry differential, commonMode, oddMode, evenMode, coupling;
    };
    std::vector<Pair> pairs;
    bool settled;
};

// The quantities of the finest of `levels` (coarse to fine, at least three, all N × N) with the
// bars of the single trace's and the pair's registry: the change over the last three levels
// (both last changes where `settled` is false), at least what each capacitance's own change and
// asymmetry carry into the quantity (but for differences), plus the ladder's floor (a part of
// each value, Ladder::floors) and the rounding, clipped to what physics allows. Levels whose c
// equals cAir throughout have no dielectric: their effective permittivities are 1 exactly, with
// a bar of 0.
ConductorMatrices conductorMatrices(const std::vector<MatrixLevel>& levels, bool settled, LadderFloors floors,
                                    const std::vector<std::pair<std::size_t, std::size_t>>& pairs);

}  // namespace plattor
