#pragma once
// A conductor's surface impedance: the skin effect of a smooth good conductor, raised by the
// roughness of a copper foil, and the internal impedance of a trace from DC to the skin limit.
#include <complex>
#include <vector>

namespace plattor {

// δ = 1/√(π·f·μ0·σ), m (infinite at f = 0). σ in S/m, f in Hz.
double skinDepth(double conductivity, double frequency);
// R_s = √(π·f·μ0/σ) = 1/(σ·δ), ohm per square.
double surfaceResistance(double conductivity, double frequency);

enum class Roughness { smooth, hammerstad, groisse, huray };

struct ConductorSettings {
    double conductivity = 5.8e7;  // S/m
    Roughness roughness = Roughness::smooth;
    double rq = 0.0;  // m, RMS height of the surface (Hammerstad, Groisse)
    double rz = 0.0;  // m, ten-point peak-to-valley height (Huray, through the cannonball stack)
};

// The spheres of Huray's model that stand for a foil of roughness Rz, after Simonovich's
// cannonball stack: 14 equal spheres in three square layers (9, 4, 1) on a square tile three
// spheres wide, the stack as high as Rz. The geometry gives r = Rz/(2 + 2√2) (the layers'
// centres lie r√2 apart), tile area (6r)², and sphere area over tile area 14·4πr²/(6r)² = 14π/9.
struct HuraySpheres {
    double radius;     // m
    double tileArea;   // m²
    int count;
    double areaRatio;  // N·4πr²/A_tile
};
HuraySpheres cannonballSpheres(double rz);

// K(f), the factor that multiplies the smooth skin impedance R_s·(1 + j):
//   smooth      1;
//   hammerstad  1 + (2/π)·atan(1.4·(Rq/δ)²)            (real; 1 at DC, 2 at high frequency);
//   groisse     1 + exp(−(δ/(2·Rq))^1.6)               (real; 1 at DC, 2 at high frequency);
//   huray       1 + (3/2)·(N·4πr²/A)/(1 + (1 − j)·δ/(2r))  (complex and causal: its loss,
//               Re(K·(1 + j)), is Huray's 1 + (3/2)·(N·4πr²/A)/(1 + δ/r + δ²/(2r²)) exactly;
//               1 at DC, 1 + (3/2)·14π/9 at high frequency).
// Raises RunError for a conductivity that is not positive, a roughness model without its height
// (rq or rz not positive), or a negative frequency.
std::complex<double> roughnessFactor(const ConductorSettings& settings, double frequency);

// Z_s = K(f)·R_s·(1 + j), ohm per square: the surface impedance of a conductor many skin depths
// thick, rough or smooth. 0 at f = 0. Errors as roughnessFactor.
std::complex<double> surfaceImpedance(const ConductorSettings& settings, double frequency);

// The internal impedance of a line per unit length between DC and the skin limit, as the
// complex root-sum-square of its two limits:
//   Z_int = √(R_dc² + Z_skin²),
// where Z_skin = Z_s·F is the skin-limit internal impedance R + jωL_int (ohm/m, F the geometry
// factor in 1/m) and R_dc the DC resistance (ohm/m). It gives R_dc at f → 0 and Z_skin − Z_int
// → 0 as f → ∞, smoothly, and stays passive (Re ≥ 0, Im ≥ 0) for any Z_skin in the first
// quadrant, rough or smooth. For a round wire its low-frequency expansion R_dc·(1 + jωμ0σa²/8)
// is the wire's own, with the DC internal inductance μ0/(8π); against the wire's exact
// (Bessel-function) impedance it stays within 6.4 % in R and 10.3 % in ωL_int at every
// frequency. A model: it carries no error bar.
std::complex<double> internalImpedance(double rdc, std::complex<double> skin);

// The same for N × N row-major matrices (N = 1, or a mirror-symmetric pair, N = 2): applied to
// each mode, the even (R11 + R12, Z11 + Z12) and the odd (R11 − R12, Z11 − Z12). As both
// matrices have the even and odd vectors for eigenvectors, this is the principal matrix root
// √(R_dc² + Z_skin²) (entry by entry the mutual terms' signs would be lost).
std::vector<std::complex<double>> internalImpedance(const std::vector<double>& rdc,
                                                    const std::vector<std::complex<double>>& skin);

}  // namespace plattor
