// plattor-lines as a designer uses it: a solved length that a forward run confirms, sweeps and
// batches whose rows are single runs, in order whatever the threads, a bad row on its own line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "design/csv.hpp"
#include "design/quantity_table.hpp"
#include "report/report.hpp"
#include "support/csv_text.hpp"
#include "support/program_run.hpp"

namespace plattor {
namespace {

// The address sanitizer reserves terabytes of shadow memory and needs a thread to report leaks:
// its build runs these checks without the limits, whose bounds the normal build checks.
#ifdef __SANITIZE_ADDRESS__
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

using testing::ProgramRun;
using testing::RunOptions;
using testing::runProgram;
using testing::ScratchDir;
using testing::splitLines;

const std::string lines = PLATTOR_LINES_EXECUTABLE;

ProgramRun run(const ScratchDir& dir, const std::string& arguments) {
    std::istringstream words(arguments);
    std::vector<std::string> list;
    for (std::string w; words >> w;) list.push_back(w);
    return runProgram(lines, dir.path(), list);
}

// The text of a quantity's value in the JSON report: "impedance": {"value": 50.1, …}.
std::string jsonValue(const std::string& json, const std::string& key) {
    const std::string opening = "\"" + key + "\": {\"value\": ";
    const std::size_t at = json.find(opening);
    if (at == std::string::npos) return "(no " + key + ")";
    const std::size_t from = at + opening.size();
    return json.substr(from, json.find(',', from) - from);
}

// The text of a plain member: "w": 0.0001, … gives "0.0001".
std::string jsonMember(const std::string& json, const std::string& key) {
    const std::string opening = "\"" + key + "\": ";
    const std::size_t at = json.find(opening);
    if (at == std::string::npos) return "(no " + key + ")";
    const std::size_t from = at + opening.size();
    return json.substr(from, json.find_first_of(",\n}", from) - from);
}

std::vector<CsvRecord> csv(const ProgramRun& r) { return testing::readCsv(r.out); }

std::size_t column(const std::vector<std::string>& header, const std::string& name) {
    for (std::size_t k = 0; k < header.size(); ++k)
        if (header[k] == name) return k;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// --- solving for a length ---

// The solved length in the unit most of the lengths carry (the first on a tie), for a single
// trace and a pair alike, bare where they are bare (a board in mil timed per inch too); a forward
// run at the width as printed meets the target within its bar.
TEST(SolveCli, TheSolvedWidthAsPrintedGivesTheTargetInAForwardRun) {
    const struct {
        const char *structure, *quantity, *target, *unit;
        std::size_t lines;
    } cases[] = {{"microstrip --h 0.2mm --t 35um --er 4.3", "impedance", "50", "mm", 7},
                 {"microstrip --h 0.2mm --t 35um --s 0.2mm --er 4.3", "differentialImpedance", "100", "mm", 24},
                 {"microstrip --h 7.3mil --t 1.4mil --er 3.7", "impedance", "47", "mil", 8},
                 {"stripline --h 0.37 --b 0.8 --t 0mm --er 3.1", "impedance", "33", "", 7}};
    for (const auto& c : cases) {
        const ScratchDir dir;
        const std::string structure = c.structure;
        const ProgramRun solved = run(dir, structure + " --solve w --target " + c.quantity + "=" + c.target);
        ASSERT_EQ(solved.exitStatus, 0) << solved.err;
        const std::vector<std::string> out = splitLines(solved.out);
        ASSERT_EQ(out.size(), c.lines) << structure;
        // "w (solved)   0.3593459906 ± 0.0000000065 mm"
        std::istringstream first(out[0]);
        std::string name, state, value, plusMinus, error, unit;
        first >> name >> state >> value >> plusMinus >> error >> unit;
        EXPECT_EQ(name + " " + state + " " + plusMinus + " " + unit, std::string("w (solved) ± ") + c.unit) << structure;
        EXPECT_GT(std::stod(error), 0);

        const ProgramRun forward = run(dir, structure + " --w " + value + c.unit + " --json");
        ASSERT_EQ(forward.exitStatus, 0) << forward.err;
        const double z = std::stod(jsonValue(forward.out, c.quantity));
        const std::size_t at = forward.out.find("\"error\": ", forward.out.find(std::string("\"") + c.quantity + "\""));
        EXPECT_LE(std::fabs(z - std::stod(c.target)), std::stod(forward.out.substr(at + 9))) << "at " << value << c.unit;
    }
}

TEST(SolveCli, JsonCarriesTheSolvedLengthInMetres) {
    const ScratchDir dir;
    const ProgramRun r = run(dir, "microstrip --w 0.2mm --h 0.2mm --er 4.3 --solve s --target differentialImpedance=100 --json");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::size_t at = r.out.find("\"solved\": {\"name\": \"s\", \"value\": ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const double s = std::strtod(r.out.c_str() + r.out.find("\"value\": ", at) + 9, nullptr);
    EXPECT_GT(s, 1e-5);
    EXPECT_LT(s, 1e-3);
    EXPECT_NEAR(std::stod(jsonValue(r.out, "differentialImpedance")), 100, 1e-3);
}

TEST(SolveCli, AnUnreachableTargetIsOneLineWithTheRangeAndStatusOne) {
    const ScratchDir dir;
    const ProgramRun r = run(dir, "stripline --w 1 --b 2 --er 4 --solve h --target impedance=100");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("plattor-lines: stripline: cannot reach impedance 100 ohm by --h: reachable range ", 0), 0u)
        << r.err;
    EXPECT_EQ(splitLines(r.err).size(), 1u);
}

// --- sweeps ---

TEST(SweepCli, RowsAreTheSingleRunsAtTheDecimalPointsTyped) {
    const ScratchDir dir;
    const struct {
        const char* lengths;  // of the structure but the swept width
        const char* sweep;
        std::vector<const char*> widths;  // each point's --w in a single run
    } sweeps[] = {{"--h 0.2mm --t 35um", "w=0.1mm:0.3mm:3", {"0.1mm", "0.2mm", "0.3mm"}},
                  // 0.0002 came out as 0.00019999999999999998 from FROM + (TO − FROM)/2 in doubles.
                  {"--h 0.0002 --t 0.000035", "w=0.0001:0.0003:3", {"0.0001", "0.0002", "0.0003"}},
                  {"--h 0.2mm --t 35um", "w=0.1mm:300um:3", {"0.1mm", "0.0002m", "300um"}}};  // on metres
    std::vector<std::string> header = {"w"};
    for (const std::string& c : quantityColumns(singleQuantities())) header.push_back(c);
    header.push_back("error");
    for (const auto& sweep : sweeps) {
        const ProgramRun r =
            run(dir, std::string("microstrip ") + sweep.lengths + " --er 4.3 --sweep " + sweep.sweep + " --threads 2");
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        const std::vector<CsvRecord> records = csv(r);
        ASSERT_EQ(records.size(), 4u);
        EXPECT_EQ(records[0].cells, header);
        for (std::size_t k = 0; k < 3; ++k) {
            const std::vector<std::string>& row = records[k + 1].cells;
            ASSERT_EQ(row.size(), header.size());
            const ProgramRun single =
                run(dir, std::string("microstrip --w ") + sweep.widths[k] + " " + sweep.lengths + " --er 4.3 --json");
            EXPECT_EQ(row[0], jsonMember(single.out, "w")) << "the swept width in metres as the single run reads --w";
            for (const char* key : {"capacitance", "impedance", "delay"})
                EXPECT_EQ(row[column(header, key)], jsonValue(single.out, key)) << sweep.widths[k] << " " << key;
            EXPECT_EQ(row.back(), "");
        }
    }
}

TEST(SweepCli, APointThatCannotBeSolvedCarriesItsReasonAndTheOthersTheirValues) {
    const ScratchDir dir;
    // The trace reaches the upper plane from t = 0.5 on.
    const ProgramRun r = run(dir, "stripline --w 0.2 --h 0.5 --b 1 --er 4 --sweep t=0.1:0.7:4");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<CsvRecord> records = csv(r);
    ASSERT_EQ(records.size(), 5u);
    const std::size_t z = column(records[0].cells, "impedance");
    EXPECT_EQ(records[1].cells[0], "0.1");
    EXPECT_EQ(records[4].cells[0], "0.7");
    for (std::size_t k = 1; k <= 4; ++k) {
        const bool fails = k >= 3;  // t = 0.5 and 0.7
        EXPECT_EQ(records[k].cells[z].empty(), fails) << "row " << k;
        EXPECT_EQ(records[k].cells.back().find("stripline: the trace reaches the upper plane") == 0, fails) << k;
    }
    // No point with a solution: the rows, each with its reason, and status 0 as ever.
    const ProgramRun none = run(dir, "stripline --w 0.2 --h 0.5 --b 1 --er 4 --sweep t=0.5:0.7:2");
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_EQ(none.err, "");
    const std::vector<CsvRecord> failed = csv(none);
    ASSERT_EQ(failed.size(), 3u);
    for (std::size_t k = 1; k < 3; ++k)
        EXPECT_EQ(failed[k].cells.back().rfind("stripline: the trace reaches the upper plane", 0), 0u) << k;
}

TEST(SweepCli, AGeometricSweepSpacesItsPointsInAConstantRatio) {
    const ScratchDir dir;
    const ProgramRun r = run(dir, "microstrip --w 1 --h 1 --sweep er=1:100:3 --sweep-log");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<CsvRecord> records = csv(r);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].cells[0], "er");
    EXPECT_EQ(records[1].cells[0], "1");
    EXPECT_EQ(records[2].cells[0], "10");
    EXPECT_EQ(records[3].cells[0], "100");
}

