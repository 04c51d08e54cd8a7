// Timings of the stages of a run, on the inputs docs/performance.md names:
// typical `10 1 3 1` (M = 185, 5 grid rows), coplanar `0 1 3 2` (M = 204) and tall
// `1 0.1 0.3 20` (M = 185, 1000 grid rows). The field files are written into a scratch
// directory that is removed afterwards. BM_lines: plattor-lines' converged solution of a strip
// pair in three regimes: typical `10 1 3 1`, a wide plane `1000 1 3 0.5`, strips low over the
// plane `10 0.1 1 0.001`; and of a board with corners and a layer of its own, a microstrip pair
// of thick traces under a solder mask (`microstrip --w 1 --h 1 --er 4.3 --s 1 --t 0.35
// --mask 0.2 --mask-er 3.5`).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "moment/assembly/assembly.hpp"
#include "moment/fields/field_files.hpp"
#include "moment/fields/fields.hpp"
#include "lines/line_losses.hpp"
#include "design/solve_dimension.hpp"
#include "lines/quantities.hpp"
#include "section/board_section.hpp"
#include "matrix/linalg.hpp"
#include "matrix/matrix.hpp"
#include "matrix/vector_math.hpp"
#include "run/geometry.hpp"
#include "section/pair_sections.hpp"
#include "section/structures.hpp"
#include "moment/solution/capacitance.hpp"

namespace {

using namespace plattor;

const InputValues typicalInput{10, 1, 3, 1};
const InputValues coplanarInput{0, 1, 3, 2};
const InputValues tallInput{1, 0.1, 0.3, 20};

// Everything one input leads to, computed once and shared by the cases that start midway.
struct Case {
    Geometry geometry;
    Matrix system;
    std::vector<double> excitationColumn;
    SystemSolution solution;
    FieldGrid grid;
    Matrix potential;
    Matrix gradientX;
    Matrix gradientY;

    explicit Case(const InputValues& input) : geometry(setUpGeometry(input)) {
        const ConductorModel& model = geometry.conductors;
        system = assembleSystemMatrix(model);
        excitationColumn = excitation(model, conductorPotentials(model.conductorCount()));
        solution = solveSystem(system, model, excitationColumn);
        grid = makeFieldGrid(geometry.fieldRangeX, geometry.fieldRangeY, geometry.fieldPointsX);
        potential = potentialOnGrid(model, solution.charges, grid);
        std::tie(gradientX, gradientY) = gradient(potential);
    }
};

const Case& typical() { static const Case c(typicalInput); return c; }
const Case& coplanar() { static const Case c(coplanarInput); return c; }
const Case& tall() { static const Case c(tallInput); return c; }

void assemble(benchmark::State& state, const Case& c) {
    for (auto _ : state) benchmark::DoNotOptimize(assembleSystemMatrix(c.geometry.conductors));
}

// LU factors of the system in place: the factors' storage is handed back and refilled with
// the system each time, so the loop times the elimination (and one copy), not the allocator.
void factor(benchmark::State& state, const Case& c) {
    Matrix work = c.system;
    for (auto _ : state) {
        std::copy(c.system.data(), c.system.data() + c.system.size(), work.data());
        LuFactors factors = luFactor(std::move(work));
        benchmark::DoNotOptimize(factors.lu.data());
        work = std::move(factors.lu);
    }
}

// The whole route from the system matrix to G and the excitation's charges: one factorisation
// and N + 1 solves.
void solve(benchmark::State& state, const Case& c) {
    for (auto _ : state)
        benchmark::DoNotOptimize(solveSystem(c.system, c.geometry.conductors, c.excitationColumn));
}

void capacitance(benchmark::State& state, const Case& c) {
    for (auto _ : state) benchmark::DoNotOptimize(partialCapacitance(reduceCapacitance(c.solution.generalized, 0)));
}

std::size_t logCalls(const Case& c) {
    return c.grid.gridXValues.size() * c.grid.gridYValues.size() * c.geometry.conductors.totalSegments();
}

void potential(benchmark::State& state, const Case& c) {
    for (auto _ : state) benchmark::DoNotOptimize(potentialOnGrid(c.geometry.conductors, c.solution.charges, c.grid));
    state.counters["logs"] = static_cast<double>(logCalls(c));
}

// As many logarithms as the potential of the case takes, through the same vector math, and
// nothing else: arguments swept over (0, 1000], the range of the squared distances on the
// grids, in chunks as the potential takes them, summed so none is dropped.
void logFloor(benchmark::State& state, const Case& c) {
    const std::size_t calls = logCalls(c);
    const double step = 1000.0 / 65536.0;
    constexpr std::size_t chunk = 256;
    double values[chunk];
    for (auto _ : state) {
        double sums[4] = {0, 0, 0, 0};  // four chains, so that the additions do not set the pace
        for (std::size_t k0 = 0; k0 < calls; k0 += chunk) {
            const std::size_t n = std::min(chunk, calls - k0);
            for (std::size_t k = 0; k < n; ++k) values[k] = static_cast<double>(((k0 + k) & 0xffff) + 1) * step;
            logInPlace(values, n);
            for (std::size_t k = 0; k < n; ++k) sums[k % 4] += values[k];
        }
        benchmark::DoNotOptimize(sums);
    }
    state.counters["logs"] = static_cast<double>(calls);
}

void writeFields(benchmark::State& state, const Case& c) {
    for (auto _ : state) writeFieldFiles(c.grid, c.potential, c.gradientX, c.gradientY);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size("hfield3.dat") * 3));
}

