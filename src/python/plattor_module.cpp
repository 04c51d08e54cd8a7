// The Python module plattor: plattor::lines' structures and quantities from Python, the GIL
// released while a line is solved so that threads solve lines side by side.
#include <pybind11/complex.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pythread.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "plattor/lines.hpp"
#include "api/line_access.hpp"
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

// A line solved with its losses: the line's quantities as a Result, and the losses.
struct LossResult : Result {
    plattor::LossSolution losses;
    explicit LossResult(const plattor::LossSolution& l) : Result(l.solution()), losses(l) {}
    LossResult(Result r, plattor::LossSolution l) : Result(std::move(r)), losses(std::move(l)) {}
};

// The loss keywords of a call, taken out of its options: freq (Hz, a number or a sequence of
// them), dk_model, dk_freq (Hz), sigma (S/m), roughness, rq and rz (m).
struct LossKeywords {
    bool any = false;
    std::vector<double> frequencies;
    plattor::LossSettings settings;
};

LossKeywords takeLossKeywords(py::dict& options, const std::string& function) {
    LossKeywords k;
    const auto taken = [&](const char* keyword) -> py::object {
        if (!options.contains(keyword)) return py::none();
        py::object value = options[keyword];
        PyDict_DelItemString(options.ptr(), keyword);
        k.any = k.any || !value.is_none();
        return value;
    };
    const auto isNumber = [](py::handle v) { return !py::isinstance<py::bool_>(v) && py::hasattr(v, "__float__"); };
    const auto number = [&](const char* keyword, const char* option, std::optional<double>& to) {
        const py::object v = taken(keyword);
        if (v.is_none()) return;
        if (!isNumber(v) || py::isinstance<py::str>(v))
            throw py::type_error(function + "() argument '" + keyword + "' must be a number, not " + typeName(v));
        to = numberOf(v, option);
    };
    const auto text = [&](const char* keyword, const char* option, std::optional<std::string>& to) {
        const py::object v = taken(keyword);
        if (v.is_none()) return;
        if (!py::isinstance<py::str>(v))
            throw py::type_error(function + "() argument '" + keyword + "' must be a text, not " + typeName(v));
        to = utf8(v, errorType, std::string(option) + " needs a text in UTF-8");
    };
    const py::object freq = taken("freq");
    if (!freq.is_none()) {
        if (isNumber(freq) && !py::isinstance<py::str>(freq)) {
            k.frequencies.push_back(numberOf(freq, "--freq"));
        } else if (py::isinstance<py::str>(freq) || py::isinstance<py::bool_>(freq) || !py::hasattr(freq, "__iter__")) {
            throw py::type_error(function + "() argument 'freq' must be a number or a sequence of numbers (Hz), not " +
                                 typeName(freq));
        } else {
            for (const py::handle f : freq) {
                if (!isNumber(f) || py::isinstance<py::str>(f))
                    throw py::type_error(function + "() argument 'freq' must hold numbers (Hz), not " + typeName(f));
                k.frequencies.push_back(numberOf(f, "--freq"));
            }
        }
    }
    text("dk_model", "--dk-model", k.settings.dkModel);
    number("dk_freq", "--dk-freq", k.settings.dkFreq);
    number("sigma", "--sigma", k.settings.sigma);
    text("roughness", "--roughness", k.settings.roughness);
    number("rq", "--rq", k.settings.rq);
    number("rz", "--rz", k.settings.rz);
    return k;
}

// A structure's call: the line alone, or with its losses where a loss keyword is given.
py::object solveStructure(const std::string& kind, const py::kwargs& given) {
    py::dict options = py::dict(given);
    const LossKeywords losses = takeLossKeywords(options, kind);
    const plattor::Line line = lineOf(kind, py::kwargs(options), kind);
    if (!losses.any) return py::cast(solveReleased(line));
    return py::cast(released([&] { return LossResult(plattor::solveLosses(line, losses.frequencies, losses.settings)); }));
}

