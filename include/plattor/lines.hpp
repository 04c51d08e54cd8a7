#pragma once
// plattor::lines — converged transmission-line parameters with error bars, from a program.
//
// The structures and quantities of plattor-lines as a library:
//
//     plattor::Line line("microstrip");
//     line.set("w", "0.1mm").set("h", "0.1mm").set("er", 4.3);
//     const plattor::Solution solution = plattor::solve(line);
//     const plattor::Reading& z = solution["impedance"];   // z.value ± z.error, ohm
//
// CMake: find_package(plattor) and target_link_libraries(app PRIVATE plattor::lines).
// Every failure a user can cause (an unknown option, a malformed value, an incomplete or
// unphysical structure) is a plattor::Error carrying the one line plattor-lines prints after
// "plattor-lines: ". Objects are values; solving different lines on different threads at once
// is safe.
#include <complex>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plattor {

// A failure the user caused, with a one-line message naming the culprit.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A board's cross-section as plattor-lines describes it: a kind ("microstrip", "stripline",
// "coplanar") and its options by name. What each kind is and which options it takes, with their
// meaning: Line::description(kind) and Line::options(kind), from the table plattor-lines' --help
// and the Python module's docstrings read too.
// Lengths in one unit of your choice (every quantity is per unit length, in SI, whatever the
// unit), or each as text with a unit as on the command line ("0.1mm", "4mil", "35um", "1e-4m").
class Line {
public:
    // "microstrip", "stripline" or "coplanar"; Error otherwise.
    explicit Line(std::string_view kind);
    Line(const Line& other);
    Line(Line&& other) noexcept;
    Line& operator=(const Line& other);
    Line& operator=(Line&& other) noexcept;
    ~Line();

    // Sets an option ("w-top" or "w_top") to a number: a length in the one unit of every bare
    // length, or a relative permittivity. Error for an unknown option, one set twice, a value
    // that is not finite, or bare lengths mixed with lengths that carry a unit.
    Line& set(std::string_view option, double value);
    // Sets an option from its text as on plattor-lines' command line: "0.1mm", "4.3".
    Line& set(std::string_view option, std::string_view text);
    Line& set(std::string_view option, const char* text) { return set(option, std::string_view(text)); }

    // "microstrip", "stripline" or "coplanar".
    std::string kind() const;
    // An option's value: metres where the lengths carry units, else as given; NaN where not set.
    double get(std::string_view option) const;
    // "m" where the lengths were given with units, "" where bare.
    std::string lengthUnit() const;
    // Every option's name, as on the command line ("w", "w-top", …).
    static std::vector<std::string> options();
    // The options a kind takes, those it needs first; Error for an unknown kind.
    struct Option {
        std::string name;     // as on the command line: "w-top"
        std::string meaning;  // "trace's top width"
        bool length;          // else a relative permittivity
        bool required;
    };
    static std::vector<Option> options(std::string_view kind);
    // What a kind is, in a sentence naming its options; Error for an unknown kind.
    static std::string description(std::string_view kind);

private:
    friend struct LineAccess;
    struct Data;
    std::unique_ptr<Data> data_;
};

// One quantity: its converged value and the bound on its error, in SI units.
struct Reading {
    std::string key;   // as in plattor-lines' JSON: "impedance", "evenModeImpedance", "maxwell12"
    std::string name;  // as in its text: "even-mode impedance"
    std::string unit;  // "F/m", "ohm", "H/m", "s/m", "s/in", a loss's "ohm/m", "S/m", "dB/m", or "" for a ratio
    double value;
    double error;

    // "71.73348 ± 0.000013 ohm": the value to the second significant digit of its bar, in the
    // unit plattor-lines prints (pF/m, ohm, nH/m, ps/m, ps/in, ohm/m, mS/m, dB/m).
    std::string text() const;
};

