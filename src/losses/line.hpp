#pragma once
// A lossy line at one frequency, from its per-unit-length series impedance and shunt admittance:
// a single trace (N = 1), or a mirror-symmetric pair (N = 2), whose even and odd modes decouple
// exactly, so that each is a single line of its own.
#include <complex>
#include <cstddef>
#include <vector>

namespace plattor {

// Per unit length, N × N row-major, N = 1 or 2, symmetric: Z = R + jωL (ohm/m) and
// Y = G + jωC (S/m). For a pair, entry (0, 0) is the left trace; the pair is mirror symmetric,
// and the two diagonal entries (and the two off-diagonal ones) are taken at their mean, so
// that a solver's rounding does not couple the modes.
struct LineMatrices {
    std::size_t n;
    std::vector<std::complex<double>> series;  // Z
    std::vector<std::complex<double>> shunt;   // Y
};

// One mode (the single line's own, or a pair's even or odd mode) with its modal z and y per
// trace: z = Z11 ± Z12, y = Y11 ± Y12 (even +, odd −).
//   γ = α + jβ = √(z·y) (α ≥ 0, β ≥ 0), Zc = z/γ = √(z/y).
// The attenuation splits exactly: Im(γ²) = 2αβ = Re z·Im y + Im z·Re y, so
//   α_c = Re z·Im y/(2β) = ωC·R/(2β)  and  α_d = Im z·Re y/(2β) = ωL·G/(2β)
// add up to α; at low loss they are R/(2Zc) and G·Zc/2.
struct ModeQuantities {
    std::complex<double> impedance;    // Zc, ohm
    std::complex<double> propagation;  // γ, 1/m
    double attenuation;                // α = Re γ, Np/m
    double attenuationDb;              // α·20/ln 10 (≈ 8.686·α), dB/m
    double conductorAttenuation;       // α_c, Np/m
    double dielectricAttenuation;      // α_d, Np/m
    double effectivePermittivity;      // (β/k0)², k0 = ω/c0
    double phaseDelay;                 // β/ω, s/m
};

struct LineAtFrequency {
    std::size_t n;
    std::vector<ModeQuantities> modes;  // N = 1: the line; N = 2: the even mode, then the odd
    // A pair's: 2·Zc,odd and Zc,even/2 (NaN for a single line).
    std::complex<double> differentialImpedance;
    std::complex<double> commonModeImpedance;
    // The characteristic impedance matrix, N × N row-major: for the pair
    // [[(Ze + Zo)/2, (Ze − Zo)/2], [(Ze − Zo)/2, (Ze + Zo)/2]], so that Zc·Y·Zc = Z.
    std::vector<std::complex<double>> impedanceMatrix;
};

// The line at `frequency` (Hz). Raises RunError for a frequency that is not positive and
// finite.
LineAtFrequency lineAtFrequency(const LineMatrices& line, double frequency);

}  // namespace plattor