// --- batches ---

// Behind a byte-order mark, good rows and bad ones: a malformed line is its row's error alone,
// and a cell a spreadsheet would run comes back as text.
const std::string batchText =
    "\xEF\xBB\xBFstructure,w,h,er,t,s,b,g\n"
    "microstrip,0.3mm,0.2mm,4.3,35um,,,\n"
    "stripline,0.15mm,0.2mm,4.3,,0.2mm,0.45mm,\n"
    "microstrip,abc,0.2,4.3,,,,\n"
    "coplanar,0.3,0.2,4.3,,,,0.15\n"
    "stripline,0.15,0.5,4.3,,,0.4,\n"
    "waveguide,1,1,1,,,,\n"
    "microstrip,1,1\n"
    "microstrip,1,1,1,,0.5,,\n"
    "microstrip,\"0.3,0.2,4.3,,,,\n"
    "microstrip,\"0.3\"mm,0.2,4.3,,,,\n"
    "microstrip,=1+2,-0.2,-4.3,@A1,,,\n"
    "microstrip," + std::string(largestCsvLine, '1') + ",0.2,4.3,,,,\n"
    "microstrip,0.3,0.2,4.3,,,,\n";

struct BatchRow {
    const char* kind;
    const char* filled;  // a quantity the row has, or "" for a row that fails
    const char* error;   // the start of its error
    std::vector<std::string> echoed = {};  // its first cells as written back; {}: as read
};

