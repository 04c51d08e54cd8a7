#include "run/design_runs.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "design/csv.hpp"
#include "design/parallel.hpp"
#include "design/plots.hpp"
#include "design/quantity_table.hpp"
#include "design/solve_dimension.hpp"
#include "lines/board_solution.hpp"
#include "report/board_report.hpp"
#include "run/board_runs.hpp"
#include "report/conductor_report.hpp"
#include "section/board_section.hpp"
#include "base/error.hpp"
#include "base/text.hpp"
#include "report/report.hpp"
#include "run/console.hpp"
#include "run/gnuplot.hpp"
#include "solver/interrupt.hpp"
#include "solver/solve.hpp"

namespace plattor {

namespace {

LengthScale lengthScale(const std::string& unit) { return {unit, lengthUnitMetres(unit)}; }

// A batch's file, or standard input for "-", read a piece at a time.
class BatchInput {
public:
    explicit BatchInput(const std::string& fileName)
        : standardInput_(fileName == "-"), shown_(standardInput_ ? "standard input" : fileName),
          fd_(standardInput_ ? 0 : ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) throw RunError(shown_ + ": cannot open: " + std::strerror(errno));
    }
    ~BatchInput() {
        if (!standardInput_) ::close(fd_);
    }
    BatchInput(const BatchInput&) = delete;
    BatchInput& operator=(const BatchInput&) = delete;

    const std::string& shown() const { return shown_; }

    // Up to `size` bytes, 0 at the end. It waits for input a tenth of a second at a time, so
    // that an interrupt is seen while a terminal or a pipe is quiet: the signal may have gone to
    // another thread, leaving this one's read to wait on.
    std::size_t read(char* buffer, std::size_t size) {
        for (;;) {
            checkInterrupt();
            pollfd ready{fd_, POLLIN, 0};
            const int polled = ::poll(&ready, 1, 100);
            if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
            const ssize_t got = ::read(fd_, buffer, size);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got < 0) throw RunError(shown_ + ": cannot read: " + std::strerror(errno));
            return static_cast<std::size_t>(got);
        }
    }

private:
    bool standardInput_;
    std::string shown_;
    int fd_;
};

// Whether progress may go to standard error: a terminal that standard output is not, so that
// it cannot mix into the CSV.
bool progressShown() {
    if (::isatty(2) != 1) return false;
    if (::isatty(1) != 1) return true;
    struct stat out {}, err {};
    return ::fstat(1, &out) != 0 || ::fstat(2, &err) != 0 || out.st_rdev != err.st_rdev;
}

// "k of n points" or "k rows", on standard error over itself, at most ten times a second, on a
// line of its own: ended before anything else is said there.
class Progress {
public:
    Progress(const char* what, std::size_t total = 0) : shown_(progressShown()), what_(what), total_(total) {}
    ~Progress() { end(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void operator()(std::size_t done) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done != total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        if (total_ > 0) std::fprintf(stderr, "\rplattor-lines: %zu of %zu %s", done, total_, what_);
        else std::fprintf(stderr, "\rplattor-lines: %zu %s", done, what_);
        std::fflush(stderr);
        open_ = true;
    }

    void end() {
        if (open_) std::fputc('\n', stderr);
        open_ = false;
    }

private:
    bool shown_;
    const char* what_;
    std::size_t total_;
    bool open_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// The header, then the rows as `work` writes them; where an interrupt cuts them short, the
// progress line ended and how many rows the output holds (`written`, as they are counted).
void writeRows(const std::vector<std::string>& header, const OrderedWork& work, unsigned threads, std::size_t window,
               Progress& progress, const std::size_t& written) {
    displayWhole(csvLine(header));
    try {
        runInOrder(work, threads, window);
    } catch (const Interrupted&) {
        progress.end();
        throw RunError("interrupted: the output holds the header and " + std::to_string(written) + " complete row" +
                       (written == 1 ? "" : "s"));
    }
    progress.end();
}

// Said on standard error where fewer threads than asked for could be started.
void sayFewerThreads(Progress& progress, unsigned asked, unsigned running, const std::string& why) {
    progress.end();
    std::fprintf(stderr, "plattor-lines: only %u of the %u threads could be started (%s): going on with %u\n", running,
                 asked, why.c_str(), running);
}

}  // namespace

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
        display(reportText(quantityRows(solved.quantities, reportedQuantities(solved.structure, input.lengthUnit)),
                           solved.quantities));
    }
    // 3. The picture at that length.
    if (picture) drawPicture(solved.structure, input.lengthUnit, *picture);
}