// A solved line: every quantity plattor-lines reports for it, in its order.
//  a single trace: capacitance, capacitanceInAir, effectivePermittivity, impedance, inductance, delay
//                  (and delayPerInch where most lengths were given in mil)
//  a pair: maxwell11 … maxwell22 (and …InAir), stripToStrip/stripToGroundCapacitance[InAir],
//          even/oddMode{Capacitance, CapacitanceInAir, EffectivePermittivity, Impedance},
//          differentialImpedance, commonModeImpedance, couplingCoefficient
class Solution {
public:
    // The line solved; Error for the solution of a cross-section file, which has none.
    const Line& line() const;
    // The line's kind, or "cross-section".
    std::string kind() const;
    const std::vector<Reading>& quantities() const { return quantities_; }
    // Whether the line reports that quantity.
    bool has(std::string_view key) const;
    // The quantity of that key; Error naming it where the line does not report it.
    const Reading& operator[](std::string_view key) const;
    // plattor-lines --json: the structure echoed, the levels, every quantity {"value", "error"}.
    const std::string& json() const { return json_; }
    // plattor-lines' text: one line per quantity, name, value ± bar, unit.
    const std::string& text() const { return text_; }

private:
    friend struct LineAccess;
    Solution(std::optional<Line> line, std::vector<Reading> quantities, std::string json, std::string text);

    std::optional<Line> line_;
    std::vector<Reading> quantities_;
    std::string json_;
    std::string text_;
};

// The line solved up the refinement ladder, with and without its dielectrics; Error where it is
// incomplete, not physical or beyond the resolved range of ratios (1e-6 … 1e6 of "w").
// Takes from milliseconds (a thin trace) to about a second (a thick pair under a mask).
Solution solve(const Line& line);

// A board's cross-section from the text of a cross-section file (docs/cross-section.md: layers,
// planes, traces, wires, polygons, a mask; `name` names it in messages), solved as
// `plattor-lines file` solves it. One signal conductor, or a marked pair of mirror images, reports
// a structure's quantities; N signal conductors report one reading per value line of
// plattor-lines' text, keyed by its name there ("C[p,n]", "L[p,p]", "Zc[p,n]", "mode 1
// impedance", "near-end crosstalk p,n", "differential impedance p,n"). Error, in one line naming
// the file and the field, for a file refused.
Solution solveCrossSection(std::string_view json, std::string_view name = "cross-section");

// The models of a line's losses, each an option of plattor-lines (--dk-model, --dk-freq, --sigma,
// --roughness, --rq, --rz) in SI units; where unset, its default. The dielectrics' loss tangents
// are the line's own options (tand, tand-top, mask-tand, cover-tand).
struct LossSettings {
    std::optional<std::string> dkModel;    // "constant" (the default) or "wideband" (Djordjevic-Sarkar)
    std::optional<double> dkFreq;          // Hz: where er and tan delta hold under "wideband" (1 GHz)
    std::optional<double> sigma;           // S/m: the conductors' conductivity (5.8e7, copper)
    std::optional<std::string> roughness;  // "hammerstad" or "groisse" with rq, "huray" with rz; smooth unset
    std::optional<double> rq;              // m: the RMS height of the surface
    std::optional<double> rz;              // m: the ten-point height of the surface
};

// A line's losses at one frequency, in SI units, each numerically solved part with its bar.
struct FrequencyLosses {
    double frequency;  // Hz
    // Per mode (a single trace's; a pair's even mode, then its odd mode), per trace, keyed as in
    // plattor-lines' JSON ("attenuation"; a pair's "evenModeAttenuation") in this order:
    // resistance (ohm/m), inductance (H/m), conductance (S/m), capacitance (F/m), impedanceReal
    // and impedanceImaginary (ohm), attenuation (dB/m), phaseConstant (rad/m), conductorAttenuation,
    // dielectricAttenuation (dB/m), effectivePermittivity, delay (s/m).
    std::vector<std::vector<Reading>> modes;
    // A pair's differentialImpedanceReal, …Imaginary, commonModeImpedanceReal, …Imaginary, the
    // characteristic impedance matrix's impedance11Real, …Imaginary, impedance12Real, …Imaginary
    // (ohm), and the per-unit-length matrices' resistance11, resistance12, inductance11, …12,
    // conductance11, …12, capacitance11, …12; none for a single trace.
    std::vector<Reading> pair;
    // Per unit length, N × N row-major (N = 1, or 2 for a pair: left trace, right trace): the
    // series impedance Z = R + jωL (ohm/m) and the shunt admittance Y = G + jωC (S/m).
    std::vector<std::complex<double>> series;
    std::vector<std::complex<double>> shunt;