// The steps of main after the input has been read and checked, the console lines built but
// not printed.
void wholeRun(benchmark::State& state, const InputValues& input) {
    for (auto _ : state) {
        const Geometry geometry = setUpGeometry(input);
        const ConductorModel& model = geometry.conductors;
        const std::vector<double> excitationColumn = excitation(model, conductorPotentials(model.conductorCount()));
        const SystemSolution solution = solveSystem(assembleSystemMatrix(model), model, excitationColumn);
        const Matrix maxwell = reduceCapacitance(solution.generalized, 0);
        benchmark::DoNotOptimize(reportLines(partialCapacitance(maxwell), geometry.groundPlaneCase));
        const FieldGrid grid = makeFieldGrid(geometry.fieldRangeX, geometry.fieldRangeY, geometry.fieldPointsX);
        const Matrix potentialGrid = potentialOnGrid(model, solution.charges, grid);
        const auto [gradientX, gradientY] = gradient(potentialGrid);
        writeFieldFiles(grid, potentialGrid, gradientX, gradientY);
    }
}

// plattor-lines' solve of indata3.txt's pair: its cross-section and the converged ladder.
void lines(benchmark::State& state, const InputValues& in) {
    for (auto _ : state)
        benchmark::DoNotOptimize(convergedQuantities(
            stripPairSection(in.groundWidth, in.stripWidth, in.centreDistance, in.stripHeight)));
}

// The same for a board structure given by its options.
void linesStructure(benchmark::State& state, const Structure& structure) {
    checkStructure(structure);
    for (auto _ : state) benchmark::DoNotOptimize(convergedQuantities(structureSection(structure)));
}

// README's solve for a 50 Ω width: a 35 µm microstrip 0.2 mm over its plane, εr 4.3. Its time
// against a forward solve of the width found is what docs/performance.md states.
void solveFor50Ohm(benchmark::State& state) {
    const Structure s{.kind = StructureKind::microstrip, .t = 35e-6, .h = 0.2e-3, .er = 4.3};
    for (auto _ : state)
        benchmark::DoNotOptimize(solveDimension(s, *findStructureOption("w"), Quantity::impedance, 50.0));
}

