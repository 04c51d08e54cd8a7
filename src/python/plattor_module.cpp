// The Python module plattor: plattor::lines' structures and quantities from Python, the GIL
// released while a line is solved so that threads solve lines side by side.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pythread.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "plattor/lines.hpp"
#include "plattor/dimension.hpp"
#include "section/structures.hpp"
#include "solver/interrupt.hpp"
#include "solver/solve.hpp"

namespace py = pybind11;

namespace {

// A solved line as Python holds it: plain values, so that it pickles (a process pool returns
// it from its workers).
struct Result {
    std::string kind;
    std::vector<plattor::Reading> quantities;
    std::string json;
    std::string text;

    explicit Result(const plattor::Solution& s) : kind(s.kind()), quantities(s.quantities()), json(s.json()), text(s.text()) {}
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

// plattor.Error, once the module has registered it.
PyObject* errorType = PyExc_ValueError;

std::string typeName(py::handle value) { return py::str(py::type::of(value).attr("__name__")); }

// Raises `type` with `message`, the exception Python has just set as its cause (raise … from e).
// What is no Exception (KeyboardInterrupt, SystemExit) goes on as it is.
[[noreturn]] void raiseFromPending(PyObject* type, const std::string& message) {
    py::error_already_set cause;
    if (!cause.matches(PyExc_Exception)) throw cause;
    py::raise_from(cause, cause.matches(PyExc_TypeError) ? PyExc_TypeError : type, message.c_str());
    throw py::error_already_set();
}

// A str as UTF-8; `type` with `message` where it has no UTF-8 form (a lone surrogate).
std::string utf8(py::handle text, PyObject* type, const std::string& message) {
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (bytes == nullptr) raiseFromPending(type, message);
    return std::string(bytes, static_cast<std::size_t>(size));
}

// float(value) as Python computes it; where that raises (an int beyond a double's range, a
// __float__ of the user's that fails), plattor.Error (TypeError for a TypeError) with that cause.
double numberOf(py::handle value, const std::string& what) {
    PyObject* number = PyNumber_Float(value.ptr());
    if (number == nullptr)
        raiseFromPending(errorType, what + " needs a number; float() of the " + typeName(value) + " given failed");
    const double x = PyFloat_AS_DOUBLE(number);
    Py_DECREF(number);
    return x;
}

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
        const std::string unexpected = function + "() got an unexpected keyword argument";
        const std::string keyword = utf8(key, PyExc_TypeError, unexpected);
        const std::string option = optionOfKeyword(keyword);
        if (option.empty()) throw py::type_error(unexpected + " '" + keyword + "'");
        if (value.is_none()) continue;
        if (py::isinstance<py::str>(value)) {
            line.set(option, utf8(value, errorType, "--" + option + " needs a length or a number, got a text not in UTF-8"));
        } else if (py::isinstance<py::bool_>(value) || !py::hasattr(value, "__float__")) {
            throw py::type_error(function + "() argument '" + keyword + "' must be a number or a text such as \"0.1mm\", not " +
                                 typeName(value));
        } else {
            line.set(option, numberOf(value, "--" + option));
        }
    }
    return line;
}

// Python's Ctrl-C for a solve on the main thread: Python's own handler only notes the signal,
// and the interpreter acts on it when asked (PyErr_CheckSignals, which leaves the
// KeyboardInterrupt pending). Other threads never see signals in Python.
unsigned long mainThread = 0;
bool ctrlCPressed() {
    if (PyThread_get_thread_ident() != mainThread) return false;
    py::gil_scoped_acquire locked;
    return PyErr_CheckSignals() != 0;
}

// f() with the GIL released; a solve stopped by Ctrl-C raises the pending KeyboardInterrupt. On
// a thread other than the main one (a pool's) the solve keeps to its thread: the pool already
// keeps every core busy, as a batch's does.
template <class F>
auto released(F&& f) {
    try {
        py::gil_scoped_release unlocked;
        if (PyThread_get_thread_ident() != mainThread) {
            const plattor::SolvesOnThisThreadOnly alone;
            return f();
        }
        return f();
    } catch (const plattor::Interrupted&) {
        if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
        throw py::error_already_set();
    }
}

Result solveReleased(const plattor::Line& line) {
    return released([&] { return Result(plattor::solve(line)); });
}

