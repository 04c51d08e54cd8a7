// plattor: capacitances and field of two thin parallel strips, over a finite ground plane or
// side by side, by the moment method. Reads indata3.txt, prints the results in pF/m and writes
// hfield3.dat, exfield3.dat and eyfield3.dat in the working directory. Takes no arguments but
// --help and --version.
#include <csignal>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "moment/assembly/assembly.hpp"
#include "moment/fields/field_files.hpp"
#include "moment/fields/fields.hpp"
#include "check/accuracy_warning.hpp"
#include "matrix/matrix.hpp"
#include "run/console.hpp"
#include "run/geometry.hpp"
#include "run/input.hpp"
#include "moment/solution/capacitance.hpp"

namespace {

// What the run is building, for a message if memory runs out.
const char* buildingStage = "the input";
void building(const char* stage) { buildingStage = stage; }

// The two values the report prints, F/m: with a plane the strips' partial capacitance (0, 1)
// and a strip's to the plane (0, 0); without one the single entry.
plattor::PrintedCapacitances printedCapacitances(const plattor::InputValues& input, const plattor::Matrix& partial,
                                                 bool groundPlaneCase) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    return {input.groundWidth,
            input.stripWidth,
            input.centreDistance,
            input.stripHeight,
            groundPlaneCase ? partial(0, 1) : partial(0, 0),
            groundPlaneCase ? partial(0, 0) : none};
}

void run() {
    using namespace plattor;

    // 1. The four lengths, checked in full before anything is printed.
    const InputValues input = readInputFile(inputFileName);
    checkInput(input, inputFileName);
    display(echoLines(input));

    // 2. Conductors and their segments.
    building("the conductors and their segments");
    const Geometry geometry = setUpGeometry(input);
    const ConductorModel& conductors = geometry.conductors;

    // 3. The moment-method matrix, block by block.
    building("the moment-method matrix");
    Matrix systemMatrix = assembleSystemMatrix(conductors);

    // 4. One factorisation of it, solved for each conductor raised alone and for the field's
    //    excitation (the strips at −1 and +1 over the grounded plane); the capacitances.
    display("Invertering av matris ...");
    building("the factorisation of the moment-method matrix and the capacitances");
    const std::vector<double> potentials = conductorPotentials(conductors.conductorCount());
    const SystemSolution solution = solveSystem(std::move(systemMatrix), conductors, excitation(conductors, potentials));
    const Matrix maxwell = reduceCapacitance(solution.generalized, 0);
    const Matrix partial = partialCapacitance(maxwell);
    display(reportLines(partial, geometry.groundPlaneCase));

    // 5. Whether the fixed counts and the matrix's digits could carry the charge: where a cheap
    //    screen says they may not, a reference decides. The check cannot fail and is bounded,
    //    so it changes nothing else the run does; its warning waits for the run to complete.
    const std::string warning =
        accuracyWarning(printedCapacitances(input, partial, geometry.groundPlaneCase), conductors);

    // 6. The field of that excitation on a grid.
    building("the field on the grid");
    display("Beraeknar och skriver elektriska och magnetiska faelt till fil");
    const FieldGrid grid = makeFieldGrid(geometry.fieldRangeX, geometry.fieldRangeY, geometry.fieldPointsX);
    const Matrix potentialGrid = potentialOnGrid(conductors, solution.charges, grid);
    const auto [gradientX, gradientY] = gradient(potentialGrid);

    // 7. The three field files, once the console lines have arrived: a run whose results
    //    cannot be shown fails before it replaces the files of an earlier one.
    finishConsole();
    building("the field files");
    writeFieldFiles(grid, potentialGrid, gradientX, gradientY);

    // 8. The warning, only for a run that completed: a failure prints its one line instead.
    if (!warning.empty()) std::fprintf(stderr, "plattor: %s\n", warning.c_str());
}

constexpr const char* help =
    "usage: plattor [--help] [--version]\n"
    "\n"
    "Reads indata3.txt in the working directory (ground-plane width, strip width, centre distance,\n"
    "height; ground-plane width 0: two coplanar strips without a plane), prints the capacitances\n"
    "between the strips and between a strip and the plane in pF/m, and writes the field of the\n"
    "strips at -1 V and +1 V to hfield3.dat, exfield3.dat and eyfield3.dat. Any other argument\n"
    "is ignored. plattor-lines gives converged values with error bars and the line impedances.";

// --help or --version (the first of them given) answers and ends the run before the input is
// read or a file touched; any other argument is ignored, as it always was.
const char* informationRequested(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--help") return help;
        if (argument == "--version") return "plattor " PLATTOR_VERSION;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must end in a message about the file, not in a signal.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that goes away (`plattor | head -3`) is a failure to write standard output,
    // reported like any other before a field file is touched, not a silent death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        if (const char* information = informationRequested(argc, argv)) {
            plattor::display(information);
            plattor::finishConsole();
            return 0;
        }
        run();
        return 0;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "plattor: out of memory while building %s\n", buildingStage);
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "plattor: %s\n", e.what());
        return 1;
    }
}
