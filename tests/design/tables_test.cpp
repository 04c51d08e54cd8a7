// The pieces under batches and sweeps: CSV read and written as spreadsheets do, work handed out
// to threads and taken back in order, the points of a sweep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "design/csv.hpp"
#include "design/parallel.hpp"
#include "design/quantity_table.hpp"
#include "base/error.hpp"
#include "lines/quantities.hpp"
#include "section/structures.hpp"
#include "solver/solve.hpp"
#include "support/csv_text.hpp"

namespace plattor {
namespace {

using Cells = std::vector<std::string>;
using testing::readCsv;

struct CsvCase {
    const char* name;
    std::string text;
    std::vector<CsvRecord> records;
};

void PrintTo(const CsvCase& c, std::ostream* os) { *os << c.name; }

class CsvReading : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvReading, GivesTheCellsOfEachRecordItsLineAndAFaultyLineItsErrorAlone) {
    const CsvCase& c = GetParam();
    const std::vector<CsvRecord> records = readCsv(c.text);
    ASSERT_EQ(records.size(), c.records.size());
    for (std::size_t k = 0; k < records.size(); ++k) {
        EXPECT_EQ(records[k].cells, c.records[k].cells) << "record " << k;
        EXPECT_EQ(records[k].line, c.records[k].line) << "record " << k;
        EXPECT_EQ(records[k].error, c.records[k].error) << "record " << k;
    }
}

const std::string longLine(largestCsvLine, 'y');

INSTANTIATE_TEST_SUITE_P(
    Texts, CsvReading,
    ::testing::Values(
        CsvCase{"Plain", "a,b\n1,2\n", {{1, {"a", "b"}, ""}, {2, {"1", "2"}, ""}}},
        CsvCase{"NoLastLineBreak", "a,b\n1,2", {{1, {"a", "b"}, ""}, {2, {"1", "2"}, ""}}},
        CsvCase{"CrLfLoneCrAndBlankLines", "a,b\r\n\r\n1,2\r\n   \r3,4\r\n",
                {{1, {"a", "b"}, ""}, {3, {"1", "2"}, ""}, {5, {"3", "4"}, ""}}},
        CsvCase{"EmptyCells", "a,b,c\n,,x\n", {{1, {"a", "b", "c"}, ""}, {2, {"", "", "x"}, ""}}},
        CsvCase{"BlanksAroundCellsDropped", " a , b\t\n 0.1mm ,2\n", {{1, {"a", "b"}, ""}, {2, {"0.1mm", "2"}, ""}}},
        CsvCase{"QuotedCommaAndQuote", "a,b\n\"x, y\" , \"say \"\"hi\"\"\"\n2,3\n",
                {{1, {"a", "b"}, ""}, {2, {"x, y", "say \"hi\""}, ""}, {3, {"2", "3"}, ""}}},
        CsvCase{"ByteOrderMarkAtTheStartOnly", "\xEF\xBB\xBF" "a,b\n\xEF\xBB\xBF" "1,2\n",
                {{1, {"a", "b"}, ""}, {2, {"\xEF\xBB\xBF" "1", "2"}, ""}}},
        CsvCase{"QuoteLeftOpenEndsWithItsLine", "a,b\n1,\"2\n3,4\n",
                {{1, {"a", "b"}, ""}, {2, {"1"}, "line 2: a quoted cell is not closed on its line"}, {3, {"3", "4"}, ""}}},
        CsvCase{"TextAfterTheClosingQuote", "a,b\n\"1\"x,2\n5,6",
                {{1, {"a", "b"}, ""}, {2, {}, "line 2: text after a quoted cell's closing quote"}, {3, {"5", "6"}, ""}}},
        CsvCase{"ALineOverAMiBSkippedAndOneOfAMiBKept", "a\n" + longLine + "z\r\n" + longLine + "\n2",
                {{1, {"a"}, ""}, {2, {}, "line 2 is longer than 1 MiB"}, {3, {longLine}, ""}, {4, {"2"}, ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvWriting, QuotesWhatAReaderWouldSplitAndFormulasAsTextButNotNumbers) {
    const Cells cells = {"plain", "a, b", "say \"hi\"", " padded", "", "=1+2", "@SUM(A1)", "-1mm", "-0.5", "+3e-12"};
    const std::string line = csvLine(cells);
    EXPECT_EQ(line, "plain,\"a, b\",\"say \"\"hi\"\"\",\" padded\",,\"'=1+2\",\"'@SUM(A1)\",\"'-1mm\",-0.5,+3e-12");
    EXPECT_EQ(csvCell("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csvCell("\t=cmd|' /C calc'!A0"), "\"'\t=cmd|' /C calc'!A0\"");
    const std::vector<CsvRecord> back = readCsv(line);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].cells, (Cells{"plain", "a, b", "say \"hi\"", " padded", "", "'=1+2", "'@SUM(A1)", "'-1mm", "-0.5",
                                    "+3e-12"}));
}

// --- threads ---

class InOrder : public ::testing::TestWithParam<unsigned> {};

TEST_P(InOrder, EveryPieceOfAStreamIsDoneOnceAndTakenBackInOrderWithinTheWindow) {
    // 61 pieces of a stream whose length the pool learns from `start`, 3 a thread in flight at
    // most: each piece's slot k % window is free when it starts, as a ring of slots needs.
    const std::size_t count = 61, window = 3 * GetParam();
    std::vector<std::atomic<int>> done(count);
    std::vector<std::size_t> finished, progress;
    std::vector<std::atomic<int>> slots(window);
    for (auto& slot : slots) slot = -1;
    const OrderedWork pieces{
        [&](std::size_t k) {
            if (k >= count) return false;
            EXPECT_EQ(slots[k % window].exchange(static_cast<int>(k)), -1) << "slot of piece " << k << " still taken";
            return true;
        },
        [&](std::size_t k) {
            // Later pieces finish first: the order must come from the pool, not from the timing.
            std::this_thread::sleep_for(std::chrono::microseconds(50 * ((count - k) % 7)));
            ++done[k];
        },
        [&](std::size_t k) {
            EXPECT_EQ(done[k].load(), 1) << "taken back before it was done";
            EXPECT_EQ(slots[k % window].exchange(-1), static_cast<int>(k));
            finished.push_back(k);
        },
        [&](std::size_t n) { progress.push_back(n); },
        {}};
    runInOrder(pieces, GetParam(), window);
    ASSERT_EQ(finished.size(), count);
    for (std::size_t k = 0; k < count; ++k) {
        EXPECT_EQ(done[k].load(), 1) << k;
        EXPECT_EQ(finished[k], k);
    }
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), count);
    for (std::size_t k = 1; k < progress.size(); ++k) EXPECT_LT(progress[k - 1], progress[k]);
}

TEST_P(InOrder, AFailingPieceStopsTheRunAndIsRethrownAfterThePiecesBeforeIt) {
    std::atomic<std::size_t> started{0};
    std::vector<std::size_t> finished;
    EXPECT_THROW(runInOrder(
                     1000, GetParam(),
                     [&](std::size_t k) {
                         ++started;
                         if (k == 3) throw std::runtime_error("piece 3");
                         std::this_thread::sleep_for(std::chrono::microseconds(200));
                     },
                     [&](std::size_t k) { finished.push_back(k); }),
                 std::runtime_error);
    EXPECT_LT(started.load(), 100u) << "the pieces after the failure still ran";
    EXPECT_EQ(finished, (std::vector<std::size_t>{0, 1, 2})) << "the pieces started before it are taken back";
}

INSTANTIATE_TEST_SUITE_P(Threads, InOrder, ::testing::Values(1u, 2u, 5u),
                         [](const auto& info) { return "Threads" + std::to_string(info.param); });

// --- sweeps ---

TEST(SweepPoints, AreTheDoublesOfTheDecimalsTyped) {
    using Points = std::vector<double>;
    EXPECT_EQ(sweepPoints("0.1", "0.3", 3, false), (Points{0.1, 0.2, 0.3}));
    // (0.0003 − 0.0001)/2 + 0.0001 in doubles is 0.00019999999999999998.
    EXPECT_EQ(sweepPoints("0.0001", "3e-4", 3, false), (Points{0.0001, 0.0002, 0.0003}));
    EXPECT_EQ(sweepPoints("0.25", "-.75", 5, false), (Points{0.25, 0, -0.25, -0.5, -0.75}));
    EXPECT_EQ(sweepPoints("0", "1", 4, false), (Points{0, 1.0 / 3, 2.0 / 3, 1})) << "17 digits";
    EXPECT_EQ(sweepPoints("1e-300", "1E+300", 3, false), (Points{1e-300, 5e299, 1e300}));
    EXPECT_EQ(sweepPoints("5.5", "7", 1, false), (Points{5.5}));
    EXPECT_EQ(sweepPoints("1e-3", "1", 4, true), (Points{1e-3, 1e-2, 0.1, 1})) << "12 digits";
    EXPECT_EQ(sweepPoints("2.5", "0.3125", 4, true), (Points{2.5, 1.25, 0.625, 0.3125}));
    // A unit's metres times a number, for ends in different units.
    EXPECT_EQ(decimalProduct("0.5", "2.54e-05"), "127e-7");
    EXPECT_EQ(decimalProduct("-1.50e3", "0.001"), "-15e-1");
    EXPECT_EQ(decimalProduct("0.0", "7"), "0");
}

// A sweep of a permittivity keeps the kernels of its meshes and finds them again by their
// geometry: each point gets the values of its own fresh solve, to the last bit, whether its
// permittivity changed (the kernels reused) or a length by a hair (the same panels on other
// faces: they must not be).
TEST(KeptKernels, GiveEveryBoardTheValuesOfItsOwnSolve) {
    Structure base{.kind = StructureKind::microstrip, .w = 0.13, .t = 0.021, .s = 0.11, .h = 0.087, .er = 4.3,
                   .mask = 0.017, .maskEr = 3.6};
    std::vector<Structure> boards(4, base);
    boards[1].er = 3.1;
    boards[2].maskEr = 3.3;
    boards[3].w *= 1 + 1e-9;
    std::vector<QuantityValues> fresh;
    for (const Structure& b : boards) fresh.push_back(convergedQuantities(structureSection(b)).value);
    const KernelsKept kept;
    for (const std::size_t k : {0, 1, 2, 3, 0}) {
        const QuantityValues v = convergedQuantities(structureSection(boards[k])).value;
        for (const Quantity q : {Quantity::oddModeCapacitance, Quantity::evenModeCapacitance,
                                 Quantity::oddModeCapacitanceInAir, Quantity::evenModeImpedance})
            EXPECT_EQ(v[q], fresh[k][q]) << "board " << k << ", " << quantityInfo(q).key;
    }
}

}  // namespace
}  // namespace plattor
