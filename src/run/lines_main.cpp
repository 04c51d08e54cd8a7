// plattor-lines: converged line parameters with error bars. Without a structure it reads
// indata3.txt like plattor and reports its strip pair (with --er on a board as wide as the
// plane); `microstrip`, `stripline` and `coplanar` describe a board's cross-section by options.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "design/parallel.hpp"
#include "design/plots.hpp"
#include "lines/quantities.hpp"
#include "base/error.hpp"
#include "base/text.hpp"
#include "physics/constants.hpp"
#include "report/report.hpp"
#include "run/board_runs.hpp"
#include "run/console.hpp"
#include "run/design_runs.hpp"
#include "run/geometry.hpp"
#include "run/gnuplot.hpp"
#include "run/input.hpp"
#include "run/loss_runs.hpp"
#include "run/signals.hpp"
#include "run/stackup_run.hpp"
#include "section/structure_arguments.hpp"
#include "section/pair_sections.hpp"
#include "section/structures.hpp"
#include "moment/solution/capacitance.hpp"
#include "solver/interrupt.hpp"

namespace {

using namespace plattor;

// The usage, each structure's options from their one table.
std::string usage() {
    std::string text = "usage: plattor-lines [--er EPS] [--json] [--help] [--version]\n";
    for (const StructureKind kind : {StructureKind::microstrip, StructureKind::stripline, StructureKind::coplanar})
        text += std::string("       plattor-lines ") + structureName(kind) + " " + structureUsage(kind) + " [--json]\n";
    return text +
           "       plattor-lines STRUCTURE … --describe\n"
           "       plattor-lines file CROSS_SECTION.json|- [--json] [--picture FILE [--excite NAME=VOLTS,…]]\n"
           "       plattor-lines file CROSS_SECTION.json --sweep PATH=FROM:TO:COUNT [--sweep-log] [--threads N]\n"
           "       plattor-lines file CROSS_SECTION.json --solve PATH --target QUANTITY=OHM [--json]\n"
           "       plattor-lines STRUCTURE … --solve NAME --target QUANTITY=OHM [--json] [--picture FILE [--mode even|odd]]\n"
           "       plattor-lines STRUCTURE … --sweep NAME=FROM:TO:COUNT [--sweep-log] [--plot FILE] [--threads N]\n"
           "       plattor-lines STRUCTURE … --picture FILE.png|FILE.svg [--mode even|odd] [--json]\n"
           "       plattor-lines --batch FILE.csv|- [--threads N]\n"
           "       plattor-lines stackup FILE.kicad_pcb [--planes LAYER,…] [--z OHM,…] [--zdiff OHM,…]\n"
           "                     [--gap G | --width W] [--mask M] [--mask-er E] [--etch E] [--dk-tol T]\n"
           "                     [--json | --csv] [--rules FILE.kicad_dru] [--threads N]\n"
           "                     [--freq F [--sigma S] [--roughness … --rq L|--rz L] [--dk-model …]]\n" +
           lossUsage;
}

// Text broken into lines of at most 100 characters at blanks.
std::string wrapped(const std::string& text) {
    std::string out, line;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t blank = text.find(' ', from);
        const std::string word = text.substr(from, blank == std::string::npos ? std::string::npos : blank - from);
        if (!line.empty() && line.size() + 1 + word.size() > 100) out += line + "\n", line.clear();
        line += (line.empty() ? "" : " ") + word;
        from = blank == std::string::npos ? text.size() : blank + 1;
    }
    return out + line + "\n";
}

// What the structures are, from their one description each.
std::string structuresHelp() {
    std::string text;
    for (const StructureKind kind : {StructureKind::microstrip, StructureKind::stripline, StructureKind::coplanar})
        text += wrapped(std::string(structureName(kind)) + ": " + structureDescription(kind) + ".");
    return text +
           "--mask goes with --mask-er, --cover with --cover-er; a mask and a cover exclude each other.\n";
}

// Before the structures' descriptions.
constexpr const char* helpPair =
    "Converged capacitances and line impedances with an error bar.\n"
    "Without a structure: reads indata3.txt (ground-plane width, strip width, centre distance, height;\n"
    "width 0: no plane) like plattor and prints the strip-to-strip and strip-to-ground capacitance at\n"
    "plattor's own segment counts N and converged, the Maxwell matrix of the strips and the mode\n"
    "capacitances and impedances of the pair in free space. --er EPS puts the strips on a board of\n"
    "relative permittivity EPS as wide as the ground plane.\n";