void runSweep(StructureInput input, const SweepRequest& request, const std::optional<std::string>& plotFile,
              unsigned threads) {
    // 1. The points: the option's values from FROM to TO on the decimal grid of the numbers
    //    typed, in the unit written.
    const StructureOption& option = *request.option;
    const std::vector<double> values = sweepValues(input, request);
    const PictureFormat format = plotFile ? pictureFormat(*plotFile, "--plot") : PictureFormat::png;
    if (plotFile) checkGnuplot(*plotFile, "--plot");

    // 2. Every point solved, on `threads` threads; the rows written in order as they come, each
    //    whole. A point without a solution is its row's error, even where no point has one.
    //    Where a permittivity or loss tangent is swept, every point has the same meshes: their
    //    kernels are computed once.
    std::optional<KernelsKept> kept;
    if (!option.length) kept.emplace();
    Structure first = input.structure;
    first.*option.field = values.front();
    const std::vector<Quantity>& order = reportedQuantities(first, input.lengthUnit);
    const std::vector<std::string> header = sweepHeader(option, order);
    std::vector<StructureSolution> solutions(values.size());
    Progress progress("points", values.size());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, values.size()));
    std::size_t written = 0;
    const OrderedWork points{
        [&](std::size_t k) { return k < values.size(); },
        [&](std::size_t k) {
            Structure s = input.structure;
            s.*option.field = values[k];
            solutions[k] = solveStructure(s);
        },
        [&](std::size_t k) {
            displayWhole(csvLine(sweepRow(values[k], order, solutions[k])));
            ++written;
        },
        [&](std::size_t done) { progress(done); },
        [&](unsigned running, const std::string& why) { sayFewerThreads(progress, threads, running, why); }};
    writeRows(header, points, threads, std::max<std::size_t>(values.size(), threads), progress, written);

    // 3. The impedances against the option, where a point has them.
    const auto solved = [](const StructureSolution& s) { return s.error.empty(); };
    if (plotFile && std::none_of(solutions.begin(), solutions.end(), solved))
        throw RunError("--plot: no point of the sweep has a solution to draw: " + solutions.front().error);
    if (plotFile)
        runGnuplot(sweepPlot(first, option, lengthScale(input.lengthUnit), values, solutions, request.geometric, format),
                   *plotFile, "--plot");
}

namespace {

// A cross-section file's board at one point of a sweep, or a row of a batch: solved, or why not.
struct BoardPoint {
    BoardSolution solution;
    std::string error;
};

BoardPoint solvePoint(const BoardFile& file) {
    BoardPoint point;
    try {
        point.solution = solveBoard(file.board());
    } catch (const Interrupted&) {
        throw;
    } catch (const RunError& e) {
        point.error = e.what();
    }
    return point;
}

// The columns of a solved board: a line's quantities, or each value line of the conductors'
// report (its name, and the name + " error").
std::vector<std::string> boardColumns(const BoardSolution& s, const std::vector<Quantity>& order) {
    if (!s.conductors) return quantityColumns(order);
    std::vector<std::string> columns;
    for (const ReportRow& r : conductorRows(*s.conductors, s.names)) {
        columns.push_back(r.name);
        columns.push_back(r.name + " error");
    }
    return columns;
}

// A point's cells under those columns: each value and error as the shortest text that reads
// back, SI units; empty where it has none.
std::vector<std::string> boardCells(const std::vector<std::string>& columns, const std::vector<Quantity>& order,
                                    const BoardPoint& p) {
    if (p.error.empty() && !p.solution.conductors)
        return quantityCells(order, StructureSolution{p.solution.line, p.error});
    std::vector<std::string> cells(columns.size());
    if (!p.error.empty() || !p.solution.conductors) return cells;
    const std::vector<ReportRow> rows = conductorRows(*p.solution.conductors, p.solution.names);
    for (std::size_t c = 0; c + 1 < columns.size(); c += 2)
        for (const ReportRow& r : rows)
            if (r.name == columns[c]) {
                cells[c] = shortestText(r.value);
                cells[c + 1] = shortestText(r.error);
            }
    return cells;
}

}  // namespace

