#include "run/design_runs.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "design/csv.hpp"
#include "design/parallel.hpp"
#include "design/plots.hpp"
#include "design/quantity_table.hpp"
#include "design/solve_dimension.hpp"
#include "matrix/error.hpp"
#include "matrix/text.hpp"
#include "report/report.hpp"
#include "run/console.hpp"
#include "run/gnuplot.hpp"

namespace plattor {

namespace {

using Q = Quantity;

constexpr Quantity targets[] = {Q::impedance, Q::differentialImpedance, Q::commonModeImpedance,
                                Q::evenModeImpedance, Q::oddModeImpedance};
constexpr std::size_t largestSweep = 100000;

// An option's column in a batch or a sweep: its name with '_' for '-'.
std::string columnName(const StructureOption& option) {
    std::string name = option.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

LengthScale lengthScale(const std::string& unit) { return {unit, lengthUnitMetres(unit)}; }

// A whole file, or standard input for "-".
std::string readWholeFile(const std::string& fileName) {
    const bool standardInput = fileName == "-";
    const std::string shown = standardInput ? "standard input" : fileName;
    const int fd = standardInput ? 0 : ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw RunError(shown + ": cannot open: " + std::strerror(errno));
    const struct Closer {
        int fd;
        bool own;
        ~Closer() {
            if (own) ::close(fd);
        }
    } closer{fd, !standardInput};
    std::string text;
    char piece[65536];
    for (;;) {
        const ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw RunError(shown + ": cannot read: " + std::strerror(errno));
        if (got == 0) break;
        text.append(piece, static_cast<std::size_t>(got));
    }
    return text;
}

// "k of n" on standard error, over itself, where standard error is a terminal and at most ten
// times a second; ended by a line break.
class Progress {
public:
    Progress(std::size_t total, const char* what) : shown_(::isatty(2) == 1), total_(total), what_(what) {}
    void operator()(std::size_t done) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        std::fprintf(stderr, "\rplattor-lines: %zu of %zu %s", done, total_, what_);
        if (done == total_) std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }

private:
    bool shown_;
    std::size_t total_;
    const char* what_;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

void parseTarget(const std::string& text, Quantity& quantity, double& target) {
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    bool known = false;
    for (const Quantity q : targets)
        if (name == quantityInfo(q).key) quantity = q, known = true;
    const std::string_view value = equals == std::string::npos ? std::string_view() : std::string_view(text).substr(equals + 1);
    const Decimal number = parseDecimal(value);
    if (number.length == value.size() && number.inRange) target = number.value;
    if (equals == std::string::npos || !known || number.length == 0 || number.length != value.size() ||
        !number.inRange || !(target > 0))
        throw RunError("--target needs QUANTITY=VALUE, QUANTITY one of impedance, differentialImpedance, "
                       "commonModeImpedance, evenModeImpedance, oddModeImpedance, VALUE in ohm above 0; got \"" +
                       printableExcerpt(text) + "\"");
}

SweepRequest parseSweep(const std::string& text) {
    const std::size_t equals = text.find('=');
    const std::size_t first = text.find(':', equals == std::string::npos ? 0 : equals);
    const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    SweepRequest request{};
    request.option = equals == std::string::npos ? nullptr : findStructureOption(text.substr(0, equals));
    const auto bad = [&](const std::string& why) {
        return RunError("--sweep needs NAME=FROM:TO:COUNT (" + why + "), got \"" + printableExcerpt(text) + "\"");
    };
    if (request.option == nullptr) throw bad("NAME an option of the structures, such as w or h");
    if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
        throw bad("FROM, TO and COUNT separated by ':'");
    request.from = text.substr(equals + 1, first - equals - 1);
    request.to = text.substr(first + 1, second - first - 1);
    const std::string count = text.substr(second + 1);
    const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), request.count);
    if (count.empty() || error != std::errc() || end != count.data() + count.size() || request.count < 1 ||
        request.count > largestSweep)
        throw bad("COUNT a whole number of points from 1 to " + std::to_string(largestSweep));
    return request;
}

void runSolve(const StructureInput& input, const SolveRequest& request, bool json,
              const std::optional<PictureRequest>& picture) {
    // 1. The length that meets the target, and every quantity there.
    const SolvedDimension solved = solveDimension(input.structure, *request.dimension, request.quantity, request.target);
    // 2. The length with its uncertainty (in the unit the lengths carried), then the report.
    const std::string name = request.dimension->name;
    if (json) {
        JsonObject report = structureReport(solved.structure, input.lengthUnit, solved.quantities);
        report.addRaw("solved", "{\"name\": \"" + name + "\", \"value\": " + shortestText(solved.value) +
                                    ", \"error\": " + shortestText(solved.error) + "}");
        display(report.text());
    } else {
        const double metres = lengthUnitMetres(input.lengthUnit);
        display(reportLine(name + " (solved)", solved.value / metres, solved.error / metres, input.lengthUnit));
        display(reportText(quantityRows(solved.quantities, reportedQuantities(solved.structure, input.lengthUnit))));
    }
    // 3. The picture at that length.
    if (picture) drawPicture(solved.structure, input.lengthUnit, *picture);
}

void runSweep(StructureInput input, const SweepRequest& request, const std::optional<std::string>& plotFile,
              unsigned threads) {
    // 1. The points: the option's values from FROM to TO as it reads them, in the unit written
    //    (0.1mm:0.3mm:3 gives 0.2mm exactly as --w 0.2mm does).
    const StructureOption& option = *request.option;
    const std::string name = std::string("--") + option.name;
    if (!std::isnan(input.structure.*option.field))
        throw RunError(name + " is given and swept: leave out " + name);
    const OptionValue from = readStructureOption(input, option, request.from);
    const OptionValue to = readStructureOption(input, option, request.to);
    if (request.geometric && !(from.number > 0 && to.number > 0))
        throw RunError("--sweep-log needs FROM and TO above 0, got " + request.from + " and " + request.to);
    std::vector<double> values;
    if (from.metres == to.metres) {
        for (const double v : sweepPoints(from.number, to.number, request.count, request.geometric))
            values.push_back(v * from.metres);
    } else {
        values = sweepPoints(from.number * from.metres, to.number * to.metres, request.count, request.geometric);
    }
    const PictureFormat format = plotFile ? pictureFormat(*plotFile, "--plot") : PictureFormat::png;
    if (plotFile) checkGnuplot(*plotFile, "--plot");

    // 2. Every point solved, on `threads` threads; the rows printed in order as they come.
    Structure first = input.structure;
    first.*option.field = values.front();
    const std::vector<Quantity>& order = reportedQuantities(first, input.lengthUnit);
    std::vector<std::string> header = {columnName(option)};
    for (const std::string& c : quantityColumns(order)) header.push_back(c);
    header.push_back("error");
    display(csvLine(header));
    std::vector<StructureSolution> solutions(values.size());
    Progress progress(values.size(), "points");
    runInOrder(
        values.size(), threads,
        [&](std::size_t k) {
            Structure s = input.structure;
            s.*option.field = values[k];
            solutions[k] = solveStructure(s);
        },
        [&](std::size_t k) {
            std::vector<std::string> cells = {shortestText(values[k])};
            for (const std::string& c : quantityCells(order, solutions[k])) cells.push_back(c);
            cells.push_back(solutions[k].error);
            display(csvLine(cells));
        },
        [&](std::size_t done) { progress(done); });
    const auto failed = [](const StructureSolution& s) { return !s.error.empty(); };
    if (std::all_of(solutions.begin(), solutions.end(), failed))
        throw RunError("no point of the sweep has a solution: " + solutions.front().error);

    // 3. The impedances against the option.
    if (plotFile)
        runGnuplot(sweepPlot(first, option, lengthScale(input.lengthUnit), values, solutions, request.geometric, format),
                   *plotFile, "--plot");
}

void runBatch(const std::string& fileName, unsigned threads) {
    // 1. The file: a header of `structure` and option columns, one structure a row.
    const std::string shown = fileName == "-" ? "standard input" : fileName;
    const std::vector<CsvRecord> records = parseCsv(readWholeFile(fileName), shown);
    if (records.empty()) throw RunError(shown + ": no header (structure and option columns, such as structure,w,h,er)");
    const std::vector<std::string>& header = records.front().cells;
    std::vector<const StructureOption*> columns;
    std::size_t kindColumn = header.size();
    for (std::size_t c = 0; c < header.size(); ++c) {
        const StructureOption* option = findStructureOption(header[c]);
        const bool kind = header[c] == "structure";
        if (!kind && option == nullptr) {
            std::string known = "structure";
            for (const StructureOption& o : structureOptions()) known += ", " + columnName(o);
            throw RunError(shown + ": line 1: unknown column \"" + printableExcerpt(header[c]) + "\" (the columns are " +
                           known + ")");
        }
        const bool repeated = kind ? kindColumn < header.size()
                                   : std::find(columns.begin(), columns.end(), option) != columns.end();
        if (repeated) throw RunError(shown + ": line 1: the column \"" + header[c] + "\" appears twice");
        if (kind) kindColumn = c;
        columns.push_back(option);
    }
    if (kindColumn == header.size()) throw RunError(shown + ": line 1: no column \"structure\"");

    // 2. Each row read and solved on its own: what is wrong with one row is that row's error.
    const std::size_t rows = records.size() - 1;
    std::vector<StructureSolution> solutions(rows);
    const auto solveRow = [&](std::size_t k) {
        const CsvRecord& record = records[k + 1];
        try {
            if (record.cells.size() != header.size())
                throw RunError("line " + std::to_string(record.line) + " has " + std::to_string(record.cells.size()) +
                               " cells, the header has " + std::to_string(header.size()));
            StructureInput input;
            if (!structureKindNamed(record.cells[kindColumn], input.structure.kind))
                throw RunError("unknown structure \"" + printableExcerpt(record.cells[kindColumn]) +
                               "\" (microstrip, stripline or coplanar)");
            for (std::size_t c = 0; c < header.size(); ++c)
                if (columns[c] != nullptr && !record.cells[c].empty())
                    setStructureOption(input, *columns[c], record.cells[c]);
            solutions[k] = solveStructure(input.structure);
        } catch (const RunError& e) {
            solutions[k].error = e.what();
        }
    };

    // 3. The rows in their order: the cells as given, every quantity and its error, the reason.
    const std::vector<Quantity>& order = everyQuantity();
    std::vector<std::string> out = header;
    for (const std::string& c : quantityColumns(order)) out.push_back(c);
    out.push_back("error");
    display(csvLine(out));
    Progress progress(rows, "rows");
    runInOrder(
        rows, threads, solveRow,
        [&](std::size_t k) {
            std::vector<std::string> cells = records[k + 1].cells;
            cells.resize(header.size());
            for (const std::string& c : quantityCells(order, solutions[k])) cells.push_back(c);
            cells.push_back(solutions[k].error);
            display(csvLine(cells));
            solutions[k] = {};  // a long batch keeps only the rows not yet printed
        },
        [&](std::size_t done) { progress(done); });
}

void drawPicture(const Structure& structure, const std::string& lengthUnit, const PictureRequest& picture) {
    const PictureFormat format = pictureFormat(picture.fileName, "--picture");
    const bool odd = picture.odd.value_or(structure.isPair());
    if (odd && !structure.isPair()) throw RunError("--mode odd needs a pair of traces (--s)");
    runGnuplot(crossSectionPicture(structure, lengthScale(lengthUnit), odd, format), picture.fileName, "--picture");
}

}  // namespace plattor
