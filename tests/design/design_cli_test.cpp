// plattor-lines as a designer uses it: a solved length that a forward run confirms, sweeps and
// batches whose rows are single runs, in order whatever the threads, a bad row on its own line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "design/csv.hpp"
#include "design/quantity_table.hpp"
#include "report/report.hpp"
#include "support/program_run.hpp"

namespace plattor {
namespace {

using testing::ProgramRun;
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

std::vector<CsvRecord> csv(const ProgramRun& r) { return parseCsv(r.out, "output"); }

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

TEST(SweepCli, RowsAreTheSingleRunsAtTheSamePoints) {
    const ScratchDir dir;
    const ProgramRun r = run(dir, "microstrip --h 0.2mm --t 35um --er 4.3 --sweep w=0.1mm:0.3mm:3 --threads 2");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<CsvRecord> records = csv(r);
    ASSERT_EQ(records.size(), 4u);
    std::vector<std::string> header = {"w"};
    for (const std::string& c : quantityColumns(singleQuantities())) header.push_back(c);
    header.push_back("error");
    EXPECT_EQ(records[0].cells, header);
    const char* widths[] = {"0.1mm", "0.2mm", "0.3mm"};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::vector<std::string>& row = records[k + 1].cells;
        ASSERT_EQ(row.size(), header.size());
        const ProgramRun single = run(dir, std::string("microstrip --w ") + widths[k] + " --h 0.2mm --t 35um --er 4.3 --json");
        EXPECT_EQ(row[0], jsonMember(single.out, "w")) << "the swept width in metres as the single run reads --w";
        for (const char* key : {"capacitance", "impedance", "delay"})
            EXPECT_EQ(row[column(header, key)], jsonValue(single.out, key)) << widths[k] << " " << key;
        EXPECT_EQ(row.back(), "");
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

const char* batchText =
    "structure,w,h,er,t,s,b,g\n"
    "microstrip,0.3mm,0.2mm,4.3,35um,,,\n"
    "stripline,0.15mm,0.2mm,4.3,,0.2mm,0.45mm,\n"
    "microstrip,abc,0.2,4.3,,,,\n"
    "coplanar,0.3,0.2,4.3,,,,0.15\n"
    "stripline,0.15,0.5,4.3,,,0.4,\n"
    "waveguide,1,1,1,,,,\n"
    "microstrip,1,1\n"
    "microstrip,1,1,1,,0.5,,\n";

struct BatchRow {
    const char* kind;
    const char* filled;  // a quantity the row has, or "" for a row that fails
    const char* error;   // the start of its error
};

const BatchRow expectedRows[] = {
    {"microstrip", "impedance", ""},
    {"stripline", "differentialImpedance", ""},
    {"microstrip", "", "--w needs a length"},
    {"coplanar", "impedance", ""},
    {"stripline", "", "stripline: the trace reaches the upper plane"},
    {"waveguide", "", "unknown structure \"waveguide\""},
    {"microstrip", "", "line 8 has 3 cells, the header has 8"},
    {"microstrip", "differentialImpedance", ""},
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
    const std::vector<CsvRecord> input = parseCsv(batchText, "in");
    for (std::size_t k = 0; k < std::size(expectedRows); ++k) {
        const BatchRow& e = expectedRows[k];
        const std::vector<std::string>& row = records[k + 1].cells;
        ASSERT_EQ(row.size(), header.size()) << "row " << k;
        EXPECT_EQ(row[0], e.kind);
        for (std::size_t c = 0; c < 8 && c < input[k + 1].cells.size(); ++c)
            EXPECT_EQ(row[c], input[k + 1].cells[c]) << "row " << k << " echoes its cells";
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
    const std::vector<CsvRecord> records = csv(one);
    const ProgramRun single = run(dir, "stripline --w 0.15mm --h 0.2mm --er 4.3 --s 0.2mm --b 0.45mm --json");
    for (const char* key : {"differentialImpedance", "oddModeCapacitance", "couplingCoefficient"})
        EXPECT_EQ(records[2].cells[column(records[0].cells, key)], jsonValue(single.out, key)) << key;
}

struct BadBatch {
    const char* name;
    const char* text;  // nullptr: no file at all
    const char* message;
};

void PrintTo(const BadBatch& c, std::ostream* os) { *os << c.name; }

class BatchRefused : public ::testing::TestWithParam<BadBatch> {};

TEST_P(BatchRefused, InOneLineNamingTheFile) {
    const ScratchDir dir;
    if (GetParam().text != nullptr) dir.write("lines.csv", GetParam().text);
    const ProgramRun r = run(dir, "--batch lines.csv");
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
                 "er_top, mask, mask_er, mask_top, cover, cover_er, g, ground_width)"},
        BadBatch{"QuoteLeftOpen", "structure,w\nmicrostrip,\"1\n", "lines.csv: line 2: a quoted cell is not closed"}),
    [](const auto& info) { return std::string(info.param.name); });

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
                    "--batch takes its structures from the file and no options but --threads"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plattor