void runFileSweep(BoardFile file, const SweepRequest& request, unsigned threads) {
    // 1. The points: FROM to TO on the decimal grid of the numbers typed, in their one unit, each
    //    set at the path as the file's own value would be.
    const Decimal from = parseDecimal(request.from), to = parseDecimal(request.to);
    const std::string unit = request.from.substr(from.length);
    if (from.length == 0 || to.length == 0 || request.to.substr(to.length) != unit)
        throw RunError("--sweep " + request.name + ": FROM and TO need to be numbers in one unit, got \"" +
                       printableExcerpt(request.from) + "\" and \"" + printableExcerpt(request.to) + "\"");
    if (request.geometric && !(from.value > 0 && to.value > 0))
        throw RunError("--sweep-log needs FROM and TO above 0, got " + request.from + " and " + request.to);
    std::vector<std::string> values;
    for (const double v : sweepPoints(std::string_view(request.from).substr(0, from.length),
                                      std::string_view(request.to).substr(0, to.length), request.count,
                                      request.geometric))
        values.push_back(shortestText(v) + unit);
    values.front() = request.from;
    if (values.size() > 1) values.back() = request.to;
    std::vector<BoardFile> files(values.size(), file);
    for (std::size_t k = 0; k < values.size(); ++k) files[k].set(request.name, values[k]);

    // 2. The first point solved first, for the columns its kind of board has; then the rest on
    //    `threads` threads, the rows written in order as they come, each whole. A permittivity or
    //    loss tangent swept leaves the meshes as they are: their kernels are computed once.
    std::optional<KernelsKept> kept;
    if (!file.holdsLength(request.name)) kept.emplace();
    std::vector<BoardPoint> points(values.size());
    points.front() = solvePoint(files.front());
    const std::vector<Quantity>& order = reportedQuantities(points.front().solution.isPair(), file.displayUnit());
    const std::vector<std::string> columns = boardColumns(points.front().solution, order);
    std::vector<std::string> header = {request.name};
    header.insert(header.end(), columns.begin(), columns.end());
    header.push_back("error");
    Progress progress("points", values.size());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, values.size()));
    std::size_t written = 0;
    const OrderedWork work{
        [&](std::size_t k) { return k < values.size(); },
        [&](std::size_t k) {
            if (k > 0) points[k] = solvePoint(files[k]);
        },
        [&](std::size_t k) {
            std::vector<std::string> cells = {values[k]};
            for (const std::string& c : boardCells(columns, order, points[k])) cells.push_back(c);
            cells.push_back(points[k].error);
            displayWhole(csvLine(cells));
            ++written;
            points[k] = {};
        },
        [&](std::size_t done) { progress(done); },
        [&](unsigned running, const std::string& why) { sayFewerThreads(progress, threads, running, why); }};
    writeRows(header, work, threads, std::max<std::size_t>(values.size(), threads), progress, written);
}