    // The quantity of that key among the modes' and the pair's; Error naming it otherwise.
    const Reading& operator[](std::string_view key) const;
};

// A W-element's per-unit-length model, N × N row-major: R(f) = R0 + Rs·(1 + j)·√f,
// G(f) = G0 + Gd·f, L0 and C0 constant.
struct WElementModel {
    std::size_t n;
    std::vector<double> r0;  // ohm/m, the DC resistance
    std::vector<double> l0;  // H/m
    std::vector<double> g0;  // S/m
    std::vector<double> c0;  // F/m
    std::vector<double> rs;  // ohm/(m·√Hz), the smooth skin effect's
    std::vector<double> gd;  // S/(m·Hz), the dielectric loss of the first frequency
};

// A line solved with its losses over frequency: what plattor-lines --freq reports.
class LossSolution {
public:
    // The line's own quantities, as plattor-lines reports them beside the losses.
    const Solution& solution() const { return solution_; }
    // One entry per frequency asked for, in their order.
    const std::vector<FrequencyLosses>& frequencies() const { return frequencies_; }
    // The models behind the values, which carry no numerical bar, each by name:
    // {"dielectric model", "constant er and tan delta"}, the conductor's, the DC-to-skin transition's.
    const std::vector<std::pair<std::string, std::string>>& models() const { return models_; }
    // Why there is no conductor loss (a conductor of zero thickness), in one line; else "".
    const std::string& conductorLoss() const { return conductorLoss_; }
    const WElementModel& wElement() const { return wElement_; }
    // plattor-lines --freq … --json; and its text (at one frequency the line's quantities, its
    // losses and the models; over several frequencies CSV).
    const std::string& json() const { return json_; }
    const std::string& text() const { return text_; }

    // Writes the S-parameters of `length` metres of the line at every frequency, each port
    // referred to `referenceImpedance` ohm, as a Touchstone 2.0 file named *.s2p (a single trace:
    // port 1 near end, 2 far end) or *.s4p (a pair: 1 and 2 the left and right traces' near ends,
    // 3 and 4 their far ends), as plattor-lines --touchstone. Error for another name, a length or
    // an impedance not above 0, or a file that cannot be written.
    void writeTouchstone(const std::string& fileName, double length, double referenceImpedance = 50.0) const;
    // Writes the W-element model as an HSPICE RLGC file, as plattor-lines --rlgc.
    void writeRlgc(const std::string& fileName) const;

private:
    friend struct LineAccess;
    LossSolution(Solution solution, std::vector<FrequencyLosses> frequencies,
                 std::vector<std::pair<std::string, std::string>> models, std::string conductorLoss,
                 WElementModel wElement, std::string json, std::string text);

    Solution solution_;
    std::vector<FrequencyLosses> frequencies_;
    std::vector<std::pair<std::string, std::string>> models_;
    std::string conductorLoss_;
    WElementModel wElement_;
    std::string json_;
    std::string text_;
};

// The line solved with its losses at each of `frequencies` (Hz, above 0, increasing), its
// lengths given with a unit (a resistance depends on the size). Error with plattor-lines'
// message for bad settings or frequencies, and as solve().
LossSolution solveLosses(const Line& line, const std::vector<double>& frequencies, const LossSettings& settings = {});

// The same for a cross-section file's board of one signal conductor or a marked pair, its
// lengths in a unit; Error as solveCrossSection() besides.
LossSolution solveCrossSectionLosses(std::string_view json, const std::vector<double>& frequencies,
                                     const LossSettings& settings = {}, std::string_view name = "cross-section");

// The library's version, "major.minor.patch".
const char* version();

}  // namespace plattor