const BatchRow expectedRows[] = {
    {"microstrip", "impedance", ""},
    {"stripline", "differentialImpedance", ""},
    {"microstrip", "", "'--w needs a length"},  // an error is text a spreadsheet must not run either
    {"coplanar", "impedance", ""},
    {"stripline", "", "stripline: the trace reaches the upper plane"},
    {"waveguide", "", "unknown structure \"waveguide\""},
    {"microstrip", "", "line 8 has 3 cells, the header has 8"},
    {"microstrip", "differentialImpedance", ""},
    {"microstrip", "", "line 10: a quoted cell is not closed on its line", {"microstrip", "", "", "", "", "", "", ""}},
    {"microstrip", "", "line 11: text after a quoted cell's closing quote", {"microstrip", "", "", "", "", "", "", ""}},
    {"microstrip", "", "'--w needs a length", {"microstrip", "'=1+2", "-0.2", "-4.3", "'@A1", "", "", ""}},
    {"", "", "line 13 is longer than 1 MiB", {"", "", "", "", "", "", "", ""}},
    {"microstrip", "impedance", ""},
};

TEST(BatchCli, RowsComeInTheirOrderWithTheirQuantitiesAndBadRowsWithTheirReason) {
    const ScratchDir dir;
    dir.write("lines.csv", batchText);
    const ProgramRun r = run(dir, "--batch lines.csv --threads 3");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<CsvRecord> records = csv(r);
    ASSERT_EQ(records.size(), 1 + std::size(expectedRows));
    std::vector<std::string> header = {"structure", "w", "h", "er", "t", "s", "b", "g"};
    for (const std::string& c : quantityColumns(everyQuantity())) header.push_back(c);
    header.push_back("error");
    EXPECT_EQ(records[0].cells, header);
    const std::vector<CsvRecord> input = testing::readCsv(batchText);
    for (std::size_t k = 0; k < std::size(expectedRows); ++k) {
        const BatchRow& e = expectedRows[k];
        const std::vector<std::string>& row = records[k + 1].cells;
        ASSERT_EQ(row.size(), header.size()) << "row " << k;
        EXPECT_EQ(row[0], e.kind);
        for (std::size_t c = 0; c < 8 && c < input[k + 1].cells.size(); ++c)
            EXPECT_EQ(row[c], e.echoed.empty() ? input[k + 1].cells[c] : e.echoed[c]) << "row " << k << " echoes its cells";
        EXPECT_EQ(row.back().rfind(e.error, 0), 0u) << "row " << k << ": " << row.back();
        EXPECT_EQ(row.back().empty(), *e.error == '\0') << "row " << k;
        std::size_t filled = 0;
        for (std::size_t c = 8; c + 1 < row.size(); ++c) filled += !row[c].empty();
        if (*e.filled == '\0') {
            EXPECT_EQ(filled, 0u) << "row " << k;
        } else {
            EXPECT_FALSE(row[column(header, e.filled)].empty()) << "row " << k;
        }
    }
    // A single trace's columns empty for a pair, and a pair's for a single trace.
    EXPECT_FALSE(records[1].cells[column(header, "impedance")].empty());
    EXPECT_TRUE(records[1].cells[column(header, "differentialImpedance")].empty());
    EXPECT_FALSE(records[2].cells[column(header, "differentialImpedance")].empty());
    EXPECT_TRUE(records[2].cells[column(header, "impedance")].empty());
}