void runFileSolve(const BoardFile& file, const std::string& path, Quantity quantity, double target, bool json) {
    // 1. Where the number may go: from its value in the file down and up for as far as the
    //    file's checks accept it (within the resolved range of ratios, 1e6 either way).
    const std::string who = file.source();
    const double start = file.get(path);
    if (!(start > 0) || !std::isfinite(start))
        throw RunError(who + ": " + path + " needs a value above 0 in the file for the search to start from");
    const auto boardAt = [&](double value) {
        BoardFile changed = file;
        changed.set(path, value);
        return changed.board();
    };
    const Board first = boardAt(start);
    const DimensionRange range = acceptedRange(start, [&](double v) { boardAt(v); });
    const double lo = range.lo, hi = range.hi;
    const CrossSection section = boardSection(first);
    const bool pair = section.isPair();
    const std::vector<Quantity>& reported = reportedQuantities(pair, file.displayUnit());
    if (!section.signals().empty() || std::find(reported.begin(), reported.end(), quantity) == reported.end())
        throw RunError(who + ": " + quantityInfo(quantity).key + " is not a quantity of this board: a solve needs " +
                       (section.signals().empty() ? (pair ? "a pair's impedance (differentialImpedance, …)"
                                                          : "a single trace's impedance")
                                                  : "one signal conductor, or two marked as a pair that are each "
                                                    "other's mirror images"));
    // 2. The number that meets the target, and the report there.
    const SolvedLength solved =
        solveLength({who, path, lo, hi, std::clamp(start, lo, hi), [&](double v) { return boardSection(boardAt(v)); }},
                    quantity, target);
    const Board at = boardAt(solved.value);
    BoardSolution solution;
    solution.line = solved.quantities;
    if (json) {
        std::string report = boardReportJson(at, file.displayUnit(), solution);
        report.erase(report.size() - 2);  // reopened for one more member
        report += ",\n  \"solved\": {\"path\": " + jsonString(path) + ", \"value\": " + shortestText(solved.value) +
                  ", \"error\": " + shortestText(solved.error) + "}\n}";
        display(report);
        return;
    }
    // A length in the file's unit, a permittivity bare.
    const bool length = file.holdsLength(path);
    const double metres = length ? lengthUnitMetres(file.displayUnit()) : 1.0;
    display(reportLine(path + " (solved)", solved.value / metres, solved.error / metres,
                       length ? file.displayUnit() : ""));
    display(reportText(quantityRows(solved.quantities, reported), solved.quantities));
}

