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
#include "matrix/error.hpp"

namespace plattor {
namespace {

using Cells = std::vector<std::string>;

struct CsvCase {
    const char* name;
    const char* text;
    std::vector<Cells> records;
    std::vector<std::size_t> lines;
};

void PrintTo(const CsvCase& c, std::ostream* os) { *os << c.name; }

class CsvReading : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvReading, GivesTheCellsOfEachRecordAndWhereItStarts) {
    const CsvCase& c = GetParam();
    const std::vector<CsvRecord> records = parseCsv(c.text, "in.csv");
    ASSERT_EQ(records.size(), c.records.size());
    for (std::size_t k = 0; k < records.size(); ++k) {
        EXPECT_EQ(records[k].cells, c.records[k]) << "record " << k;
        EXPECT_EQ(records[k].line, c.lines[k]) << "record " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CsvReading,
    ::testing::Values(
        CsvCase{"Plain", "a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}, {1, 2}},
        CsvCase{"NoLastLineBreak", "a,b\n1,2", {{"a", "b"}, {"1", "2"}}, {1, 2}},
        CsvCase{"CrLfAndBlankLines", "a,b\r\n\r\n1,2\r\n   \r\n3,4\r\n", {{"a", "b"}, {"1", "2"}, {"3", "4"}}, {1, 3, 5}},
        CsvCase{"EmptyCells", "a,b,c\n,,x\n", {{"a", "b", "c"}, {"", "", "x"}}, {1, 2}},
        CsvCase{"BlanksAroundCellsDropped", " a , b\t\n 0.1mm ,2\n", {{"a", "b"}, {"0.1mm", "2"}}, {1, 2}},
        CsvCase{"QuotedCommaQuoteAndLineBreak", "a,b\n\"x, y\",\"say \"\"hi\"\"\nthere\"\n2,3\n",
                {{"a", "b"}, {"x, y", "say \"hi\"\nthere"}, {"2", "3"}}, {1, 2, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCsvCase {
    const char* name;
    const char* text;
    const char* message;
};

void PrintTo(const BadCsvCase& c, std::ostream* os) { *os << c.name; }

class CsvRefused : public ::testing::TestWithParam<BadCsvCase> {};

TEST_P(CsvRefused, NamingTheFileAndLine) {
    try {
        parseCsv(GetParam().text, "in.csv");
        FAIL() << "read";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CsvRefused,
    ::testing::Values(BadCsvCase{"QuoteLeftOpen", "a,b\n1,\"2\n3\n", "in.csv: line 2: a quoted cell is not closed"},
                      BadCsvCase{"TextAfterTheClosingQuote", "a,b\n\"1\"x,2\n",
                                 "in.csv: line 2: text after a quoted cell's closing quote"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvWriting, QuotesWhatAReaderWouldSplitAndReadsBackTheSame) {
    const Cells cells = {"plain", "a, b", "say \"hi\"", "two\nlines", " padded", ""};
    const std::string line = csvLine(cells);
    EXPECT_EQ(line, "plain,\"a, b\",\"say \"\"hi\"\"\",\"two\nlines\",\" padded\",");
    const std::vector<CsvRecord> back = parseCsv(line, "back");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].cells, cells);
}

// --- threads ---

class InOrder : public ::testing::TestWithParam<unsigned> {};

TEST_P(InOrder, EveryPieceIsDoneOnceAndTakenBackInOrder) {
    const std::size_t count = 60;
    std::vector<std::atomic<int>> done(count);
    std::vector<std::size_t> finished, progress;
    runInOrder(
        count, GetParam(),
        [&](std::size_t k) {
            // Later pieces finish first: the order must come from the pool, not from the timing.
            std::this_thread::sleep_for(std::chrono::microseconds(50 * ((count - k) % 7)));
            ++done[k];
        },
        [&](std::size_t k) {
            EXPECT_EQ(done[k].load(), 1) << "taken back before it was done";
            finished.push_back(k);
        },
        [&](std::size_t n) { progress.push_back(n); });
    ASSERT_EQ(finished.size(), count);
    for (std::size_t k = 0; k < count; ++k) {
        EXPECT_EQ(done[k].load(), 1) << k;
        EXPECT_EQ(finished[k], k);
    }
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), count);
    for (std::size_t k = 1; k < progress.size(); ++k) EXPECT_LT(progress[k - 1], progress[k]);
}

TEST_P(InOrder, AFailingPieceStopsTheRunAndIsRethrown) {
    std::atomic<std::size_t> started{0};
    EXPECT_THROW(runInOrder(
                     1000, GetParam(),
                     [&](std::size_t k) {
                         ++started;
                         if (k == 3) throw std::runtime_error("piece 3");
                         std::this_thread::sleep_for(std::chrono::microseconds(200));
                     },
                     [](std::size_t) {}),
                 std::runtime_error);
    EXPECT_LT(started.load(), 100u) << "the pieces after the failure still ran";
}

INSTANTIATE_TEST_SUITE_P(Threads, InOrder, ::testing::Values(1u, 2u, 5u),
                         [](const auto& info) { return "Threads" + std::to_string(info.param); });

// --- sweeps ---

TEST(SweepPoints, EndExactlyAtBothEndsEvenlyOrInAConstantRatio) {
    EXPECT_EQ(sweepPoints(0.1, 0.3, 3, false), (std::vector<double>{0.1, 0.2, 0.3}));
    const std::vector<double> geometric = sweepPoints(1e-3, 1, 4, true);
    ASSERT_EQ(geometric.size(), 4u);
    EXPECT_EQ(geometric.front(), 1e-3);
    EXPECT_EQ(geometric.back(), 1.0);
    EXPECT_NEAR(geometric[1], 1e-2, 1e-16);
    EXPECT_NEAR(geometric[2], 1e-1, 1e-15);
    EXPECT_EQ(sweepPoints(5, 7, 1, false), (std::vector<double>{5}));
}

}  // namespace
}  // namespace plattor
