// A batch on two threads against one: the same solutions, at least 1.6 times as fast where the
// machine gives the test two cores. Whether it does is measured before and after by two threads
// that only spin; on a machine busy with other work the test says so and skips. Threads that
// waited on each other would come out near 1; a core shared by two threads, or one clocked
// lower while two run, costs a few per cent more than two cores would, which a hundred rows
// show from run to run: the 1.8 times of a thousand rows is bench/batch_speedup.sh's to measure.
// Bursts of other work between the two checks are common there: the best of three pairs counts.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "design/parallel.hpp"
#include "design/quantity_table.hpp"
#include "support/program_run.hpp"

namespace plattor {
namespace {

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The cores two spinning threads get: their processor time over the wall time.
double coresForTwo() {
    const auto start = std::chrono::steady_clock::now();
    double cpu[2] = {0, 0};
    std::vector<std::thread> spinners;
    for (int k = 0; k < 2; ++k)
        spinners.emplace_back([&cpu, k, start] {
            const double begin = threadSeconds();
            volatile double x = 1;
            while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) x = x * 1.0000001;
            cpu[k] = threadSeconds() - begin;
        });
    for (std::thread& t : spinners) t.join();
    return (cpu[0] + cpu[1]) / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A mixed batch: single traces and pairs, thick and thin, with a mask, between planes, coplanar;
// many rows, the costly ones first, so that the last rows, when one thread may wait for the
// other, take little of the time (a real batch of a thousand rows has that tail for free).
std::vector<Structure> mixedBatch() {
    std::vector<Structure> batch;
    for (int k = 0; k < 96; ++k) {
        Structure s;
        s.kind = k % 3 == 0 ? StructureKind::microstrip : k % 3 == 1 ? StructureKind::stripline : StructureKind::coplanar;
        s.w = 0.1 + 0.002 * k;
        s.h = 0.2;
        s.er = 3 + 0.01 * k;
        if (k < 24) s.t = 0.035;
        if (k < 12 || (k >= 24 && k < 60)) s.s = 0.15;
        if (s.kind == StructureKind::stripline) s.b = 0.5;
        if (s.kind == StructureKind::coplanar) s.g = 0.1;
        if (s.kind == StructureKind::microstrip && k < 6) s.mask = 0.02, s.maskEr = 3.5;
        batch.push_back(s);
    }
    return batch;
}

TEST(BatchSpeed, TwoThreadsGiveTheSameSolutionsAtLeast1p6TimesAsFastAsOne) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "SKIPPED: one core";
    const std::vector<Structure> batch = mixedBatch();
    const double before = coresForTwo();
    if (before < 1.9) GTEST_SKIP() << "SKIPPED: the machine gives two threads " << before << " cores: busy with other work";

    const auto solveAll = [&](unsigned threads, std::vector<StructureSolution>& out) {
        out.assign(batch.size(), {});
        const auto start = std::chrono::steady_clock::now();
        runInOrder(batch.size(), threads, [&](std::size_t k) { out[k] = solveStructure(batch[k]); }, [](std::size_t) {});
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // Other work on a shared machine only ever slows a run down, and a burst of it can fall on
    // either: the best of up to three pairs of runs is what the batch can do.
    std::vector<StructureSolution> one, two;
    double oneThread = 0, twoThreads = 1;
    for (int attempt = 0; attempt < 3 && oneThread / twoThreads < 1.6; ++attempt) {
        const double a = solveAll(1, one), b = solveAll(2, two);
        if (a / b > oneThread / twoThreads) oneThread = a, twoThreads = b;
    }
    const double after = coresForTwo();
    if (after < 1.9) GTEST_SKIP() << "SKIPPED: the machine gave two threads " << after << " cores afterwards: busy with other work";

    for (std::size_t k = 0; k < batch.size(); ++k) {
        ASSERT_EQ(one[k].error, "") << k;
        EXPECT_EQ(one[k].error, two[k].error);
        for (const Quantity q : everyQuantity())
            if (one[k].quantities.value.applies(q)) {
                EXPECT_EQ(one[k].quantities.value[q], two[k].quantities.value[q]);
            }
    }
    std::printf("one thread %.2f s, two threads %.2f s: %.2f times as fast\n", oneThread, twoThreads,
                oneThread / twoThreads);
    EXPECT_GE(oneThread / twoThreads, 1.6);
}

// A six-layer board's whole table, four distinct signal layers (two microstrips under their
// masks, two striplines of a dual stripline) by the default targets 50, 90 and 100 ohm: at most
// 10 s where the machine gives two cores.
TEST(StackupSpeed, TheTableOfFourSignalLayersByThreeTargetsTakesAtMostTenSecondsOnTwoCores) {
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "SKIPPED: timed in optimised builds without sanitizers only";
#endif
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "SKIPPED: one core";
    const testing::ScratchDir dir;
    dir.write("six.kicad_pcb", R"((kicad_pcb (version 20211014) (generator plattor-tests)
  (layers (0 "F.Cu" signal) (1 "In1.Cu" power) (2 "In2.Cu" signal) (3 "In3.Cu" signal) (4 "In4.Cu" power) (31 "B.Cu" signal))
  (setup (stackup
    (layer "F.Mask" (type "Top Solder Mask") (thickness 0.01) (epsilon_r 3.8))
    (layer "F.Cu" (type "copper") (thickness 0.035))
    (layer "dielectric 1" (type "prepreg") (thickness 0.1) (epsilon_r 4.2))
    (layer "In1.Cu" (type "copper") (thickness 0.0175))
    (layer "dielectric 2" (type "core") (thickness 0.2) (epsilon_r 4.5))
    (layer "In2.Cu" (type "copper") (thickness 0.0175))
    (layer "dielectric 3" (type "prepreg") (thickness 0.5) (epsilon_r 4.5))
    (layer "In3.Cu" (type "copper") (thickness 0.0175))
    (layer "dielectric 4" (type "core") (thickness 0.3) (epsilon_r 4.5))
    (layer "In4.Cu" (type "copper") (thickness 0.0175))
    (layer "dielectric 5" (type "prepreg") (thickness 0.12) (epsilon_r 4.3))
    (layer "B.Cu" (type "copper") (thickness 0.035))
    (layer "B.Mask" (type "Bottom Solder Mask") (thickness 0.015) (epsilon_r 3.8)))))
)");
    const double before = coresForTwo();
    if (before < 1.9) GTEST_SKIP() << "SKIPPED: the machine gives two threads " << before << " cores: busy with other work";
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--gap", "0.2mm"}}) {
        std::vector<std::string> arguments = {"stackup", "six.kicad_pcb", "--threads", "2", "--csv"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const auto start = std::chrono::steady_clock::now();
        const testing::ProgramRun r = testing::runProgram(PLATTOR_LINES_EXECUTABLE, dir.path(), arguments);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double after = coresForTwo();
        if (after < 1.9) GTEST_SKIP() << "SKIPPED: the machine gave two threads " << after << " cores: busy with other work";
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(testing::splitLines(r.out).size(), 13u);
        std::printf("the table of 4 layers by 3 targets%s: %.2f s\n", options.empty() ? "" : " (--gap 0.2mm)", seconds);
        EXPECT_LE(seconds, 10.0);
    }
}

}  // namespace
}  // namespace plattor
