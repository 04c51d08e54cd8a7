// The web page's module: plattor::lines' structures and quantities from JavaScript (embind), one
// module in each Web Worker of the page. A structure is its kind and an object of options as a
// batch's row gives them ({w: "0.2mm", h: "0.1mm", er: 4.3}; an empty or absent value leaves an
// option out). Every function returns a plain object: its answer, or {failure, option} with the one
// line plattor-lines prints and the option (or the page's field, "target", "sweep") it names.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <string>
#include <utility>
#include <vector>

#include "api/line_access.hpp"
#include "design/cross_section_drawing.hpp"
#include "design/csv.hpp"
#include "design/quantity_table.hpp"
#include "design/solve_dimension.hpp"
#include "plattor/dimension.hpp"
#include "plattor/lines.hpp"
#include "report/report.hpp"

using emscripten::val;

namespace {

// A failure and the field beside which the page shows it.
struct Failure {
    std::string message;
    std::string field;
};

// The first "--name" a message mentions, without the dashes: "--mask-er must be …" is mask-er's.
std::string fieldNamed(const std::string& message) {
    const std::size_t at = message.find("--");
    if (at == std::string::npos) return {};
    std::size_t end = at + 2;
    while (end < message.size() && ((message[end] >= 'a' && message[end] <= 'z') || message[end] == '-')) ++end;
    return message.substr(at + 2, end - at - 2);
}

val failureObject(const Failure& f) {
    val o = val::object();
    o.set("failure", f.message);
    o.set("option", f.field.empty() ? fieldNamed(f.message) : f.field);
    return o;
}

// f() as the page's answer; a plattor::Error or RunError as the failure naming its field.
template <class F>
val answer(F&& f) {
    try {
        return f();
    } catch (const Failure& failure) {
        return failureObject(failure);
    } catch (const plattor::Error& e) {
        return failureObject({e.what(), {}});
    } catch (const plattor::RunError& e) {
        return failureObject({e.what(), {}});
    }
}

template <class T>
val arrayOf(const std::vector<T>& items) {
    val a = val::array();
    for (const T& item : items) a.call<void>("push", val(item));
    return a;
}

// A copy of the numbers as a Float64Array (a view of the module's memory would move as it grows).
val float64Array(const std::vector<double>& v) {
    return val(emscripten::typed_memory_view(v.size(), v.data())).call<val>("slice");
}

// A line of that kind from the page's options: numbers as lengths in any one unit (or
// permittivities), texts as on the command line. An option that cannot be set is its field's
// failure.
plattor::Line lineOf(const std::string& kind, const val& options) {
    plattor::Line line(kind);
    const val names = val::global("Object").call<val>("keys", options);
    const int count = names["length"].as<int>();
    for (int k = 0; k < count; ++k) {
        const std::string name = names[k].as<std::string>();
        const val value = options[name];
        try {
            if (value.isNumber()) line.set(name, value.as<double>());
            else if (value.isString() && !value.as<std::string>().empty()) line.set(name, value.as<std::string>());
        } catch (const plattor::Error& e) {
            throw Failure{e.what(), name};
        }
    }
    return line;
}

val readingObject(const plattor::Reading& r) {
    val o = val::object();
    o.set("key", r.key);
    o.set("name", r.name);
    o.set("unit", r.unit);
    o.set("value", r.value);
    o.set("error", r.error);
    o.set("text", r.text());  // as plattor-lines prints it: "45.76350348 ± 0.00000048 ohm"
    return o;
}

val solutionObject(const plattor::Solution& s) {
    val o = val::object();
    o.set("kind", s.kind());
    val quantities = val::array();
    for (const plattor::Reading& r : s.quantities()) quantities.call<void>("push", readingObject(r));
    o.set("quantities", quantities);
    o.set("json", s.json());
    o.set("text", s.text());
    return o;
}

// The kinds, each with its description and its options (those it needs first).
val structures() {
    val kinds = val::array();
    for (const plattor::StructureKind k :
         {plattor::StructureKind::microstrip, plattor::StructureKind::stripline, plattor::StructureKind::coplanar}) {
        const std::string name = plattor::structureName(k);
        val kind = val::object();
        kind.set("name", name);
        kind.set("description", plattor::Line::description(name));
        val options = val::array();
        for (const plattor::Line::Option& o : plattor::Line::options(name)) {
            val option = val::object();
            option.set("name", o.name);
            option.set("column", plattor::optionColumn(*plattor::findStructureOption(o.name)));
            option.set("meaning", o.meaning);
            option.set("length", o.length);
            option.set("required", o.required);
            options.call<void>("push", option);
        }
        kind.set("options", options);
        kinds.call<void>("push", kind);
    }
    return kinds;
}

// Each option's value read, without solving: the failure of the first that cannot be, or {}.
val check(const std::string& kind, const val& options) {
    return answer([&] {
        lineOf(kind, options);
        return val::object();
    });
}

val solve(const std::string& kind, const val& options) {
    return answer([&] { return solutionObject(plattor::solve(lineOf(kind, options))); });
}

// The length `dimension` at which the target ("impedance=50", as --target) is met: its line as
// plattor-lines prints it ("w (solved)  0.3593464353 ± 0.0000000065 mm"), and the report there.
val solveFor(const std::string& kind, const val& options, const std::string& dimension, const std::string& target) {
    return answer([&] {
        const plattor::Line line = lineOf(kind, options);
        plattor::Quantity quantity{};
        double goal = 0.0;
        plattor::parseTarget(target, quantity, goal);
        const plattor::Dimension d = plattor::solveFor(line, dimension, plattor::quantityInfo(quantity).key, goal);
        const std::string& unit = plattor::LineAccess::input(line).lengthUnit;
        const double metres = plattor::lengthUnitMetres(unit);
        val o = val::object();
        o.set("name", dimension);
        o.set("value", d.value);
        o.set("error", d.error);
        o.set("text", plattor::reportLine(dimension + " (solved)", d.value / metres, d.error / metres, unit));
        o.set("solution", solutionObject(d.solution));
        return o;
    });
}

// The cross-section with the potential of a mode, every length in the structure's unit: the
// window, the region raster (RGBA, row by row from the top, as a canvas takes it) and its key,
// the potential on a grid of `gridLong` points along the longer side, the field's arrows, the
// faces.
val picture(const std::string& kind, const val& options, bool odd, int gridLong) {
    return answer([&] {
        const plattor::Line line = lineOf(kind, options);
        const plattor::StructureInput& input = plattor::LineAccess::input(line);
        plattor::checkStructure(input.structure);
        if (odd && !input.structure.isPair()) throw Failure{"the odd mode needs a pair of traces (--s)", "s"};
        const plattor::LengthScale scale{input.lengthUnit, plattor::lengthUnitMetres(input.lengthUnit)};
        const plattor::CrossSectionDrawing d = plattor::crossSectionDrawing(input.structure, scale, odd, gridLong);
        val o = val::object();
        o.set("unit", input.lengthUnit);
        o.set("x0", d.x0);
        o.set("x1", d.x1);
        o.set("y0", d.y0);
        o.set("y1", d.y1);
        o.set("columns", d.columns);
        o.set("rows", d.rows);
        std::vector<unsigned char> rgba(static_cast<std::size_t>(d.columns) * d.rows * 4);
        for (int j = 0; j < d.rows; ++j)
            for (int i = 0; i < d.columns; ++i) {
                const std::size_t from = (static_cast<std::size_t>(j) * d.columns + i) * 3;
                const std::size_t to = (static_cast<std::size_t>(d.rows - 1 - j) * d.columns + i) * 4;
                for (int c = 0; c < 3; ++c) rgba[to + c] = static_cast<unsigned char>(d.image[from + c]);
                rgba[to + 3] = 255;
            }
        o.set("image", val(emscripten::typed_memory_view(rgba.size(), rgba.data())).call<val>("slice"));
        val key = val::array();
        for (const plattor::DrawnColour& c : d.key) {
            val entry = val::object();
            entry.set("colour", c.colour);
            entry.set("border", c.border);
            entry.set("label", c.label);
            key.call<void>("push", entry);
        }
        o.set("key", key);
        o.set("xs", float64Array(d.xs));
        o.set("ys", float64Array(d.ys));
        o.set("potential", float64Array(d.potential));
        const auto segments = [](const std::vector<plattor::DrawnSegment>& list) {
            std::vector<double> flat;
            for (const plattor::DrawnSegment& s : list) flat.insert(flat.end(), {s.x0, s.y0, s.x1, s.y1});
            return float64Array(flat);
        };
        o.set("arrows", segments(d.arrows));
        o.set("outlines", segments(d.outlines));
        o.set("thin", segments(d.thin));
        o.set("interfaces", segments(d.interfaces));
        o.set("levels", arrayOf(d.levels));
        o.set("title", d.title);
        o.set("options", d.options);
        return o;
    });
}

// A sweep as plattor-lines --sweep runs it ("s=0.1mm:0.3mm:3"), its points solved one at a time
// by whichever worker takes them: the plan once, then the CSV row of each point.
class Sweep {
public:
    Sweep(const std::string& kind, const val& options, const std::string& sweep)
        : failure_(answer([&] {
              const plattor::Line line = lineOf(kind, options);
              input_ = plattor::LineAccess::input(line);
              try {
                  request_ = plattor::parseSweep(sweep);
              } catch (const plattor::RunError& e) {
                  throw Failure{e.what(), "sweep"};
              }
              values_ = plattor::sweepValues(input_, request_);
              plattor::Structure first = input_.structure;
              first.*request_.option->field = values_.front();
              order_ = plattor::reportedQuantities(first, input_.lengthUnit);
              shown_ = plattor::plottedImpedances(first);
              return val::undefined();
          })) {}

