#pragma once
// The complex permittivity of a board's dielectric at a frequency, from the two numbers a
// datasheet gives (εr and tan δ at one frequency): held constant, or spread over frequency by
// the Djordjević–Sarkar wideband model, whose loss tangent is nearly flat over its band and
// whose real part falls with frequency as causality demands.
#include <complex>

namespace plattor {

enum class DielectricModel { constant, djordjevicSarkar };

// The wideband model's band is [ω1, ω2] = [10^m1, 10^m2] rad/s (angular frequencies, as the
// model's authors define them); by default 10⁴ … 10¹² rad/s, about 1.6 kHz … 160 GHz. The
// model is defined at every frequency, but its loss tangent is flat only well inside the band.
struct DielectricSettings {
    DielectricModel model = DielectricModel::constant;
    double fitFrequency = 1e9;          // Hz: where εr and tan δ hold exactly
    double lowerCornerExponent = 4.0;   // m1
    double upperCornerExponent = 12.0;  // m2
};

// ε'(f) − jε''(f), relative, for a material given as (er, tanDelta) at the fit frequency (e^{jωt}
// convention, so ε'' ≥ 0 is loss). Constant: er·(1 − j·tanDelta) at every frequency. Wideband:
//   ε(ω) = ε∞ + Δε/(m2 − m1)·log10((ω2 + jω)/(ω1 + jω)),
// with Δε and ε∞ solved in closed form so that ε' = er and ε''/ε' = tanDelta at the fit
// frequency. tanDelta = 0 gives the real constant er under either model. Raises RunError for
// er < 1, a negative or non-finite tanDelta, a fit frequency that is not positive, m2 ≤ m1, a
// negative frequency, or a loss so large that the fitted ε∞ would fall below 1.
std::complex<double> relativePermittivity(double er, double tanDelta, const DielectricSettings& settings,
                                          double frequency);

}  // namespace plattor
