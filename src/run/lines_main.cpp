// plattor-lines: the converged capacitances of plattor's input with an error bar, plattor's own
// values beside them, and the impedances of the strip pair as a transmission line. Reads
// indata3.txt like plattor, prints text (or JSON with --json), writes no files.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

#include "matrix/error.hpp"
#include "matrix/text.hpp"
#include "run/console.hpp"
#include "run/geometry.hpp"
#include "run/input.hpp"
#include "run/line_report.hpp"
#include "matrix/text.hpp"
#include "lines/line_parameters.hpp"
#include "lines/strip_pair.hpp"

namespace {

constexpr const char* usage = "usage: plattor-lines [--json] [--help]";

constexpr const char* help =
    "Reads indata3.txt (ground-plane width, strip width, centre distance, height; width 0: no plane)\n"
    "like plattor and prints the strip-to-strip and strip-to-ground capacitance at plattor's own\n"
    "segment counts N and converged (graded high-order panels, three orders) with an error\n"
    "bar, the Maxwell matrix of the strips, and the mode capacitances and impedances of the\n"
    "pair in free space. --json prints the same as one JSON object in SI units.";

struct Options {
    bool json = false;
    bool help = false;
};

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--json") options.json = true;
        else if (argument == "--help") options.help = true;
        else throw plattor::RunError("unknown argument \"" + plattor::printableExcerpt(argument) + "\"\n" + usage);
    }
    return options;
}

std::string valueText(double x) {
    if (!std::isfinite(x)) return plattor::numberText(x);
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, x);
    return std::string(text, result.ptr);
}

// The input rules that concern the lines: finite lengths whose squares stay normal doubles
// (plattor's model at N squares them), a positive strip width, no negative plane, no strips
// that overlap each other or, at height 0, the plane. The field grid is plattor's alone.
void checkLineInput(const plattor::InputValues& input) {
    using plattor::RunError;
    const std::string file = plattor::inputFileName;
    const struct {
        const char* name;
        double value;
    } lengths[] = {{"ground-plane width", input.groundWidth},
                   {"strip width", input.stripWidth},
                   {"centre distance", input.centreDistance},
                   {"height", input.stripHeight}};
    for (const auto& length : lengths)
        if (!std::isfinite(length.value))
            throw RunError(file + ": " + length.name + " must be a finite number, got " + valueText(length.value));
    for (const auto& length : lengths) {
        const double size = std::fabs(length.value);
        if (size != 0.0 && (size < 1e-150 || size > 1e150))
            throw RunError(file + ": " + length.name + " must be 0 or between 1e-150 and 1e150 in magnitude, got " +
                           valueText(length.value));
    }
    if (!(input.stripWidth > 0.0)) throw RunError(file + ": strip width must be positive, got " + valueText(input.stripWidth));
    if (input.groundWidth < 0.0)
        throw RunError(file + ": ground-plane width must not be negative, got " + valueText(input.groundWidth));
    if (std::fabs(input.centreDistance) < input.stripWidth)
        throw RunError(file + ": the strips overlap: centre distance " + valueText(input.centreDistance) +
                       " is less than the strip width " + valueText(input.stripWidth));
    if (input.groundWidth == 0.0 || input.stripHeight != 0.0) return;
    const double planeEdge = input.groundWidth / 2;
    for (const double centre : {-input.centreDistance / 2, input.centreDistance / 2}) {
        const double left = centre - input.stripWidth / 2, right = centre + input.stripWidth / 2;
        if (left < planeEdge && right > -planeEdge)
            throw RunError(file + ": at height 0 the strip from " + valueText(left) + " to " + valueText(right) +
                           " overlaps the ground plane from " + valueText(-planeEdge) + " to " + valueText(planeEdge));
    }
}

void run(const Options& options) {
    using namespace plattor;
    // 1. Read and check the input; touching conductors are refused by the pair itself.
    const InputValues input = readInputFile(inputFileName);
    checkLineInput(input);
    const StripPair pair =
        scaledStripPair(input.groundWidth, input.stripWidth, input.centreDistance, input.stripHeight);
    // 2. Solve: the converged ladder and plattor's own model.
    const LineParameters parameters = lineParameters(pair, setUpGeometry(input).conductors);
    // 3. Report.
    if (options.json) display(lineReportJson(parameters));
    else display(lineReportText(parameters));
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
        run(options);
        return 0;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "plattor-lines: %s\n", e.what());
        return 1;
    }
}