const char* const lossKeywordsDoc =
    "\n  freq: frequencies of the losses, Hz (a number or a list, increasing)"
    "\n  dk_model: \"constant\" (the default) or \"wideband\" (Djordjevic-Sarkar)"
    "\n  dk_freq: where er and tan delta hold under \"wideband\", Hz (1e9)"
    "\n  sigma: the conductors' conductivity, S/m (5.8e7)"
    "\n  roughness: \"hammerstad\" or \"groisse\" (with rq), \"huray\" (with rz)"
    "\n  rq, rz: the surface's RMS and ten-point heights, m";

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
           "\"1e-4m\". Raises plattor.Error for bad input.\n\nWith freq= (Hz, a number or a list) the line's losses "
           "too, its lengths with units: a LossResult.\n\nOptions:" + options + lossKeywordsDoc;
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

py::tuple lossesState(const plattor::FrequencyLosses& f) {
    py::list modes, pair;
    for (const std::vector<plattor::Reading>& mode : f.modes) {
        py::list readings;
        for (const plattor::Reading& r : mode) readings.append(readingState(r));
        modes.append(readings);
    }
    for (const plattor::Reading& r : f.pair) pair.append(readingState(r));
    return py::make_tuple(f.frequency, modes, pair, f.series, f.shunt);
}

plattor::FrequencyLosses lossesOfState(const py::tuple& t) {
    plattor::FrequencyLosses f{t[0].cast<double>(), {}, {}, t[3].cast<std::vector<std::complex<double>>>(),
                               t[4].cast<std::vector<std::complex<double>>>()};
    for (const py::handle mode : t[1].cast<py::list>()) {
        f.modes.emplace_back();
        for (const py::handle r : mode.cast<py::list>()) f.modes.back().push_back(readingOfState(r.cast<py::tuple>()));
    }
    for (const py::handle r : t[2].cast<py::list>()) f.pair.push_back(readingOfState(r.cast<py::tuple>()));
    return f;
}

std::vector<plattor::Reading> allReadings(const plattor::FrequencyLosses& f) {
    std::vector<plattor::Reading> all;
    for (const std::vector<plattor::Reading>& mode : f.modes) all.insert(all.end(), mode.begin(), mode.end());
    all.insert(all.end(), f.pair.begin(), f.pair.end());
    return all;
}

py::tuple lossResultState(const LossResult& r) {
    const plattor::LossSolution& l = r.losses;
    py::list frequencies;
    for (const plattor::FrequencyLosses& f : l.frequencies()) frequencies.append(lossesState(f));
    const plattor::WElementModel& w = l.wElement();
    return py::make_tuple(resultState(r), frequencies, l.models(), l.conductorLoss(),
                          py::make_tuple(w.n, w.r0, w.l0, w.g0, w.c0, w.rs, w.gd), l.json(), l.text());
}