// A structure's docstring from its options' one table and its one description, the options with
// '_' for '-'.
std::string structureDoc(plattor::StructureKind kind) {
    const auto python = [](std::string text) {
        for (const plattor::StructureOption& o : plattor::structureOptions()) {
            const std::string name = o.name;
            if (name.find('-') == std::string::npos) continue;
            std::string underscored = name;
            std::replace(underscored.begin(), underscored.end(), '-', '_');
            for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + name.size()))
                text.replace(at, name.size(), underscored);
        }
        return text;
    };
    std::string needed, optional, options;
    for (const plattor::StructureOption& o : plattor::structureOptions()) {
        if (!(o.kinds & plattor::kindBit(kind))) continue;
        const std::string name = python(o.name);
        if (o.required & plattor::kindBit(kind)) needed += ", " + name;
        else optional += ", " + name + "=None";
        options += "\n  " + name + ": " + o.meaning;
    }
    std::string description = python(plattor::structureDescription(kind));
    description[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(description[0])));
    return std::string(plattor::structureName(kind)) + "(*" + needed + optional + ") -> Result\n\n" + description +
           ".\nLengths as numbers in any one unit, or each as text with a unit: \"0.1mm\", \"4mil\", \"35um\", "
           "\"1e-4m\". Raises plattor.Error for bad input.\n\nOptions:" + options;
}

// A float as Python writes it: the shortest text that reads back.
std::string reprOf(double x) { return py::repr(py::float_(x)); }
std::string reprOf(const std::string& text) { return py::repr(py::str(text)); }

std::string readingRepr(const plattor::Reading& r) {
    return "Quantity(key=" + reprOf(r.key) + ", value=" + reprOf(r.value) + ", error=" + reprOf(r.error) +
           ", unit=" + reprOf(r.unit) + ")";
}
bool sameReading(const plattor::Reading& a, const plattor::Reading& b) {
    return a.key == b.key && a.name == b.name && a.unit == b.unit && a.value == b.value && a.error == b.error;
}

py::tuple readingState(const plattor::Reading& r) { return py::make_tuple(r.key, r.name, r.unit, r.value, r.error); }

plattor::Reading readingOfState(const py::tuple& t) {
    return {t[0].cast<std::string>(), t[1].cast<std::string>(), t[2].cast<std::string>(), t[3].cast<double>(),
            t[4].cast<double>()};
}

py::tuple resultState(const Result& r) {
    py::list q;
    for (const plattor::Reading& reading : r.quantities) q.append(readingState(reading));
    return py::make_tuple(r.kind, q, r.json, r.text);
}

Result resultOfState(const py::tuple& t) {
    std::vector<plattor::Reading> q;
    for (const py::handle h : t[1].cast<py::list>()) q.push_back(readingOfState(h.cast<py::tuple>()));
    return Result(t[0].cast<std::string>(), std::move(q), t[2].cast<std::string>(), t[3].cast<std::string>());
}

}  // namespace