// After the structures' descriptions.
constexpr const char* helpDesign =
    "Lengths in one unit of your choice, or each with a suffix m, mm, um or mil.\n"
    "--json prints the same as one JSON object in SI units. --version prints the version.\n"
    "file CROSS_SECTION.json: any board's cross-section (layers, planes, traces, wires, polygons, a\n"
    "mask; docs/cross-section.md); N signal conductors get their Maxwell, inductance and impedance\n"
    "matrices, modes and crosstalk. --describe prints the cross-section file of a structure.\n"
    "--solve NAME --target QUANTITY=OHM: the length NAME (w, s, g, h, t, …) that gives the impedance\n"
    "QUANTITY (impedance; a pair's differentialImpedance, commonModeImpedance, evenModeImpedance,\n"
    "oddModeImpedance) the value OHM, with its uncertainty, then the report there.\n"
    "--sweep NAME=FROM:TO:COUNT: CSV of every quantity at COUNT values of NAME (--sweep-log: in a\n"
    "constant ratio); --plot FILE.png|.svg draws the impedances against it.\n"
    "--batch FILE.csv: a header of structure and option columns (w, w_top, t, s, h, b, er, …), one\n"
    "structure a row; prints the rows with every quantity and its error, on all cores or --threads N.\n"
    "--picture FILE.png|.svg: the cross-section with the equipotentials and field of the even or odd\n"
    "mode (--mode; a pair's odd one by default). Pictures need gnuplot.\n"
    "stackup FILE.kicad_pcb: from the board's layer stack, for every signal layer (an outer one a\n"
    "microstrip, an inner one a stripline between the nearest planes) the width for each --z target\n"
    "(default 50) and the width and gap for each --zdiff target (default 90,100; none: no pairs), the gap\n"
    "held (--gap), the width held (--width) or equal to the width; the impedance's change for ±--etch on\n"
    "the width (12.5um) and ±--dk-tol on the laminate's er (5%). Planes: the copper layers typed power\n"
    "and, where the board has tracks, those without one, or --planes. Bare lengths in mm. --rules\n"
    "writes the widths as KiCad custom rules, one net class a target (Z50, Zdiff90). --freq F (one\n"
    "frequency) adds each row's attenuation there (a pair's differential one) with the loss options below,\n"
    "the board's loss tangents (loss_tangent) read with its stack.\n";

struct Options {
    bool json = false;
    bool help = false;
    bool version = false;
    std::optional<double> permittivity;        // --er without a structure
    std::optional<StructureInput> structure;   // a structure from its options
    std::optional<std::string> boardFile;      // file FILE: a cross-section file
    bool describe = false;                     // --describe: a structure's cross-section file
    std::optional<std::string> solve;          // --solve NAME
    std::optional<SolveRequest> target;        // --target, the dimension filled in from --solve
    std::optional<SweepRequest> sweep;
    bool sweepLog = false;
    std::optional<std::string> plot;
    std::optional<PictureRequest> picture;
    std::optional<bool> odd;                   // --mode
    std::optional<std::string> batch;
    std::optional<std::string> excite;         // --excite NAME=VOLTS,… for a file's picture
    std::optional<unsigned> threads;
    LossOptions losses;                        // --freq and the loss options
};

// The value after an option; raises RunError where there is none or the option came before.
template <class T>
const char* valueOf(int argc, char** argv, int& k, const std::optional<T>& already) {
    const std::string option = argv[k];
    if (already) throw RunError(option + " is given twice");
    if (k + 1 >= argc) throw RunError(option + " needs a value");
    return argv[++k];
}

unsigned parseThreads(const std::string& text) {
    unsigned threads = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), threads);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || threads < 1 || threads > 4096)
        throw RunError("--threads needs a whole number from 1 to 4096, got \"" + printableExcerpt(text) + "\"");
    return threads;
}