LossResult lossResultOfState(const py::tuple& t) {
    Result line = resultOfState(t[0].cast<py::tuple>());
    std::vector<plattor::FrequencyLosses> frequencies;
    for (const py::handle f : t[1].cast<py::list>()) frequencies.push_back(lossesOfState(f.cast<py::tuple>()));
    const py::tuple w = t[4].cast<py::tuple>();
    const auto column = [&](std::size_t k) { return w[k].cast<std::vector<double>>(); };
    plattor::LossSolution losses = plattor::LineAccess::lossSolution(
        plattor::LineAccess::solution(line.quantities, line.json, line.text), std::move(frequencies),
        t[2].cast<std::vector<std::pair<std::string, std::string>>>(), t[3].cast<std::string>(),
        {w[0].cast<std::size_t>(), column(1), column(2), column(3), column(4), column(5), column(6)},
        t[5].cast<std::string>(), t[6].cast<std::string>());
    return LossResult(std::move(line), std::move(losses));
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

    py::class_<plattor::FrequencyLosses>(
        m, "FrequencyLosses",
        "A line's losses at one frequency: each quantity as an attribute by its JSON key\n"
        "(f.attenuation, a pair's f.evenModeAttenuation), or f[\"attenuation\"]; per mode in f.modes.")
        .def_readonly("frequency", &plattor::FrequencyLosses::frequency, "Hz")
        .def_readonly("modes", &plattor::FrequencyLosses::modes,
                      "per mode (a single trace's; a pair's even, then odd mode) its quantities, per trace")
        .def_readonly("pair", &plattor::FrequencyLosses::pair, "a pair's differential and common-mode impedances")
        .def_readonly("series", &plattor::FrequencyLosses::series, "Z = R + jwL, ohm/m, N x N row-major")
        .def_readonly("shunt", &plattor::FrequencyLosses::shunt, "Y = G + jwC, S/m, N x N row-major")
        .def("keys",
             [](const plattor::FrequencyLosses& f) {
                 std::vector<std::string> keys;
                 for (const plattor::Reading& r : allReadings(f)) keys.push_back(r.key);
                 return keys;
             })
        .def("__getitem__",
             [](const plattor::FrequencyLosses& f, const std::string& key) {
                 for (const plattor::Reading& r : allReadings(f))
                     if (r.key == key) return r;
                 throw py::key_error(key);
             })
        .def("__getattr__",
             [](const plattor::FrequencyLosses& f, const std::string& key) {
                 for (const plattor::Reading& r : allReadings(f))
                     if (r.key == key) return r;
                 throw py::attribute_error("these losses have no quantity '" + key + "'");
             })
        .def("__repr__",
             [](const plattor::FrequencyLosses& f) {
                 std::string text = "<plattor.FrequencyLosses at " + reprOf(f.frequency) + " Hz:";
                 const std::vector<plattor::Reading> all = allReadings(f);
                 for (const plattor::Reading& q : all) text += (&q == &all[0] ? " " : ", ") + q.name + " " + q.text();
                 return text + ">";
             })
        .def("__eq__",
             [](const plattor::FrequencyLosses& a, const plattor::FrequencyLosses& b) {
                 const std::vector<plattor::Reading> x = allReadings(a), y = allReadings(b);
                 return a.frequency == b.frequency && a.series == b.series && a.shunt == b.shunt &&
                        std::equal(x.begin(), x.end(), y.begin(), y.end(), sameReading);
             })
        .def(py::pickle(&lossesState, &lossesOfState));

    py::class_<LossResult, Result>(
        m, "LossResult",
        "A line solved with its losses: its quantities as a Result, and r.losses, one FrequencyLosses\n"
        "per frequency; r.write_touchstone(file, length) and r.write_rlgc(file) write its files.")
        .def_property_readonly(
            "losses", [](const LossResult& r) { return r.losses.frequencies(); }, "one FrequencyLosses per frequency")
        .def_property_readonly(
            "loss_models",
            [](const LossResult& r) {
                py::dict models;
                for (const auto& [name, model] : r.losses.models()) models[py::str(name)] = model;
                return models;
            },
            "the models behind the values (no error bar): dielectric, conductor, DC to skin effect")
        .def_property_readonly(
            "conductor_loss", [](const LossResult& r) { return r.losses.conductorLoss(); },
            "why there is no conductor loss (a trace of zero thickness), or \"\"")
        .def_property_readonly(
            "w_element",
            [](const LossResult& r) {
                const plattor::WElementModel& w = r.losses.wElement();
                py::dict d;
                d["n"] = w.n, d["r0"] = w.r0, d["l0"] = w.l0, d["g0"] = w.g0, d["c0"] = w.c0, d["rs"] = w.rs,
                d["gd"] = w.gd;
                return d;
            },
            "the W-element model, N x N row-major lists: R(f) = r0 + rs(1 + j)sqrt(f), G(f) = g0 + gd f, l0, c0")
        .def(
            "write_touchstone",
            [](const LossResult& r, const py::object& file, const py::object& length, const py::object& zRef) {
                const std::string name = py::str(py::module_::import("os").attr("fspath")(file));
                const double metres = numberOf(length, "--length"), reference = numberOf(zRef, "--z-ref");
                released([&] { r.losses.writeTouchstone(name, metres, reference); });
            },
            py::arg("file"), py::arg("length"), py::arg("z_ref") = 50.0,
            "The S-parameters of length metres of the line, every port referred to z_ref ohm, as a\n"
            "Touchstone 2.0 file *.s2p (a single trace) or *.s4p (a pair: ports 1, 2 the near ends).")
        .def(
            "write_rlgc",
            [](const LossResult& r, const py::object& file) {
                const std::string name = py::str(py::module_::import("os").attr("fspath")(file));
                released([&] { r.losses.writeRlgc(name); });
            },
            py::arg("file"), "The W-element model as an HSPICE RLGC file.")
        .def("json", [](const LossResult& r) { return r.losses.json(); }, "plattor-lines --freq … --json's text")
        .def("__str__", [](const LossResult& r) { return r.losses.text(); })
        .def("__dir__",
             [](const LossResult& r) {
                 std::vector<std::string> names = r.keys();
                 for (const char* n : {"as_dict", "json", "keys", "kind", "quantities", "structure", "losses",
                                       "loss_models", "conductor_loss", "w_element", "write_touchstone", "write_rlgc"})
                     names.emplace_back(n);
                 return names;
             })
        .def("__repr__",
             [](const LossResult& r) {
                 const std::size_t n = r.losses.frequencies().size();
                 return "<plattor.LossResult of a " + r.kind + " at " + std::to_string(n) + " frequenc" +
                        (n == 1 ? "y" : "ies") + ">";
             })
        .def("__eq__", [](const LossResult& a, const LossResult& b) { return a.losses.json() == b.losses.json(); })
        .def(py::pickle(&lossResultState, &lossResultOfState));

    for (const plattor::StructureKind kind :
         {plattor::StructureKind::microstrip, plattor::StructureKind::stripline, plattor::StructureKind::coplanar}) {
        const std::string name = plattor::structureName(kind);
        // pybind11 keeps the docstring's pointer: the text must outlive the module.
        static std::vector<std::string> docs;
        docs.push_back(structureDoc(kind));
        m.def(name.c_str(), [name](const py::kwargs& options) { return solveStructure(name, options); },
              docs.back().c_str());
    }

    m.def(
        "cross_section",
        [](const py::object& description, const py::kwargs& given) {
            py::dict options = py::dict(given);
            const LossKeywords losses = takeLossKeywords(options, "cross_section");
            for (const auto& [key, value] : options)
                throw py::type_error("cross_section() got an unexpected keyword argument '" +
                                     utf8(key, PyExc_TypeError, "cross_section() got an unexpected keyword argument") + "'");
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
            if (losses.any)
                return py::cast(released([&] {
                    return LossResult(plattor::solveCrossSectionLosses(text, losses.frequencies, losses.settings, name));
                }));
            return py::cast(released([&] { return Result(plattor::solveCrossSection(text, name)); }));
        },
        py::arg("description"),
        "cross_section(description, **losses) -> Result\n\n"
        "Any board's cross-section, as a dictionary of the cross-section file's members (layers, planes,\n"
        "conductors, coating, pairs: docs/cross-section.md) or the name of such a file, solved as\n"
        "plattor-lines file solves it. One trace or a marked pair reports a structure's quantities; N\n"
        "signal conductors one quantity per value line of plattor-lines' text, keyed by its name there\n"
        "(r[\"C[p,n]\"], r[\"near-end crosstalk p,n\"]), and as_dict() their matrices. With freq= and the\n"
        "loss keywords of plattor.microstrip() a LossResult of one trace or a marked pair.");

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
