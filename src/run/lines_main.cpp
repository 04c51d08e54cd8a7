// plattor-lines: the converged capacitances of plattor's input with an error bar, plattor's own
// values beside them, and the impedances of the strip pair as a transmission line. Reads
// indata3.txt like plattor, prints text (or JSON with --json), writes no files. With --er the
// strips lie on a dielectric board as wide as the ground plane.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "matrix/error.hpp"
#include "matrix/text.hpp"
#include "run/console.hpp"
#include "run/geometry.hpp"
#include "run/input.hpp"
#include "run/line_report.hpp"
#include "lines/line_parameters.hpp"
#include "lines/strip_pair.hpp"
#include "lines/substrate.hpp"

namespace {

constexpr const char* usage = "usage: plattor-lines [--er EPS] [--json] [--help]";

constexpr const char* help =
    "Reads indata3.txt (ground-plane width, strip width, centre distance, height; width 0: no plane)\n"
    "like plattor and prints the strip-to-strip and strip-to-ground capacitance at plattor's own\n"
    "segment counts N and converged (graded high-order panels, three orders) with an error\n"
    "bar, the Maxwell matrix of the strips, and the mode capacitances and impedances of the\n"
    "pair in free space. --json prints the same as one JSON object in SI units.\n"
    "--er EPS puts the strips on a board of relative permittivity EPS (1 to 10000) as wide as the\n"
    "ground plane and prints the Maxwell matrix, the partial and mode capacitances with the\n"
    "substrate and in air, the effective permittivities and the line impedances instead.\n"
    "--version prints the version.";

struct Options {
    bool json = false;
    bool help = false;
    bool version = false;
    std::optional<double> permittivity;  // --er: the substrate's relative permittivity
};

// The substrates the solver is meant for lie far below this (ceramics reach about 100); above it
// the bars of the odd mode's small differences would no longer hold.
constexpr double largestPermittivity = 1e4;

// The value of --er: a decimal number as the input file writes them, from 1 (a dielectric never
// screens less than vacuum) to largestPermittivity.
double permittivityArgument(int argc, char** argv, int k) {
    if (k >= argc) throw plattor::RunError("--er needs a value: the relative permittivity of the substrate");
    const std::string text = argv[k];
    const plattor::Decimal number = plattor::parseDecimal(text);
    if (number.length != text.size() || !number.inRange || !(number.value >= 1 && number.value <= largestPermittivity))
        throw plattor::RunError("--er needs a relative permittivity from 1 to " + plattor::numberText(largestPermittivity) +
                                " in decimal notation, got \"" + plattor::printableExcerpt(text) + "\"");
    return number.value;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--json") options.json = true;
        else if (argument == "--help") options.help = true;
        else if (argument == "--version") options.version = true;
        else if (argument == "--er" && options.permittivity) throw plattor::RunError("--er is given twice: one substrate only");
        else if (argument == "--er") options.permittivity = permittivityArgument(argc, argv, ++k);
        else throw plattor::RunError("unknown argument \"" + plattor::printableExcerpt(argument) + "\"\n" + usage);
    }
    return options;
}

// A substrate needs a plane to lie on and strips on its face (a slab without thickness, or
// of εr = 1, is vacuum and takes any strips).
void checkSubstrateInput(const plattor::InputValues& input, double permittivity) {
    using plattor::RunError;
    using plattor::shortestText;
    if (input.groundWidth == 0)
        throw RunError("--er needs a ground plane: the substrate lies between the plane and the strips, and " +
                       std::string(plattor::inputFileName) + " gives none (ground-plane width 0)");
    const double outerEdge = std::fabs(input.centreDistance) / 2 + input.stripWidth / 2;
    if (permittivity != 1 && input.stripHeight != 0 && outerEdge > input.groundWidth / 2)
        throw RunError("--er: the strips must lie on the substrate, which is as wide as the ground plane: the strip "
                       "from " + shortestText(outerEdge - input.stripWidth) + " to " + shortestText(outerEdge) +
                       " reaches beyond its edge at " + shortestText(input.groundWidth / 2));
}

void run(const Options& options) {
    using namespace plattor;
    // 1. Read and check the input; touching conductors are refused by the pair itself.
    const InputValues input = readInputFile(inputFileName);
    checkLengths(input, inputFileName);  // the field grid is plattor's alone
    if (options.permittivity) checkSubstrateInput(input, *options.permittivity);
    const StripPair pair =
        scaledStripPair(input.groundWidth, input.stripWidth, input.centreDistance, input.stripHeight);
    // 2. Solve: the converged ladder and plattor's own model.
    const LineParameters parameters = lineParameters(pair, setUpGeometry(input).conductors);
    // 3. With a substrate, the same pair on the slab (its air values are the ladder's) and its
    //    report; without one, the ladder's report.
    if (options.permittivity) {
        const SubstrateParameters substrate = substrateParameters(pair, *options.permittivity, parameters);
        if (options.json) display(substrateReportJson(substrate, parameters));
        else display(substrateReportText(substrate));
    } else if (options.json) {
        display(lineReportJson(parameters));
    } else {
        display(lineReportText(parameters));
    }
    finishConsole();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parseArguments(argc, argv);
        if (options.help) {
            plattor::display(std::string(usage) + "\n\n" + help);
            plattor::finishConsole();
            return 0;
        }
        if (options.version) {
            plattor::display(std::string("plattor-lines ") + PLATTOR_VERSION);
            plattor::finishConsole();
            return 0;
        }
        run(options);
        return 0;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "plattor-lines: %s\n", e.what());
        return 1;
    }
}