// Whether the options go together: each design option with what it needs, nothing it excludes.
void checkCombination(const Options& o) {
    const auto refuse = [](const std::string& why) { throw RunError(why); };
    if (o.help || o.version) return;
    if (o.describe && !o.structure) refuse("--describe needs a structure: microstrip, stripline or coplanar first");
    if (o.describe && (o.solve || o.target || o.sweep || o.picture || o.json || o.batch))
        refuse("--describe prints the structure's cross-section file and takes no other option");
    if (!o.structure && !o.boardFile) {
        for (const auto& [given, name] : {std::pair{bool(o.solve), "--solve"}, {bool(o.target), "--target"},
                                          {bool(o.sweep), "--sweep"}, {bool(o.picture), "--picture"}})
            if (given) refuse(std::string(name) + " needs a structure: microstrip, stripline or coplanar first");
    }
    if (o.boardFile && o.permittivity) refuse("a cross-section file gives every permittivity itself: no --er with it");
    if (o.batch && (o.structure || o.permittivity || o.json))
        refuse("--batch takes its structures from the file and no options but --threads");
    if (o.threads && !o.batch && !o.sweep) refuse("--threads goes with --batch or --sweep");
    if (o.solve.has_value() != o.target.has_value()) refuse("--solve NAME and --target QUANTITY=OHM go together");
    if (o.sweepLog && !o.sweep) refuse("--sweep-log goes with --sweep");
    if (o.plot && !o.sweep) refuse("--plot goes with --sweep (a cross-section is drawn by --picture)");
    if (o.sweep && (o.solve || o.picture || o.json)) refuse("--sweep prints CSV: no --solve, --picture or --json with it");
    if (o.odd && !o.picture) refuse("--mode goes with --picture");
    if (o.excite && (!o.boardFile || !o.picture)) refuse("--excite goes with a cross-section file's --picture");
    if (o.boardFile && o.odd) refuse("a cross-section file's picture takes --excite NAME=VOLTS,…, not --mode");
    if (o.boardFile && o.solve && o.picture) refuse("--solve on a cross-section file draws no picture: solve, then draw");
    if (o.boardFile && o.plot) refuse("--plot draws the structures' sweeps; a cross-section file's sweep is CSV");

    if (o.losses.any()) {
        if (!o.structure && !o.boardFile) refuse("the loss options need a structure or a cross-section file first");
        if (o.solve || o.sweep || o.picture || o.describe || o.batch)
            refuse("the loss options go with a single solve: no --solve, --sweep, --picture, --describe or --batch");
    }

    const bool pair = o.structure && (o.structure->structure.isPair() || (o.solve && *o.solve == "s"));
    if (o.odd.value_or(false) && !pair) refuse("--mode odd needs a pair of traces (--s)");
}