TEST(BatchCli, OneThreadAndTwoPrintTheSameBytesAndARowIsItsSingleRun) {
    const ScratchDir dir;
    dir.write("lines.csv", batchText);
    const ProgramRun one = run(dir, "--batch lines.csv --threads 1");
    const ProgramRun two = run(dir, "--batch lines.csv --threads 2");
    const ProgramRun every = run(dir, "--batch lines.csv");
    ASSERT_EQ(one.exitStatus, 0) << one.err;
    EXPECT_EQ(one.out, two.out);
    EXPECT_EQ(one.out, every.out);
    EXPECT_EQ(one.err, "") << "no progress where standard error is no terminal";
    // Threads that cannot be started: said once on standard error, the same rows on the one left.
    // (The leak sanitizer needs a thread of its own to report.)
    if (!sanitized) {
        RunOptions oneProcess;
        oneProcess.arguments = {"--batch", "lines.csv", "--threads", "3"};
        oneProcess.processLimit = 1;  // the program itself: no thread besides
        if (::geteuid() == 0) {
            oneProcess.userId = 65534;  // the limit does not bind root
            std::filesystem::permissions(dir.path(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                                         std::filesystem::perm_options::add);
        }
        const ProgramRun fewer = runProgram(lines, dir.path(), oneProcess);
        EXPECT_EQ(fewer.exitStatus, 0);
        EXPECT_EQ(fewer.out, one.out);
        EXPECT_EQ(fewer.err, "plattor-lines: only 1 of the 3 threads could be started (Resource temporarily unavailable): "
                             "going on with 1\n");
    }
    const std::vector<CsvRecord> records = csv(one);
    const ProgramRun single = run(dir, "stripline --w 0.15mm --h 0.2mm --er 4.3 --s 0.2mm --b 0.45mm --json");
    for (const char* key : {"differentialImpedance", "oddModeCapacitance", "couplingCoefficient"})
        EXPECT_EQ(records[2].cells[column(records[0].cells, key)], jsonValue(single.out, key)) << key;
}

struct BadBatch {
    const char* name;
    const char* text;  // nullptr: no file at all
    const char* message;
    const char* path = "lines.csv";
};

void PrintTo(const BadBatch& c, std::ostream* os) { *os << c.name; }

class BatchRefused : public ::testing::TestWithParam<BadBatch> {};

TEST_P(BatchRefused, InOneLineNamingTheFileInBoundedMemory) {
    const ScratchDir dir;
    if (GetParam().text != nullptr) dir.write(GetParam().path, GetParam().text);
    RunOptions options;
    options.arguments = {"--batch", GetParam().path};
    if (!sanitized) options.addressSpaceLimit = std::uint64_t{256} << 20;  // /dev/zero read whole would pass it
    const ProgramRun r = runProgram(lines, dir.path(), options);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("plattor-lines: ") + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, BatchRefused,
    ::testing::Values(
        BadBatch{"Missing", nullptr, "lines.csv: cannot open: No such file or directory"},
        BadBatch{"Empty", "", "lines.csv: no header (structure and option columns, such as structure,w,h,er)"},
        BadBatch{"NoStructureColumn", "w,h,er\n1,1,4\n", "lines.csv: line 1: no column \"structure\""},
        BadBatch{"RepeatedColumn", "structure,w,h,w_top,w-top\n", "lines.csv: line 1: the column \"w-top\" appears twice"},
        BadBatch{"UnknownColumn", "structure,w,height\n",
                 "lines.csv: line 1: unknown column \"height\" (the columns are structure, w, w_top, t, s, h, b, er, "
                 "er_top, mask, mask_er, mask_top, cover, cover_er, g, ground_width, tand, tand_top, mask_tand, cover_tand)"},
        BadBatch{"QuoteLeftOpenInTheHeader", "structure,\"w\nmicrostrip,1\n",
                 "lines.csv: line 1: a quoted cell is not closed on its line"},
        BadBatch{"EndlessHeader", nullptr, "/dev/zero: line 1 is longer than 1 MiB", "/dev/zero"},
        BadBatch{"ADirectory", nullptr, ".: cannot read: Is a directory", "."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BatchCli, AnEndlessRowIsItsErrorInBoundedMemoryAndARunCutShortHoldsCompleteRows) {
    const ScratchDir dir;
    // A row of 96 MiB of zero bytes without a line end, as a sparse file: read whole, it would
    // pass the limit. The only row fails, and the batch still succeeds.
    dir.write("endless.csv", "structure,w,h,er\nmicrostrip,0.3");
    std::filesystem::resize_file(dir.path() / "endless.csv", std::uint64_t{96} << 20);
    RunOptions endless;
    endless.arguments = {"--batch", "endless.csv", "--threads", "1"};
    if (!sanitized) endless.addressSpaceLimit = std::uint64_t{64} << 20;
    const ProgramRun r = runProgram(lines, dir.path(), endless);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<CsvRecord> records = csv(r);
    ASSERT_EQ(records.size(), 2u) << r.out.substr(0, 200);
    EXPECT_EQ(records[1].cells.back(), "line 2 is longer than 1 MiB");

    // Thick traces, a few tenths of a second each, stopped by SIGTERM after a second: only
    // whole rows, and one line on standard error with their count.
    std::string text = "structure,w,h,t,er\n";
    for (int k = 1; k <= 300; ++k) text += "microstrip," + std::to_string(0.1 + 0.003 * k) + ",0.37,0.035,4.3\n";
    dir.write("long.csv", text);
    RunOptions stopped;
    stopped.arguments = {"--batch", "long.csv", "--threads", "2"};
    stopped.killAfter = std::chrono::seconds(1);
    stopped.killSignal = SIGTERM;
    const ProgramRun cut = runProgram(lines, dir.path(), stopped);
    EXPECT_EQ(cut.exitStatus, 128 + SIGTERM);
    std::smatch said;
    ASSERT_TRUE(std::regex_match(cut.err, said, std::regex("plattor-lines: interrupted: the output holds the header "
                                                           "and ([0-9]+) complete rows?\n")))
        << cut.err;
    const std::size_t rows = std::stoul(said[1]);
    EXPECT_LT(rows, 300u);
    ASSERT_FALSE(cut.out.empty());
    EXPECT_EQ(cut.out.back(), '\n');
    const std::vector<CsvRecord> written = csv(cut);
    ASSERT_EQ(written.size(), rows + 1);
    for (std::size_t k = 1; k <= rows; ++k) {
        ASSERT_EQ(written[k].cells.size(), written[0].cells.size()) << "row " << k;
        EXPECT_EQ(written[k].cells.back(), "") << "row " << k;
        EXPECT_EQ(written[k].cells[column(written[0].cells, "impedanceError")].empty(), false) << "row " << k;
    }
}

TEST(BatchCli, AMinusReadsStandardInput) {
    const ScratchDir dir;
    const ProgramRun r = run(dir, "--batch -");  // standard input is /dev/null here
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "plattor-lines: standard input: no header (structure and option columns, such as structure,w,h,er)\n");
}

// --- options that do not go together ---

struct Combination {
    const char* name;
    const char* arguments;
    const char* message;
};

void PrintTo(const Combination& c, std::ostream* os) { *os << c.name; }

class DesignArguments : public ::testing::TestWithParam<Combination> {};

TEST_P(DesignArguments, AreRefusedBeforeAnyWork) {
    const ScratchDir dir;
    const ProgramRun r = run(dir, GetParam().arguments);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("plattor-lines: ") + GetParam().message + "\n");
    EXPECT_TRUE(dir.fileNames().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, DesignArguments,
    ::testing::Values(
        Combination{"SolveWithoutTarget", "microstrip --h 1 --er 4 --solve w",
                    "--solve NAME and --target QUANTITY=OHM go together"},
        Combination{"SolveForAPermittivity", "microstrip --w 1 --h 1 --er 4 --solve er --target impedance=50",
                    "--solve needs a length option (w, w-top, t, s, h, b, mask, mask-top, cover, g, ground-width), got \"er\""},
        Combination{"UnknownTarget", "microstrip --h 1 --er 4 --solve w --target capacitance=1",
                    "--target needs QUANTITY=VALUE, QUANTITY one of impedance, differentialImpedance, "
                    "commonModeImpedance, evenModeImpedance, oddModeImpedance, VALUE in ohm above 0; got "
                    "\"capacitance=1\""},
        Combination{"SweptAndGiven", "microstrip --w 1 --h 1 --er 4 --sweep w=1:2:3", "--w is given and swept: leave out --w"},
        Combination{"SweepWithoutCount", "microstrip --h 1 --er 4 --sweep w=1:2",
                    "--sweep needs NAME=FROM:TO:COUNT (FROM, TO and COUNT separated by ':'), got \"w=1:2\""},
        Combination{"SweepOfUnitsMixed", "microstrip --h 1 --er 4 --sweep w=1mm:2mm:3",
                    "lengths with and without a unit are mixed (--w 1mm): give every length bare, or every one with a "
                    "unit"},
        Combination{"GeometricFromZero", "microstrip --h 1 --er 4 --sweep w=0:1:3 --sweep-log",
                    "--sweep-log needs FROM and TO above 0, got 0 and 1"},
        Combination{"PlotWithoutSweep", "microstrip --w 1 --h 1 --er 4 --plot z.png",
                    "--plot goes with --sweep (a cross-section is drawn by --picture)"},
        Combination{"PictureOfAnotherKind", "microstrip --w 1 --h 1 --er 4 --picture z.jpg",
                    "--picture needs a file name ending in .png or .svg, got \"z.jpg\""},
        Combination{"OddModeOfOneTrace", "microstrip --w 1 --h 1 --er 4 --picture z.png --mode odd",
                    "--mode odd needs a pair of traces (--s)"},
        Combination{"ThreadsAlone", "microstrip --w 1 --h 1 --er 4 --threads 2", "--threads goes with --batch or --sweep"},
        Combination{"NoThreads", "--batch x.csv --threads 0", "--threads needs a whole number from 1 to 4096, got \"0\""},
        Combination{"BatchWithAStructure", "microstrip --w 1 --batch x.csv",
                    "--batch takes its structures from the file and no options but --threads"},
        Combination{"FileWithoutName", "file", "file needs the name of a cross-section file (.json, or - for standard input)"},
        Combination{"FileWithAPermittivity", "file x.json --er 4",
                    "a cross-section file gives every permittivity itself: no --er with it"},
        Combination{"ExciteWithoutPicture", "file x.json --excite p=1",
                    "--excite goes with a cross-section file's --picture"},
        Combination{"ModeOfAFile", "file x.json --picture z.png --mode odd",
                    "a cross-section file's picture takes --excite NAME=VOLTS,…, not --mode"},
        Combination{"DescribeWithoutStructure", "--describe",
                    "--describe needs a structure: microstrip, stripline or coplanar first"},
        Combination{"DescribeAndSolve", "microstrip --h 1 --er 4 --describe --solve w --target impedance=50",
                    "--describe prints the structure's cross-section file and takes no other option"},
        Combination{"FrequencyZero", "microstrip --w 1mm --h 1mm --er 4 --freq 0GHz",
                    "--freq needs a frequency above 0 (Hz, kHz, MHz or GHz), got \"0GHz\""},
        Combination{"FrequenciesDownwards", "microstrip --w 1mm --h 1mm --er 4 --freq 2GHz:1GHz:10",
                    "--freq needs FROM below TO, got \"2GHz:1GHz:10\""},
        Combination{"NegativeConductivity", "microstrip --w 1mm --h 1mm --er 4 --freq 1GHz --sigma -5e7",
                    "--sigma needs a conductivity in S/m above 0, got \"-5e7\""},
        Combination{"RoughnessWithoutHeight", "microstrip --w 1mm --h 1mm --er 4 --freq 1GHz --roughness huray",
                    "--roughness huray needs --rz, the ten-point height of the surface"},
        Combination{"RoughnessHeightBare", "microstrip --w 1mm --h 1mm --er 4 --freq 1GHz --roughness groisse --rq 1",
                    "--rq needs a length with a unit (m, mm, um or mil), got \"1\""},
        Combination{"LengthWithoutTouchstone", "microstrip --w 1mm --h 1mm --er 4 --freq 1GHz --length 10mm",
                    "--length goes with --touchstone FILE: the S-parameters of that length"},
        Combination{"FourPortsOfOneTrace", "microstrip --w 1mm --h 1mm --er 4 --freq 1GHz --length 10mm --touchstone x.s4p",
                    "--touchstone needs a file named *.s2p for a single trace (2 ports), got \"x.s4p\""},
        Combination{"LossesOfBareLengths", "microstrip --w 1 --h 1 --er 4 --t 0.1 --freq 1GHz",
                    "losses need the lengths with a unit (m, mm, um or mil): a resistance depends on the size, not only "
                    "on the ratios"},
        Combination{"LossesAndSweep", "microstrip --h 1mm --er 4 --freq 1GHz --sweep w=1mm:2mm:3",
                    "the loss options go with a single solve: no --solve, --sweep, --picture, --describe or --batch"},
        Combination{"FitFrequencyOfAConstant", "microstrip --w 1mm --h 1mm --er 4 --freq 1GHz --dk-freq 1GHz",
                    "--dk-freq goes with --dk-model wideband: a constant dielectric holds at every frequency"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plattor
