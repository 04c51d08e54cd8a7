// plattor: capacitances and field of two thin parallel strips, over a finite ground plane or
// side by side, by the moment method. Reads indata3.txt, prints the results in pF/m and writes
// hfield3.dat, exfield3.dat and eyfield3.dat in the working directory.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <utility>

#include "assembly/assembly.hpp"
#include "fields/field_files.hpp"
#include "fields/fields.hpp"
#include "matrix/matrix.hpp"
#include "run/console.hpp"
#include "run/geometry.hpp"
#include "run/input.hpp"
#include "solution/capacitance.hpp"

namespace {

// What the run is building, for a message if memory runs out.
const char* buildingStage = "the input";
void building(const char* stage) { buildingStage = stage; }

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

    // 4. Its inverse (factorised in the system matrix's own storage) and the capacitances.
    display("Invertering av matris ...");
    building("the inverse of the moment-method matrix and the capacitances");
    const Matrix inverseSystem = invertSystemMatrix(std::move(systemMatrix));
    const Matrix generalized = generalizedCapacitance(inverseSystem, conductors);
    const Matrix maxwell = reduceCapacitance(generalized, 0);
    display(reportLines(partialCapacitance(maxwell), geometry.groundPlaneCase));

    // 5. The field of the strips at −1 and +1 over the grounded plane, on a grid.
    building("the field on the grid");
    const Matrix potentials = conductorPotentials(conductors.conductorCount());
    const Matrix segmentCharges = multiply(inverseSystem, excitation(conductors, potentials));
    display("Beraeknar och skriver elektriska och magnetiska faelt till fil");
    const FieldGrid grid = makeFieldGrid(geometry.fieldRangeX, geometry.fieldRangeY, geometry.fieldPointsX);
    const Matrix potentialGrid = potentialOnGrid(conductors, segmentCharges, grid);
    const auto [gradientX, gradientY] = gradient(potentialGrid);

    // 6. The three field files, once the console lines have arrived: a run whose results
    //    cannot be shown fails before it replaces the files of an earlier one.
    finishConsole();
    building("the field files");
    writeFieldFiles(grid, potentialGrid, gradientX, gradientY);
}

}  // namespace

int main() {
    // A file-size limit must end in a message about the file, not in a signal.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that goes away (`plattor | head -3`) is a failure to write standard output,
    // reported like any other before a field file is touched, not a silent death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    try {
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