PYBIND11_MODULE(plattor, m) {
    m.doc() =
        "Converged transmission-line parameters with error bars: microstrip, stripline and coplanar\n"
        "cross-sections solved by plattor's boundary-element ladder. Every call solves one line and\n"
        "releases the GIL while it does, so a thread pool solves lines in parallel.";
    m.attr("__version__") = plattor::version();
    errorType = py::register_exception<plattor::Error>(m, "Error", PyExc_ValueError).ptr();
    mainThread = py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
    // A forked child's one thread is its main thread (a process pool's worker).
    py::module_::import("os").attr("register_at_fork")(
        py::arg("after_in_child") = py::cpp_function([] { mainThread = PyThread_get_thread_ident(); }));
    plattor::setInterruptPoll(&ctrlCPressed);

    py::class_<plattor::Reading>(m, "Quantity", "A converged value and the bound on its error, in SI units.")
        .def_readonly("key", &plattor::Reading::key, "as in plattor-lines' JSON: \"evenModeImpedance\"")
        .def_readonly("name", &plattor::Reading::name, "as in its text: \"even-mode impedance\"")
        .def_readonly("unit", &plattor::Reading::unit, "\"F/m\", \"ohm\", \"H/m\", \"s/m\", \"s/in\" or \"\"")
        .def_readonly("value", &plattor::Reading::value)
        .def_readonly("error", &plattor::Reading::error)
        .def("__float__", [](const plattor::Reading& r) { return r.value; })
        .def("__repr__", &readingRepr)
        .def("__str__", &plattor::Reading::text)
        .def("__eq__", [](const plattor::Reading& a, const plattor::Reading& b) { return sameReading(a, b); })
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
                for (const char* other : {"structure", "crossSection", "levels", "vacuumLevels"})
                    report.attr("pop")(other, py::none());
                return report;
            },
            "The quantities as in plattor-lines --json: key -> {\"value\": v, \"error\": e}, SI units;\n"
            "a pair's Maxwell matrices as maxwellMatrix and maxwellMatrixInAir, 2x2 lists.")
        .def_property_readonly(
            "structure", [](const Result& r) -> py::object { return r.report()["structure"]; },
            "The structure as solved: its options, lengths in metres where given with units")
        .def("json", [](const Result& r) { return r.json; }, "plattor-lines --json's text")
        .def("__str__", [](const Result& r) { return r.text; })
        .def("__repr__",
             [](const Result& r) {
                 std::string text = "<plattor.Result of a " + r.kind + ":";
                 for (const plattor::Reading& q : r.quantities)
                     text += (&q == &r.quantities[0] ? " " : ", ") + q.name + " " + q.text();
                 return text + ">";
             })
        // The JSON holds the structure and every value and bar to the last bit.
        .def("__eq__", [](const Result& a, const Result& b) { return a.json == b.json; })
        .def(py::pickle(&resultState, &resultOfState));

    for (const plattor::StructureKind kind :
         {plattor::StructureKind::microstrip, plattor::StructureKind::stripline, plattor::StructureKind::coplanar}) {
        const std::string name = plattor::structureName(kind);
        // pybind11 keeps the docstring's pointer: the text must outlive the module.
        static std::vector<std::string> docs;
        docs.push_back(structureDoc(kind));
        m.def(name.c_str(), [name](const py::kwargs& options) { return solveReleased(lineOf(name, options, name)); },
              docs.back().c_str());
    }

    m.def(
        "cross_section",
        [](const py::object& description) {
            // A dictionary as the file's JSON, or the name of a file.
            std::string text, name = "cross-section";
            if (py::isinstance<py::dict>(description)) {
                text = py::module_::import("json").attr("dumps")(description).cast<std::string>();
            } else {
                name = py::str(py::module_::import("os").attr("fspath")(description)).cast<std::string>();
                py::object file = py::module_::import("builtins").attr("open")(name, "r", py::arg("encoding") = "utf-8");
                text = file.attr("read")().cast<std::string>();
                file.attr("close")();
            }
            return released([&] { return Result(plattor::solveCrossSection(text, name)); });
        },
        py::arg("description"),
        "cross_section(description) -> Result\n\n"
        "Any board's cross-section, as a dictionary of the cross-section file's members (layers, planes,\n"
        "conductors, coating, pairs: docs/cross-section.md) or the name of such a file, solved as\n"
        "plattor-lines file solves it. One trace or a marked pair reports a structure's quantities; N\n"
        "signal conductors one quantity per value line of plattor-lines' text, keyed by its name there\n"
        "(r[\"C[p,n]\"], r[\"near-end crosstalk p,n\"]), and as_dict() their matrices.");

    struct Dimension {
        std::string name;
        double value;
        double error;
        Result result;
    };
    py::class_<Dimension>(m, "Dimension",
                          "A dimension found for a target (value ± error, in metres where the lengths\n"
                          "carry units, else as given), and the line solved there.")
        .def_readonly("name", &Dimension::name)
        .def_readonly("value", &Dimension::value)
        .def_readonly("error", &Dimension::error)
        .def_readonly("result", &Dimension::result)
        .def("__float__", [](const Dimension& d) { return d.value; })
        .def("__repr__",
             [](const Dimension& d) {
                 return "Dimension(name=" + reprOf(d.name) + ", value=" + reprOf(d.value) +
                        ", error=" + reprOf(d.error) + ")";
             })
        .def("__eq__",
             [](const Dimension& a, const Dimension& b) {
                 return a.name == b.name && a.value == b.value && a.error == b.error && a.result.json == b.result.json;
             })
        .def(py::pickle(
            [](const Dimension& d) { return py::make_tuple(d.name, d.value, d.error, resultState(d.result)); },
            [](const py::tuple& t) {
                return Dimension{t[0].cast<std::string>(), t[1].cast<double>(), t[2].cast<double>(),
                                 resultOfState(t[3].cast<py::tuple>())};
            }));
    m.def(
        "solve",
        [](const std::string& kind, const std::string& dimension, const std::string& quantity, const py::object& target,
           const py::kwargs& options) {
            const plattor::Line line = lineOf(kind, options, "solve");
            const double goal = numberOf(target, "the target");
            return released([&] {
                const plattor::Dimension d = plattor::solveFor(line, dimension, quantity, goal);
                return Dimension{dimension, d.value, d.error, Result(d.solution)};
            });
        },
        py::arg("kind"), py::arg("dimension"), py::arg("quantity"), py::arg("target"),
        "solve(kind, dimension, quantity, target, **options) -> Dimension\n\n"
        "The value of dimension (\"w\", \"s\", \"h\", ...) at which quantity (a key such as \"impedance\")\n"
        "equals target in SI units, the other options as for plattor.microstrip() and the like.");
}
