// The Python module plattor: plattor::lines' structures and quantities from Python, the GIL
// released while a line is solved so that threads solve lines side by side.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <utility>
#include <vector>

#include "plattor/lines.hpp"
#ifdef PLATTOR_HAS_DIMENSION
#include "plattor/dimension.hpp"
#endif

namespace py = pybind11;

namespace {

// A solved line as Python holds it: plain values, so that it pickles (a process pool returns
// it from its workers).
struct Result {
    std::string kind;
    std::vector<plattor::Reading> quantities;
    std::string json;
    std::string text;

    explicit Result(const plattor::Solution& s) : kind(s.line().kind()), quantities(s.quantities()), json(s.json()), text(s.text()) {}
    Result(std::string k, std::vector<plattor::Reading> q, std::string j, std::string t)
        : kind(std::move(k)), quantities(std::move(q)), json(std::move(j)), text(std::move(t)) {}

    const plattor::Reading* find(const std::string& key) const {
        for (const plattor::Reading& r : quantities)
            if (r.key == key) return &r;
        return nullptr;
    }
    std::vector<std::string> keys() const {
        std::vector<std::string> k;
        for (const plattor::Reading& r : quantities) k.push_back(r.key);
        return k;
    }
    // The report as Python objects, through the json module: exactly what plattor-lines --json gives.
    py::dict report() const { return py::module_::import("json").attr("loads")(json); }
};

// The option of a keyword ("w_top" is "w-top"), or empty where the structures have none.
std::string optionOfKeyword(const std::string& keyword) {
    std::string option = keyword;
    for (char& c : option)
        if (c == '_') c = '-';
    for (const std::string& o : plattor::Line::options())
        if (o == option && keyword.find('-') == std::string::npos) return option;
    return {};
}

// A line of that kind from keyword options: numbers are lengths in any one unit (or
// permittivities), text as on the command line ("0.1mm"); None leaves an option out.
plattor::Line lineOf(const std::string& kind, const py::kwargs& options, const std::string& function) {
    plattor::Line line(kind);
    for (const auto& [key, value] : options) {
        const std::string keyword = py::str(key);
        const std::string option = optionOfKeyword(keyword);
        if (option.empty()) throw py::type_error(function + "() got an unexpected keyword argument '" + keyword + "'");
        if (value.is_none()) continue;
        if (py::isinstance<py::str>(value)) {
            line.set(option, value.cast<std::string>());
        } else if (py::isinstance<py::bool_>(value) || !py::hasattr(value, "__float__")) {
            throw py::type_error(function + "() argument '" + keyword + "' must be a number or a text such as \"0.1mm\", not " +
                                 std::string(py::str(py::type::of(value).attr("__name__"))));
        } else {
            line.set(option, value.cast<double>());
        }
    }
    return line;
}

Result solveReleased(const plattor::Line& line) {
    py::gil_scoped_release unlocked;
    return Result(plattor::solve(line));
}

const char* structureDoc(const char* kind) {
    static const std::string microstrip =
        "microstrip(*, w, h, er, t=None, s=None, w_top=None, mask=None, mask_er=None, cover=None, cover_er=None) -> Result\n\n"
        "A trace (a pair with s, the gap between their bottom edges) of bottom width w, top width w_top and\n"
        "thickness t on a substrate of height h and relative permittivity er over a plane; a solder mask\n"
        "(mask, mask_er) or a cover layer (cover, cover_er). Lengths as numbers in any one unit, or each\n"
        "as text with a unit: \"0.1mm\", \"4mil\", \"35um\", \"1e-4m\". Raises plattor.Error for bad input.";
    static const std::string stripline =
        "stripline(*, w, h, b, er, er_top=None, t=None, s=None, w_top=None) -> Result\n\n"
        "Traces with their bottoms at h between planes b apart, er below them and er_top above.\n"
        "Lengths as numbers in any one unit, or each as text with a unit (\"0.1mm\").";
    static const std::string coplanar =
        "coplanar(*, w, h, g, er, ground_width=None, t=None, s=None, w_top=None, mask=None, mask_er=None) -> Result\n\n"
        "The microstrip with grounds g from the traces' outer bottom edges, ground_width wide\n"
        "(infinite if not given). Lengths as numbers in any one unit, or each as text with a unit.";
    const std::string k = kind;
    return (k == "microstrip" ? microstrip : k == "stripline" ? stripline : coplanar).c_str();
}

py::tuple readingState(const plattor::Reading& r) { return py::make_tuple(r.key, r.name, r.unit, r.value, r.error); }

plattor::Reading readingOfState(const py::tuple& t) {
    return {t[0].cast<std::string>(), t[1].cast<std::string>(), t[2].cast<std::string>(), t[3].cast<double>(),
            t[4].cast<double>()};
}

}  // namespace