Options parseArguments(int argc, char** argv) {
    Options options;
    int k = 1;
    StructureKind kind;
    if (argc > 1 && structureKindNamed(argv[1], kind)) {
        options.structure = StructureInput{};
        options.structure->structure.kind = kind;
        k = 2;
    } else if (argc > 1 && std::string_view(argv[1]) == "file") {
        if (argc < 3) throw RunError("file needs the name of a cross-section file (.json, or - for standard input)");
        options.boardFile = argv[2];
        k = 3;
    }
    for (; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--json") { options.json = true; continue; }
        if (argument == "--help") { options.help = true; continue; }
        if (argument == "--version") { options.version = true; continue; }
        if (argument == "--describe") { options.describe = true; continue; }
        if (argument == "--solve" && options.boardFile) {
            options.solve = valueOf(argc, argv, k, options.solve);
            continue;
        }
        if (argument == "--solve") {
            const std::string name = valueOf(argc, argv, k, options.solve);
            const StructureOption* option = findStructureOption(name);
            if (option == nullptr || !option->length)
                throw RunError("--solve needs a length option (w, w-top, t, s, h, b, mask, mask-top, cover, g, "
                               "ground-width), got \"" + printableExcerpt(name) + "\"");
            options.solve = option->name;
            continue;
        }
        if (argument == "--target") {
            SolveRequest request{};
            parseTarget(valueOf(argc, argv, k, options.target), request.quantity, request.target);
            options.target = request;
            continue;
        }
        if (argument == "--sweep") {
            options.sweep = parseSweep(valueOf(argc, argv, k, options.sweep), !options.boardFile);
            continue;
        }
        if (argument == "--sweep-log") { options.sweepLog = true; continue; }
        if (argument == "--plot") {
            options.plot = valueOf(argc, argv, k, options.plot);
            pictureFormat(*options.plot, "--plot");
            continue;
        }
        if (argument == "--picture") {
            const std::string file = valueOf(argc, argv, k, options.picture);
            pictureFormat(file, "--picture");
            options.picture = PictureRequest{file, {}};
            continue;
        }
        if (argument == "--mode") {
            const std::string mode = valueOf(argc, argv, k, options.odd);
            if (mode != "even" && mode != "odd")
                throw RunError("--mode needs even or odd, got \"" + printableExcerpt(mode) + "\"");
            options.odd = mode == "odd";
            continue;
        }
        if (argument == "--excite") { options.excite = valueOf(argc, argv, k, options.excite); continue; }
        if (argument == "--batch") { options.batch = valueOf(argc, argv, k, options.batch); continue; }
        if (argument == "--threads") { options.threads = parseThreads(valueOf(argc, argv, k, options.threads)); continue; }
        if (takeLossOption(options.losses, argc, argv, k)) continue;
        const StructureOption* option =
            argument.size() > 2 && argument.compare(0, 2, "--") == 0 ? findStructureOption(argument.substr(2)) : nullptr;
        if (option != nullptr && argument.find('_') == std::string::npos && (options.structure || argument == "--er")) {
            if (k + 1 >= argc)
                throw RunError(argument + (options.structure ? std::string(" needs a value")
                                                             : " needs a value: the relative permittivity of the substrate"));
            const std::string text = argv[++k];
            if (options.structure) {
                setStructureOption(*options.structure, *option, text);
                continue;
            }
            if (options.permittivity) throw RunError("--er is given twice: one substrate only");
            const Decimal number = parseDecimal(text);
            const double value = number.value;
            if (number.length != text.size() || !number.inRange || !(value >= 1) || !(value <= largestPermittivity))
                throw RunError("--er needs a relative permittivity from 1 to " + numberText(largestPermittivity) +
                               " in decimal notation, got \"" + printableExcerpt(text) + "\"");
            options.permittivity = value;
            continue;
        }
        throw RunError("unknown argument \"" + printableExcerpt(argument) + "\" (see plattor-lines --help)");
    }
    if (options.picture) options.picture->odd = options.odd;
    if (options.sweep) options.sweep->geometric = options.sweepLog;
    if (options.target && !options.boardFile) options.target->dimension = findStructureOption(*options.solve);
    checkCombination(options);
    return options;
}

// A list of impedances in ohm ("90,100"), or none.
std::vector<double> impedanceList(const std::string& option, const std::string& text) {
    std::vector<double> list;
    if (text == "none") return list;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const Decimal d = parseDecimal(item);
        if (d.length == 0 || d.length != item.size() || !d.inRange || !(d.value > 0))
            throw RunError(option + " needs impedances in ohm above 0 separated by commas, or none; got \"" +
                           printableExcerpt(text) + "\"");
        list.push_back(d.value);
        if (comma == std::string::npos) return list;
        from = comma + 1;
    }
}

// A length of the stackup's options: bare in mm, the board file's unit, or with a unit; metres.
double stackupLength(const std::string& option, const std::string& text, bool zeroAllowed) {
    std::string unit;
    const OptionValue v = readLength(option, text, &unit);
    const double metres = v.number * (unit.empty() ? lengthUnitMetres("mm") : v.metres);
    if (!(metres > 0 || (zeroAllowed && metres == 0)) || !(metres < 1))
        throw RunError(option + " needs a length " + (zeroAllowed ? "from 0" : "above 0") + " and below 1 m, got \"" +
                       printableExcerpt(text) + "\"");
    return metres;
}