void runBatch(const std::string& fileName, unsigned threads) {
    // 1. The file, read a line at a time: a header of `structure` and option columns, one
    //    structure a row.
    BatchInput file(fileName);
    const std::string& shown = file.shown();
    CsvReader reader([&](char* buffer, std::size_t size) { return file.read(buffer, size); });
    const std::optional<CsvRecord> first = reader.next();
    if (!first) throw RunError(shown + ": no header (structure and option columns, such as structure,w,h,er)");
    if (!first->error.empty()) throw RunError(shown + ": " + first->error);
    const std::vector<std::string>& header = first->cells;
    // A column "file": each row a cross-section file, the other columns paths of its numbers.
    const bool files = std::find(header.begin(), header.end(), "file") != header.end();
    std::vector<const StructureOption*> columns;
    std::size_t kindColumn = header.size();
    for (std::size_t c = 0; c < header.size(); ++c) {
        const StructureOption* option = files ? nullptr : findStructureOption(header[c]);
        const bool kind = header[c] == (files ? "file" : "structure");
        if (files && !kind) {
            if (std::find(header.begin(), header.begin() + c, header[c]) != header.begin() + c)
                throw RunError(shown + ": line 1: the column \"" + printableExcerpt(header[c]) + "\" appears twice");
            columns.push_back(nullptr);
            continue;
        }
        if (!kind && option == nullptr) {
            std::string known = "structure";
            for (const StructureOption& o : structureOptions()) known += ", " + optionColumn(o);
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
    //    Only the rows in flight are held, in a ring of `window` slots.
    struct Row {
        CsvRecord record;
        StructureSolution solution;
    };
    const std::size_t window = 4 * static_cast<std::size_t>(threads);
    std::vector<Row> rows(window);
    // The cross-section files read once each, as the rows name them.
    std::map<std::string, BoardFile> read;
    std::mutex reading;
    const auto cachedFile = [&](const std::string& name) {
        const std::lock_guard<std::mutex> lock(reading);
        auto found = read.find(name);
        if (found == read.end()) found = read.emplace(name, readBoardFile(name)).first;
        return found->second;
    };
    const auto readRow = [&](std::size_t k) {
        checkInterrupt();  // no row starts once an interrupt is asked for
        std::optional<CsvRecord> record = reader.next();
        if (record) rows[k % window] = Row{std::move(*record), {}};
        return record.has_value();
    };
    const auto solveRow = [&](std::size_t k) {
        Row& row = rows[k % window];
        const CsvRecord& record = row.record;
        try {
            if (!record.error.empty()) throw RunError(record.error);
            if (record.cells.size() != header.size())
                throw RunError("line " + std::to_string(record.line) + " has " + std::to_string(record.cells.size()) +
                               " cells, the header has " + std::to_string(header.size()));
            if (files) {
                BoardFile board = cachedFile(record.cells[kindColumn]);
                for (std::size_t c = 0; c < header.size(); ++c)
                    if (c != kindColumn && !record.cells[c].empty()) board.set(header[c], record.cells[c]);
                const BoardSolution solved = solveBoard(board.board());
                if (solved.conductors)
                    throw RunError(board.source() + " has " + std::to_string(solved.names.size()) +
                                   " signal conductors: a batch's row is one trace or a pair; sweep the file instead");
                row.solution.quantities = solved.line;
                return;
            }
            StructureInput input;
            if (!structureKindNamed(record.cells[kindColumn], input.structure.kind))
                throw RunError("unknown structure \"" + printableExcerpt(record.cells[kindColumn]) +
                               "\" (microstrip, stripline or coplanar)");
            for (std::size_t c = 0; c < header.size(); ++c)
                if (columns[c] != nullptr && !record.cells[c].empty())
                    setStructureOption(input, *columns[c], record.cells[c]);
            row.solution = solveStructure(input.structure);
        } catch (const Interrupted&) {
            throw;
        } catch (const RunError& e) {
            row.solution.error = e.what();
        }
    };

    // 3. The rows in their order, each written whole: the cells as given, every quantity and
    //    its error, the reason.
    const std::vector<Quantity>& order = everyQuantity();
    std::vector<std::string> out = header;
    for (const std::string& c : quantityColumns(order)) out.push_back(c);
    out.push_back("error");
    Progress progress("rows done");
    std::size_t written = 0;
    const OrderedWork work{
        readRow, solveRow,
        [&](std::size_t k) {
            Row& row = rows[k % window];
            std::vector<std::string> cells = std::move(row.record.cells);
            cells.resize(header.size());
            for (const std::string& c : quantityCells(order, row.solution)) cells.push_back(c);
            cells.push_back(row.solution.error);
            displayWhole(csvLine(cells));
            ++written;
            row = {};
        },
        [&](std::size_t done) { progress(done); },
        [&](unsigned running, const std::string& why) { sayFewerThreads(progress, threads, running, why); }};
    writeRows(out, work, threads, window, progress, written);
}

void drawPicture(const Structure& structure, const std::string& lengthUnit, const PictureRequest& picture) {
    const PictureFormat format = pictureFormat(picture.fileName, "--picture");
    const bool odd = picture.odd.value_or(structure.isPair());
    if (odd && !structure.isPair()) throw RunError("--mode odd needs a pair of traces (--s)");
    runGnuplot(crossSectionPicture(structure, lengthScale(lengthUnit), odd, format), picture.fileName, "--picture");
}

}  // namespace plattor
