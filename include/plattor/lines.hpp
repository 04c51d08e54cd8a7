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
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
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
    std::string unit;  // "F/m", "ohm", "H/m", "s/m", "s/in", or "" for a ratio
    double value;
    double error;

    // "71.73348 ± 0.000013 ohm": the value to the second significant digit of its bar, in the
    // unit plattor-lines prints (pF/m, ohm, nH/m, ps/m, ps/in).
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

// The library's version, "major.minor.patch".
const char* version();

}  // namespace plattor
