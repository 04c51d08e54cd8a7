#pragma once
// What plattor-lines prints: one quantity per line as text, or one JSON object; every value
// with its error bar, formatted here once.
#include <string>
#include <vector>

#include "lines/quantities.hpp"
#include "section/structures.hpp"

namespace plattor {

// The unit a quantity is shown in as text, and the factor from SI to it: pF/m, ohm, nH/m,
// ps/m, ps/in; nothing for a ratio.
const char* displayUnit(Unit unit);
double displayScale(Unit unit);

// A value with its bar as text, in the display unit: the value to the decimal place of the
// bar's second significant digit (at most the units), the bar to the same place, "value ± bar
// unit". An error of 0 or no finite error gives the value ten significant digits.
std::string valueWithBar(double value, double error, Unit unit);
// The same for a value already in the unit named (a length in "mm"; "" for none).
std::string valueWithBar(double value, double error, const std::string& unit);

// One reported line: a name, the value and its bar in SI units, the unit; `valueText`, when
// given, is printed instead of the formatted value (plattor's own text of a value).
struct ReportRow {
    std::string name;
    double value;
    double error;
    Unit unit;
    std::string valueText = {};
};

// The name padded to a fixed column, the value, "± " and the bar, the unit.
std::vector<std::string> reportText(const std::vector<ReportRow>& rows);
// The same for rows of converged values, with a last line where their ladder stopped at its
// budget before they settled.
std::vector<std::string> reportText(const std::vector<ReportRow>& rows, bool settled);
inline std::vector<std::string> reportText(const std::vector<ReportRow>& rows, const ConvergedQuantities& c) {
    return reportText(rows, c.settled);
}

// A line with a name in the column of reportText's and `text` where the value and its bar
// would stand: what has no bar (a mode's voltages).
std::string reportNote(const std::string& name, const std::string& text);

// One line as reportText writes it, the unit given by name: a length in "mm", or "" for bare
// lengths.
std::string reportLine(const std::string& name, double value, double error, const std::string& unit);

// The rows of the quantities in `order` that apply.
std::vector<ReportRow> quantityRows(const ConvergedQuantities& c, const std::vector<Quantity>& order);

// The quantities reported for a single trace, for a pair, and for a structure whose lengths
// carried `lengthUnit` (a single trace's delay per inch too where that is "mil").
const std::vector<Quantity>& singleQuantities();
const std::vector<Quantity>& pairQuantities();
const std::vector<Quantity>& reportedQuantities(const Structure& structure, const std::string& lengthUnit);
const std::vector<Quantity>& reportedQuantities(bool pair, const std::string& lengthUnit);

// A JSON string: `text` in double quotes, '"', '\\' and control characters escaped.
std::string jsonString(const std::string& text);

// A JSON text one level further in: two more blanks after each line break, for an object or
// array nested in another.
std::string indentedJson(const std::string& json);

// A JSON object written member by member, numbers as the shortest text that reads back to the
// same double.
class JsonObject {
public:
    JsonObject();
    void add(const std::string& key, double value);
    void add(const std::string& key, bool value);
    void add(const std::string& key, const std::string& text);  // a JSON string, escaped
    // {"value": v, "error": e}
    void addQuantity(const std::string& key, double value, double error);
    // {"value": [[a, b], [c, d]], "error": [[…]]} for n × n matrices given row by row
    void addMatrix(const std::string& key, std::size_t n, const std::vector<double>& value,
                   const std::vector<double>& error);
    void addRaw(const std::string& key, const std::string& json);  // an object or array built elsewhere
    std::string text() const { return text_ + "\n}"; }

private:
    void key(const std::string& key);
    void addValueAndError(const std::string& key, const std::string& value, const std::string& error);
    std::string text_;
    bool first_ = true;
};

// The levels of a ladder as a JSON array: order, panels and unknowns of each rung, with the
// dielectrics (`vacuum` false) or in vacuum.
std::string levelsJson(const std::vector<LevelSolution>& levels, bool vacuum);

// The SI constants behind every value: "constants": {"epsilon0", "mu0", "speedOfLight"}.
void addConstants(JsonObject& json);

// The quantities of `order` that apply, each as {"value", "error"} in SI units; the Maxwell
// entries as the matrices maxwellMatrix and maxwellMatrixInAir; first the SI constants behind
// them as "constants": {"epsilon0", "mu0", "speedOfLight"}.
void addQuantities(JsonObject& json, const ConvergedQuantities& c, const std::vector<Quantity>& order);

// A structure's report as one JSON object: the structure echoed (its options, lengths in metres
// where the user gave units, else as given), the levels with and without the dielectrics, and
// every quantity it reports; the constants ε0, μ0 and c0 behind them.
std::string structureReportJson(const Structure& structure, const std::string& lengthUnit,
                                const ConvergedQuantities& c);
// The same as an object to which a caller adds members of its own.
JsonObject structureReport(const Structure& structure, const std::string& lengthUnit, const ConvergedQuantities& c);

}  // namespace plattor