// plattor-lines stackup FILE [options].
StackupRequest parseStackup(int argc, char** argv, bool& help) {
    StackupRequest r;
    r.threads = defaultThreads();
    std::optional<std::string> file;
    bool json = false, csv = false, planes = false;
    std::vector<std::string> seen;
    LossOptions losses;
    for (int k = 2; k < argc; ++k) {
        const std::string a = argv[k];
        const auto value = [&]() -> std::string {
            if (std::find(seen.begin(), seen.end(), a) != seen.end()) throw RunError(a + " is given twice");
            seen.push_back(a);
            if (k + 1 >= argc) throw RunError(a + " needs a value");
            return argv[++k];
        };
        if (a == "--help") {
            help = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--csv") {
            csv = true;
        } else if (a == "--planes") {
            const std::string list = value();
            planes = true;
            for (std::size_t from = 0;;) {
                const std::size_t comma = list.find(',', from);
                r.planes.push_back(list.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
                if (r.planes.back().empty()) throw RunError("--planes needs copper layer names separated by commas, got \"" +
                                                            printableExcerpt(list) + "\"");
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
        } else if (a == "--z") {
            r.single = impedanceList(a, value());
        } else if (a == "--zdiff") {
            r.differential = impedanceList(a, value());
        } else if (a == "--gap") {
            r.spacing.gap = stackupLength(a, value(), false);
        } else if (a == "--width") {
            r.spacing.width = stackupLength(a, value(), false);
        } else if (a == "--mask") {
            r.mask.thickness = stackupLength(a, value(), true);
        } else if (a == "--mask-er") {
            const std::string text = value();
            const Decimal d = parseDecimal(text);
            if (d.length == 0 || d.length != text.size() || !d.inRange || !(d.value >= 1) || !(d.value <= largestPermittivity))
                throw RunError("--mask-er needs a relative permittivity from 1 to " + numberText(largestPermittivity) +
                               ", got \"" + printableExcerpt(text) + "\"");
            r.mask.er = d.value;
        } else if (a == "--etch") {
            r.tolerances.etch = stackupLength(a, value(), true);
        } else if (a == "--dk-tol") {
            const std::string text = value();
            const bool percent = !text.empty() && text.back() == '%';
            const std::string number = percent ? text.substr(0, text.size() - 1) : text;
            const Decimal d = parseDecimal(number);
            const double fraction = percent ? d.value / 100 : d.value;
            if (d.length == 0 || d.length != number.size() || !d.inRange || !(fraction >= 0) || !(fraction < 0.5))
                throw RunError("--dk-tol needs a fraction from 0 to below 0.5, or a percentage (5%), got \"" +
                               printableExcerpt(text) + "\"");
            r.tolerances.permittivity = fraction;
        } else if (a == "--rules") {
            r.rules = value();
        } else if (a == "--threads") {
            r.threads = parseThreads(value());
        } else if (takeLossOption(losses, argc, argv, k)) {
            // Checked together below.
        } else if (a.compare(0, 2, "--") == 0 || file) {
            throw RunError("unknown argument \"" + printableExcerpt(a) + "\" for stackup (see plattor-lines --help)");
        } else {
            file = a;
        }
    }
    if (help) return r;
    if (!file) throw RunError("stackup needs a board file: plattor-lines stackup FILE.kicad_pcb");
    r.fileName = *file;
    if (json && csv) throw RunError("--json and --csv exclude each other");
    if (given(r.spacing.gap) && given(r.spacing.width))
        throw RunError("--gap and --width exclude each other: one is held, the other solved");
    if (r.single.empty() && r.differential.empty()) throw RunError("--z none and --zdiff none leave nothing to solve");
    if (planes && r.planes.empty()) throw RunError("--planes needs copper layer names");
    // The loss column: the losses at one frequency; a line's files are its structure's to write.
    for (const char* name : {"--length", "--touchstone", "--z-ref", "--rlgc"})
        if (losses.*lossOption(name))
            throw RunError(std::string(name) + " is for one line, not for stackup's table: give it to the layer's structure "
                                               "(plattor-lines STRUCTURE … --freq F)");
    for (const char* name : {"--dk-model", "--dk-freq", "--sigma", "--roughness", "--rq", "--rz"})
        if (losses.*lossOption(name) && !losses.freq)
            throw RunError(std::string(name) + " goes with --freq F, the frequency of the table's loss column");
    if (losses.freq) {
        r.losses = lossRequest(losses);
        if (r.losses->frequencies.size() != 1)
            throw RunError("--freq needs one frequency for stackup's loss column, got \"" + printableExcerpt(*losses.freq) +
                           "\"");
    }
    r.format = json ? StackupRequest::Format::json : csv ? StackupRequest::Format::csv : StackupRequest::Format::text;
    return r;
}

// The free-space pair of indata3.txt, after its values at plattor's counts.
const std::vector<Quantity> freeSpaceOrder = {
    Quantity::maxwell11, Quantity::maxwell12, Quantity::maxwell21, Quantity::maxwell22,
    Quantity::evenModeCapacitance, Quantity::oddModeCapacitance, Quantity::evenModeImpedance,
    Quantity::oddModeImpedance, Quantity::differentialImpedance, Quantity::commonModeImpedance,
    Quantity::couplingCoefficient, Quantity::lineImpedance};

// The panels of each level on the free-space pair's conductors, plattor's order: [plane,]
// strip 1, strip 2, mirror images counted.
std::string conductorLevelsJson(const CrossSection& section, const std::vector<LevelSolution>& levels) {
    std::string text = "[";
    for (std::size_t k = 0; k < levels.size(); ++k) {
        const Mesh mesh = meshCrossSection(section, levels[k].level);
        std::vector<std::size_t> counts;
        std::size_t strip = 0, plane = 0;
        for (std::size_t f = 0; f < section.faces.size(); ++f) {
            const std::size_t panels = mesh.panelsOn(f);
            if (section.role(f) == ConductorRole::ground) plane += section.faces[f].mirror == f ? 2 * panels : panels;
            if (section.role(f) == ConductorRole::right) strip += panels;
        }
        if (section.conductors.front() == ConductorRole::ground) counts.push_back(plane);
        counts.push_back(strip);
        counts.push_back(strip);
        text += k > 0 ? ", {\"order\": " : "{\"order\": ";
        text += std::to_string(levels[k].level.order) + ", \"panels\": [";
        for (std::size_t c = 0; c < counts.size(); ++c) text += (c > 0 ? ", " : "") + std::to_string(counts[c]);
        text += "], \"unknowns\": " + std::to_string(levels[k].unknowns) + "}";
    }
    return text + "]";
}

std::string countsJson(const std::vector<std::size_t>& counts) {
    std::string text = "{\"N\": [";
    for (std::size_t c = 0; c < counts.size(); ++c) text += (c > 0 ? ", " : "") + std::to_string(counts[c]);
    return text + "]}";
}

// indata3.txt's pair: converged, and in free space beside plattor's own values at N.
void runInputPair(const Options& options) {
    // 1. Read and check the input as plattor does (its field grid aside); the pair refuses
    //    conductors that touch and ratios beyond the solver's range.
    const InputValues input = readInputFile(inputFileName);
    checkLengths(input, inputFileName);
    const double permittivity = options.permittivity.value_or(1.0);
    const CrossSection section =
        stripPairSection(input.groundWidth, input.stripWidth, input.centreDistance, input.stripHeight, permittivity);
    // 2. The converged quantities.
    const ConvergedQuantities c = convergedQuantities(section);
    const Geometry geometry = setUpGeometry(input);
    const bool plane = input.groundWidth != 0;

    // 3. The report: with a substrate the pair's; in free space plattor's values at N first.
    if (options.permittivity) {
        if (options.json) {
            JsonObject json;
            json.add("groundPlane", true);
            json.add("permittivity", permittivity);
            json.addRaw("segmentCounts", countsJson(geometry.conductors.segmentCounts));
            json.addRaw("levels", levelsJson(c.levels, true));
            json.addRaw("substrateLevels", levelsJson(c.levels, false));
            addQuantities(json, c, pairQuantities());
            display(json.text());
        } else {
            display(reportText(quantityRows(c, pairQuantities()), c));
        }
        return;
    }
    // plattor's own values at its counts, where it can solve the system.
    std::optional<Matrix> partial;
    try {
        partial = partialCapacitance(reducedCapacitance(geometry.conductors));
    } catch (const RunError&) {
    }
    std::size_t total = 0;
    for (const std::size_t n : geometry.conductors.segmentCounts) total += n;
    const std::string atN = " (N = " + std::to_string(total) + ")";
    std::vector<ReportRow> rows;
    struct Partial {
        Quantity quantity;
        std::size_t i, j;
        const char* key;
    };
    std::vector<Partial> partials = {{Quantity::stripToStripCapacitance, 0, plane ? 1u : 0u, "stripToStripCapacitance"}};
    if (plane) partials.push_back({Quantity::stripToGroundCapacitance, 0, 0, "stripToGroundCapacitance"});
    JsonObject json;
    json.add("groundPlane", plane);
    json.addRaw("segmentCounts", countsJson(geometry.conductors.segmentCounts));
    json.addRaw("levels", conductorLevelsJson(section, c.levels));
    for (const Partial& p : partials) {
        const QuantityInfo& info = quantityInfo(p.quantity);
        const double value = c.value[p.quantity], error = c.error[p.quantity];
        if (partial) {
            // plattor's value is defined with its own ε0: its bar is its distance from the
            // converged value under that constant.
            const double n = (*partial)(p.i, p.j), scale = plattorVacuumPermittivity / vacuumPermittivity;
            const double bar = std::fabs(value * scale - n) + error * scale;
            rows.push_back({info.name + atN, n, bar, info.unit, numberText(n * 1e12)});
            json.addQuantity(std::string(info.key) + "AtN", n, bar);
        }
        rows.push_back({std::string(info.name) + " (converged)", value, error, info.unit});
        json.addQuantity(info.key, value, error);
    }
    if (options.json) {
        addQuantities(json, c, freeSpaceOrder);
        display(json.text());
        return;
    }
    const std::vector<ReportRow> rest = quantityRows(c, freeSpaceOrder);
    rows.insert(rows.end(), rest.begin(), rest.end());
    display(reportText(rows, c));
}

void runStructure(const Options& options) {
    // 1. The structure, checked in full.
    const StructureInput& input = *options.structure;
    checkStructure(input.structure);
    // 2. Its cross-section, solved up the ladder with and without the dielectrics.
    const ConvergedQuantities c = convergedQuantities(structureSection(input.structure));
    // 3. The report of a single trace or of a pair, and the picture if asked.
    if (options.json)
        display(structureReportJson(input.structure, input.lengthUnit, c));
    else
        display(reportText(quantityRows(c, reportedQuantities(input.structure, input.lengthUnit)), c));
    if (options.picture) drawPicture(input.structure, input.lengthUnit, *options.picture);
}

}  // namespace

int main(int argc, char** argv) {
    stopOnSignals();
    try {
        if (argc > 1 && std::string_view(argv[1]) == "stackup") {
            bool help = false;
            const StackupRequest request = parseStackup(argc, argv, help);
            if (help) display(usage() + "\n\n" + helpPair + structuresHelp() + helpDesign + lossHelp);
            else runStackup(request);
            finishConsole();
            return 0;
        }
        const Options options = parseArguments(argc, argv);
        // A picture is refused before the work when gnuplot cannot draw it or its file cannot be made.
        if (options.picture && !options.help && !options.version) checkGnuplot(options.picture->fileName, "--picture");
        const unsigned threads = options.threads.value_or(defaultThreads());
        if (options.help) {
            display(usage() + "\n\n" + helpPair + structuresHelp() + helpDesign + lossHelp);
        } else if (options.version) {
            display(std::string("plattor-lines ") + PLATTOR_VERSION);
        } else if (options.batch) {
            runBatch(*options.batch, threads);
        } else if (options.losses.any() && options.boardFile) {
            runFileLosses(readBoardFile(*options.boardFile), options.losses, options.json);
        } else if (options.losses.any()) {
            runStructureLosses(*options.structure, options.losses, options.json);
        } else if (options.sweep && options.boardFile) {
            runFileSweep(readBoardFile(*options.boardFile), *options.sweep, threads);
        } else if (options.sweep) {
            runSweep(*options.structure, *options.sweep, options.plot, threads);
        } else if (options.target && options.boardFile) {
            runFileSolve(readBoardFile(*options.boardFile), *options.solve, options.target->quantity,
                         options.target->target, options.json);
        } else if (options.target) {
            runSolve(*options.structure, *options.target, options.json, options.picture);
        } else if (options.describe) {
            describeStructure(*options.structure);
        } else if (options.boardFile) {
            runBoardFile(readBoardFile(*options.boardFile), options.json,
                         options.picture ? std::optional<std::string>(options.picture->fileName) : std::nullopt,
                         options.excite.value_or(""));
        } else if (options.structure) {
            runStructure(options);
        } else {
            runInputPair(options);
        }
        finishConsole();
        return 0;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "plattor-lines: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "plattor-lines: %s\n", e.what());
        if (stopSignal() != 0) endByStopSignal();
        return 1;
    }
}