PYBIND11_MODULE(plattor, m) {
    m.doc() =
        "Converged transmission-line parameters with error bars: microstrip, stripline and coplanar\n"
        "cross-sections solved by plattor's boundary-element ladder. Every call solves one line and\n"
        "releases the GIL while it does, so a thread pool solves lines in parallel.";
    m.attr("__version__") = plattor::version();
    py::register_exception<plattor::Error>(m, "Error", PyExc_ValueError);

    py::class_<plattor::Reading>(m, "Quantity", "A converged value and the bound on its error, in SI units.")
        .def_readonly("key", &plattor::Reading::key, "as in plattor-lines' JSON: \"evenModeImpedance\"")
        .def_readonly("name", &plattor::Reading::name, "as in its text: \"even-mode impedance\"")
        .def_readonly("unit", &plattor::Reading::unit, "\"F/m\", \"ohm\", \"H/m\", \"s/m\" or \"\"")
        .def_readonly("value", &plattor::Reading::value)
        .def_readonly("error", &plattor::Reading::error)
        .def("__float__", [](const plattor::Reading& r) { return r.value; })
        .def("__repr__", [](const plattor::Reading& r) { return "<" + r.name + ": " + r.text() + ">"; })
        .def("__str__", &plattor::Reading::text)
        .def(py::pickle(&readingState, &readingOfState));

    py::class_<Result>(m, "Result",
                       "A solved line: each quantity it reports as an attribute by its JSON key\n"
                       "(r.impedance.value, r.impedance.error), or r[\"impedance\"].")
        .def_readonly("kind", &Result::kind)
        .def_readonly("quantities", &Result::quantities, "every quantity, in plattor-lines' order")
        .def("keys", &Result::keys)
        .def("__contains__", [](const Result& r, const std::string& key) { return r.find(key) != nullptr; })
        .def("__getitem__",
             [](const Result& r, const std::string& key) {
                 if (const plattor::Reading* q = r.find(key)) return *q;
                 throw py::key_error(key);
             })
        .def("__getattr__",
             [](const Result& r, const std::string& key) {
                 if (const plattor::Reading* q = r.find(key)) return *q;
                 throw py::attribute_error("this " + r.kind + " has no quantity '" + key + "'");
             })
        .def("__dir__",
             [](const Result& r) {
                 std::vector<std::string> names = r.keys();
                 for (const char* n : {"as_dict", "json", "keys", "kind", "quantities", "structure"}) names.emplace_back(n);
                 return names;
             })
        .def(
            "as_dict",
            [](const Result& r) {
                py::dict report = r.report();
                for (const char* other : {"structure", "levels", "vacuumLevels"}) report.attr("pop")(other);
                return report;
            },
            "The quantities as in plattor-lines --json: key -> {\"value\": v, \"error\": e}, SI units;\n"
            "a pair's Maxwell matrices as maxwellMatrix and maxwellMatrixInAir, 2x2 lists.")
        .def_property_readonly(
            "structure", [](const Result& r) -> py::object { return r.report()["structure"]; },
            "The structure as solved: its options, lengths in metres where given with units")
        .def("json", [](const Result& r) { return r.json; }, "plattor-lines --json's text")
        .def("__str__", [](const Result& r) { return r.text; })
        .def("__repr__", [](const Result& r) { return "<plattor.Result of a " + r.kind + ">"; })
        .def(py::pickle(
            [](const Result& r) {
                py::list q;
                for (const plattor::Reading& reading : r.quantities) q.append(readingState(reading));
                return py::make_tuple(r.kind, q, r.json, r.text);
            },
            [](const py::tuple& t) {
                std::vector<plattor::Reading> q;
                for (const py::handle h : t[1].cast<py::list>()) q.push_back(readingOfState(h.cast<py::tuple>()));
                return Result(t[0].cast<std::string>(), std::move(q), t[2].cast<std::string>(), t[3].cast<std::string>());
            }));

    for (const char* kind : {"microstrip", "stripline", "coplanar"}) {
        const std::string name = kind;
        m.def(kind, [name](const py::kwargs& options) { return solveReleased(lineOf(name, options, name)); },
              structureDoc(kind));
    }

#ifdef PLATTOR_HAS_DIMENSION
    struct Dimension {
        double value;
        double error;
        Result result;
    };
    py::class_<Dimension>(m, "Dimension", "A dimension found for a target, and the line solved there.")
        .def_readonly("value", &Dimension::value)
        .def_readonly("error", &Dimension::error)
        .def_readonly("result", &Dimension::result)
        .def("__float__", [](const Dimension& d) { return d.value; });
    m.def(
        "solve",
        [](const std::string& kind, const std::string& dimension, const std::string& quantity, double target,
           const py::kwargs& options) {
            const plattor::Line line = lineOf(kind, options, "solve");
            py::gil_scoped_release unlocked;
            const plattor::Dimension d = plattor::solveFor(line, dimension, quantity, target);
            return Dimension{d.value, d.error, Result(d.solution)};
        },
        py::arg("kind"), py::arg("dimension"), py::arg("quantity"), py::arg("target"),
        "solve(kind, dimension, quantity, target, **options) -> Dimension\n\n"
        "The value of dimension (\"w\", \"s\", \"h\", ...) at which quantity (a key such as \"impedance\")\n"
        "equals target in SI units, the other options as for plattor.microstrip() and the like.");
#endif
}