// A masked microstrip pair in metres, with lossy dielectrics: solved plainly, and with its
// losses over 100 frequencies from 1 MHz to 10 GHz, the dielectrics constant or wideband. The
// ratios to the plain solve are what docs/losses.md states.
const Structure lossyMaskedPair{.kind = StructureKind::microstrip, .w = 0.1e-3, .t = 35e-6, .s = 0.1e-3,
                                .h = 0.1e-3, .er = 4.3, .mask = 20e-6, .maskEr = 3.5, .tand = 0.02, .maskTand = 0.025};

void losses(benchmark::State& state, DielectricModel model) {
    LossRequest request;
    request.dielectric.model = model;
    for (int k = 0; k < 100; ++k) request.frequencies.push_back(1e6 * std::pow(1e4, k / 99.0));
    for (auto _ : state) benchmark::DoNotOptimize(lineLosses(structureBoard(lossyMaskedPair), request));
}

const Structure microstripPairThickMask{.kind = StructureKind::microstrip, .w = 1, .t = 0.35, .s = 1, .h = 1,
                                         .er = 4.3, .mask = 0.2, .maskEr = 3.5};

// Real boards' corners, as docs/performance.md times them: a masked microstrip pair of thick
// traces, and a masked coplanar pair with finite grounds (mm).
const Structure maskedMicrostripPair{.kind = StructureKind::microstrip, .w = 0.1, .t = 0.035, .s = 0.1, .h = 0.1,
                                     .er = 4.3, .mask = 0.02, .maskEr = 3.5};
const Structure maskedCoplanarPair{.kind = StructureKind::coplanar, .w = 0.1, .t = 0.035, .s = 0.1, .h = 0.1,
                                   .er = 4.3, .mask = 0.02, .maskEr = 3.5, .g = 0.1, .groundWidth = 0.3};

// A fresh directory for the field files, left and removed when the benchmarks are done.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "plattor-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("plattor_bench: mkdtemp");
            std::exit(1);
        }
        path_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

}  // namespace

int main(int argc, char** argv) {
    using benchmark::kMicrosecond;
    using benchmark::kMillisecond;
    benchmark::RegisterBenchmark("BM_assemble/185", [](auto& s) { assemble(s, typical()); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_assemble/204", [](auto& s) { assemble(s, coplanar()); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_factor/204", [](auto& s) { factor(s, coplanar()); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_solve/185", [](auto& s) { solve(s, typical()); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_capacitance/185", [](auto& s) { capacitance(s, typical()); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_potential/typical", [](auto& s) { potential(s, typical()); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_potential/tall", [](auto& s) { potential(s, tall()); })->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_logFloor/tall", [](auto& s) { logFloor(s, tall()); })->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_writeFields/tall", [](auto& s) { writeFields(s, tall()); })->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_wholeRun/typical", [](auto& s) { wholeRun(s, typicalInput); })->Unit(kMicrosecond);
    benchmark::RegisterBenchmark("BM_lines/typical", [](auto& s) { lines(s, typicalInput); })->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_lines/wideplane", [](auto& s) { lines(s, {1000, 1, 3, 0.5}); })->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_lines/low", [](auto& s) { lines(s, {10, 0.1, 1, 0.001}); })->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_lines/microstripPairThickMask",
                                 [](auto& s) { linesStructure(s, microstripPairThickMask); })
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_lines/maskedMicrostripPair", [](auto& s) { linesStructure(s, maskedMicrostripPair); })
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_lines/maskedCoplanarPair", [](auto& s) { linesStructure(s, maskedCoplanarPair); })
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_design/solveFor50Ohm", solveFor50Ohm)->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_losses/plain", [](auto& s) { linesStructure(s, lossyMaskedPair); })
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_losses/constant100", [](auto& s) { losses(s, DielectricModel::constant); })
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("BM_losses/wideband100", [](auto& s) { losses(s, DielectricModel::djordjevicSarkar); })
        ->Unit(kMillisecond);

    benchmark::AddCustomContext("vector math", mathPathName(mathPath()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const ScratchDirectory scratch;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
