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

// The internal impedance of a line (one mode) per unit length between DC and the skin limit,
// by the plane conductor's exact internal impedance Z_s·coth((1 + j)·τ/δ) (a conductor of
// thickness 2τ carrying its current on both faces; Ramo, Whinnery and Van Duzer, "Fields and
// Waves in Communication Electronics"), its thickness chosen so that the limits are the line's
// own: with R_skin = R_s·F the smooth skin-limit resistance (ohm/m, F the geometry factor in
// 1/m) and R_dc the exact DC resistance (ohm/m),
//   Z_int = K·(1 + j)·R_skin·coth((1 + j)·R_skin/R_dc),
// K the roughness factor. It is R_dc at f → 0 and K·(1 + j)·R_skin in the skin limit, passive
// between. Exact for a strip much wider than thick; for a round wire within 22 % in R and 34 %
// in ωL_int of its exact (Bessel-function) impedance. A model: it carries no error bar.
std::complex<double> internalImpedance(double rdc, double skinResistance, std::complex<double> roughness);

}  // namespace plattor
