#include "losses/line.hpp"

#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "base/error.hpp"
#include "base/text.hpp"
#include "physics/constants.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;

ModeQuantities mode(Complex z, Complex y, double omega) {
    // z·y lies in the upper half plane for a passive line, so its principal root has α, β ≥ 0;
    // a lossless line's product −ω²LC may carry a −0 imaginary part, whose root is −jβ.
    Complex gamma = std::sqrt(z * y);
    if (gamma.imag() < 0.0) gamma = -gamma;
    const double alpha = gamma.real(), beta = gamma.imag();
    ModeQuantities m{};
    m.impedance = z / gamma;
    m.propagation = gamma;
    m.attenuation = alpha;
    m.attenuationDb = alpha * 20.0 / std::numbers::ln10;
    m.conductorAttenuation = z.real() * y.imag() / (2.0 * beta);
    m.dielectricAttenuation = z.imag() * y.real() / (2.0 * beta);
    const double k0 = omega / speedOfLight;
    m.effectivePermittivity = (beta / k0) * (beta / k0);
    m.phaseDelay = beta / omega;
    return m;
}

}  // namespace

LineAtFrequency lineAtFrequency(const LineMatrices& line, double frequency) {
    assert(line.n == 1 || line.n == 2);
    assert(line.series.size() == line.n * line.n && line.shunt.size() == line.n * line.n);
    if (!(frequency > 0.0) || !std::isfinite(frequency))
        throw RunError("frequency " + numberText(frequency) + " Hz: must be positive");
    const double omega = 2.0 * std::numbers::pi * frequency;
    LineAtFrequency result{};
    result.n = line.n;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (line.n == 1) {
        result.modes = {mode(line.series[0], line.shunt[0], omega)};
        result.differentialImpedance = result.commonModeImpedance = {nan, nan};
        result.impedanceMatrix = {result.modes[0].impedance};
        return result;
    }
    const auto self = [](const std::vector<Complex>& m) { return 0.5 * (m[0] + m[3]); };
    const auto mutual = [](const std::vector<Complex>& m) { return 0.5 * (m[1] + m[2]); };
    const Complex z11 = self(line.series), z12 = mutual(line.series);
    const Complex y11 = self(line.shunt), y12 = mutual(line.shunt);
    result.modes = {mode(z11 + z12, y11 + y12, omega), mode(z11 - z12, y11 - y12, omega)};
    const Complex even = result.modes[0].impedance, odd = result.modes[1].impedance;
    result.differentialImpedance = 2.0 * odd;
    result.commonModeImpedance = 0.5 * even;
    const Complex diagonal = 0.5 * (even + odd), offDiagonal = 0.5 * (even - odd);
    result.impedanceMatrix = {diagonal, offDiagonal, offDiagonal, diagonal};
    return result;
}

}  // namespace plattor