    // The header line of the CSV, the points' values in the user's unit for the plot's axis with
    // its label, the quantities plotted; or the failure.
    val plan() const {
        if (!failure_.isUndefined()) return failure_;
        const plattor::StructureOption& option = *request_.option;
        const double scale = option.length ? 1.0 / plattor::lengthUnitMetres(input_.lengthUnit) : 1.0;
        std::vector<double> xs;
        for (const double v : values_) xs.push_back(v * scale);
        const std::string unit = input_.lengthUnit.empty() ? "length unit" : input_.lengthUnit;
        val o = val::object();
        o.set("header", plattor::csvLine(plattor::sweepHeader(option, order_)));
        o.set("count", static_cast<double>(values_.size()));
        o.set("xs", float64Array(xs));
        o.set("xLabel", option.length ? std::string(option.name) + " (" + unit + ")" : std::string(option.name));
        val shown = val::array();
        for (const plattor::Quantity q : shown_) {
            val s = val::object();
            s.set("key", plattor::quantityInfo(q).key);
            s.set("name", plattor::quantityInfo(q).name);
            shown.call<void>("push", s);
        }
        o.set("shown", shown);
        return o;
    }

    // Point k solved: its CSV row, and the plotted quantities' values and bars (ohm), or the
    // reason it has none.
    val point(int k) const {
        plattor::Structure s = input_.structure;
        s.*request_.option->field = values_.at(static_cast<std::size_t>(k));
        const plattor::StructureSolution solution = plattor::solveStructure(s);
        val o = val::object();
        o.set("row", plattor::csvLine(plattor::sweepRow(values_[k], order_, solution)));
        o.set("error", solution.error);
        std::vector<double> values, errors;
        for (const plattor::Quantity q : shown_) {
            values.push_back(solution.quantities.value[q]);
            errors.push_back(solution.quantities.error[q]);
        }
        o.set("values", float64Array(values));
        o.set("errors", float64Array(errors));
        return o;
    }

private:
    plattor::StructureInput input_;
    plattor::SweepRequest request_{};
    std::vector<double> values_;
    std::vector<plattor::Quantity> order_, shown_;
    val failure_;  // undefined where the sweep was planned; declared last, after what its plan fills
};

}  // namespace

EMSCRIPTEN_BINDINGS(plattor) {
    emscripten::function("version", +[] { return std::string(plattor::version()); });
    emscripten::function("structures", &structures);
    emscripten::function("check", &check);
    emscripten::function("solve", &solve);
    emscripten::function("solveFor", &solveFor);
    emscripten::function("picture", &picture);
    emscripten::class_<Sweep>("Sweep")
        .constructor<const std::string&, const val&, const std::string&>()
        .function("plan", &Sweep::plan)
        .function("point", &Sweep::point);
}
