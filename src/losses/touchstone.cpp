#include "losses/touchstone.hpp"

#include <cassert>
#include <cmath>
#include <sstream>

#include "base/error.hpp"
#include "base/text.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;

struct TwoPort {
    Complex reflection, transmission;
};

// A mode as a two-port between references z0, over its length (ℓ·γ = gl). Numerator and
// denominator are those of the cosh/sinh form times 2·e, so that no term grows with ℓ.
TwoPort modeTwoPort(Complex zc, Complex gl, double z0) {
    const Complex e = std::exp(-gl);
    const Complex e2 = e * e;
    const Complex d = 2.0 * zc * z0 * (1.0 + e2) + (zc * zc + z0 * z0) * (1.0 - e2);
    return {(zc * zc - z0 * z0) * (1.0 - e2) / d, 4.0 * zc * z0 * e / d};
}

std::string number(double x) { return formatted("%.*g", 17, x); }

// Each line of `comment` behind `marker`.
void appendComment(std::string& text, const std::string& comment, const char* marker) {
    std::istringstream lines(comment);
    for (std::string line; std::getline(lines, line);) text += marker + line + "\n";
}

}  // namespace

std::vector<Complex> scatteringMatrix(const LineMatrices& line, double frequency, double length,
                                      double referenceImpedance) {
    if (!(length >= 0.0) || !std::isfinite(length))
        throw RunError("line length " + numberText(length) + " m: must be finite and not negative");
    if (!(referenceImpedance > 0.0) || !std::isfinite(referenceImpedance))
        throw RunError("reference impedance " + numberText(referenceImpedance) + " ohm: must be positive");
    const LineAtFrequency l = lineAtFrequency(line, frequency);
    std::vector<TwoPort> modes;
    for (const ModeQuantities& m : l.modes)
        modes.push_back(modeTwoPort(m.impedance, m.propagation * length, referenceImpedance));
    if (l.n == 1) {
        const TwoPort& m = modes[0];
        return {m.reflection, m.transmission, m.transmission, m.reflection};
    }
    const TwoPort &even = modes[0], &odd = modes[1];
    const Complex reflection = 0.5 * (even.reflection + odd.reflection);
    const Complex nearEnd = 0.5 * (even.reflection - odd.reflection);
    const Complex through = 0.5 * (even.transmission + odd.transmission);
    const Complex farEnd = 0.5 * (even.transmission - odd.transmission);
    // Rows and columns: left near, right near, left far, right far.
    return {reflection, nearEnd,    through,    farEnd,
            nearEnd,    reflection, farEnd,     through,
            through,    farEnd,     reflection, nearEnd,
            farEnd,     through,    nearEnd,    reflection};
}

std::string touchstoneText(const NetworkData& data, const std::string& comment) {
    assert(data.s.size() == data.frequencies.size());
    if (data.frequencies.empty()) throw RunError("S-parameters: no frequencies to write");
    for (std::size_t k = 0; k < data.frequencies.size(); ++k) {
        assert(data.s[k].size() == data.ports * data.ports);
        if (k > 0 && !(data.frequencies[k] > data.frequencies[k - 1]))
            throw RunError("S-parameters: frequency " + numberText(data.frequencies[k]) +
                           " Hz does not follow " + numberText(data.frequencies[k - 1]) + " Hz in increasing order");
    }
    std::string text;
    appendComment(text, comment, "! ");
    text += "[Version] 2.0\n";
    text += "# Hz S RI R " + number(data.referenceImpedance) + "\n";
    text += "[Number of Ports] " + std::to_string(data.ports) + "\n";
    if (data.ports == 2) text += "[Two-Port Data Order] 12_21\n";
    text += "[Number of Frequencies] " + std::to_string(data.frequencies.size()) + "\n";
    text += "[Network Data]\n";
    const std::size_t n = data.ports;
    for (std::size_t k = 0; k < data.frequencies.size(); ++k) {
        text += number(data.frequencies[k]);
        for (std::size_t i = 0; i < n; ++i) {
            // Two ports fit on one line; from three on, each row of the matrix takes its own.
            if (i > 0 && n > 2) text += "\n";
            for (std::size_t j = 0; j < n; ++j) {
                const Complex x = data.s[k][i * n + j];
                text += " " + number(x.real()) + " " + number(x.imag());
            }
        }
        text += "\n";
    }
    text += "[End]\n";
    return text;
}

std::string wElementText(const RlgcTable& table, const std::string& comment) {
    const std::size_t n = table.n;
    std::string text;
    appendComment(text, comment, "* ");
    text += std::to_string(n) + "\n";
    const auto matrix = [&](const char* name, const std::vector<double>& m) {
        assert(m.size() == n * n);
        text += std::string("* ") + name + "\n";
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j <= i; ++j) text += (j > 0 ? " " : "") + number(m[i * n + j]);
            text += "\n";
        }
    };
    matrix("L0, H/m", table.l0);
    matrix("C0, F/m", table.c0);
    matrix("R0, ohm/m", table.r0);
    matrix("G0, S/m", table.g0);
    matrix("Rs, ohm/(m*sqrt(Hz))", table.rs);
    matrix("Gd, S/(m*Hz)", table.gd);
    return text;
}

}  // namespace plattor
