#include "plattor/lines.hpp"

#include <cmath>

#include "api/line_access.hpp"
#include "base/text.hpp"
#include "report/report.hpp"
#include "lines/board_solution.hpp"
#include "lines/line_losses.hpp"
#include "report/board_report.hpp"
#include "report/conductor_report.hpp"
#include "section/board_file.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

struct UnitName {
    Unit unit;
    const char* si;
};
constexpr UnitName unitNames[] = {{Unit::capacitance, "F/m"}, {Unit::impedance, "ohm"}, {Unit::inductance, "H/m"},
                                  {Unit::delay, "s/m"},       {Unit::delayPerInch, "s/in"}, {Unit::ratio, ""}};

const char* siUnit(Unit unit) {
    for (const UnitName& u : unitNames)
        if (u.unit == unit) return u.si;
    return "";
}

std::string optionList() {
    std::string list;
    for (const StructureOption& o : structureOptions()) list += (list.empty() ? "" : ", ") + std::string(o.name);
    return list;
}

}  // namespace

const StructureOption& namedOption(std::string_view name) {
    const StructureOption* option = findStructureOption(name);
    if (option == nullptr)
        throw Error("unknown option \"" + printableExcerpt(name) + "\"; the options are " + optionList());
    return *option;
}

Line::Line(std::string_view kind) : data_(std::make_unique<Data>()) {
    if (!structureKindNamed(kind, data_->input.structure.kind))
        throw Error("unknown structure \"" + printableExcerpt(kind) + "\"; the structures are microstrip, stripline, coplanar");
}

Line::Line(const Line& other) : data_(std::make_unique<Data>(*other.data_)) {}
Line::Line(Line&& other) noexcept = default;
Line& Line::operator=(const Line& other) {
    if (this != &other) data_ = std::make_unique<Data>(*other.data_);
    return *this;
}
Line& Line::operator=(Line&& other) noexcept = default;
Line::~Line() = default;

// A number takes the path of its shortest text, which reads back to the same double: the same
// checks and messages as on the command line.
Line& Line::set(std::string_view option, double value) { return set(option, shortestText(value)); }

Line& Line::set(std::string_view option, std::string_view text) {
    const StructureOption& o = namedOption(option);
    publicErrors([&] { setStructureOption(data_->input, o, text); });
    return *this;
}

std::string Line::kind() const { return structureName(data_->input.structure.kind); }

double Line::get(std::string_view option) const { return data_->input.structure.*namedOption(option).field; }

std::string Line::lengthUnit() const { return data_->input.lengthUnit.empty() ? "" : "m"; }

std::vector<std::string> Line::options() {
    std::vector<std::string> names;
    for (const StructureOption& o : structureOptions()) names.emplace_back(o.name);
    return names;
}

std::vector<Line::Option> Line::options(std::string_view kind) {
    const StructureKind k = Line(kind).data_->input.structure.kind;
    std::vector<Option> needed, optional;
    for (const StructureOption& o : structureOptions())
        if (o.kinds & kindBit(k)) {
            const bool required = (o.required & kindBit(k)) != 0;
            (required ? needed : optional).push_back({o.name, o.meaning, o.length, required});
        }
    needed.insert(needed.end(), optional.begin(), optional.end());
    return needed;
}

std::string Line::description(std::string_view kind) { return structureDescription(Line(kind).data_->input.structure.kind); }

std::string Reading::text() const {
    for (const UnitName& u : unitNames)
        if (unit == u.si) return valueWithBar(value, error, u.unit);
    // A loss's own units (ohm/m, S/m, dB/m) as plattor-lines shows them.
    for (std::size_t k = 0; k < lossQuantityCount; ++k) {
        const LossQuantityInfo& info = lossQuantityInfo(static_cast<LossQuantity>(k));
        if (unit == info.si) return valueWithBar(value * info.scale, error * info.scale, std::string(info.unit));
    }
    return valueWithBar(value, error, Unit::ratio);
}

Solution::Solution(std::optional<Line> line, std::vector<Reading> quantities, std::string json, std::string text)
    : line_(std::move(line)), quantities_(std::move(quantities)), json_(std::move(json)), text_(std::move(text)) {}

const Line& Solution::line() const {
    if (!line_) throw Error("a cross-section file's solution has no Line");
    return *line_;
}

std::string Solution::kind() const { return line_ ? line_->kind() : "cross-section"; }

bool Solution::has(std::string_view key) const {
    for (const Reading& r : quantities_)
        if (r.key == key) return true;
    return false;
}

const Reading& Solution::operator[](std::string_view key) const {
    for (const Reading& r : quantities_)
        if (r.key == key) return r;
    std::string keys;
    for (const Reading& r : quantities_) keys += (keys.empty() ? "" : ", ") + r.key;
    throw Error("no quantity \"" + printableExcerpt(key) + "\" for this " + kind() + "; it has " + keys);
}

std::vector<Reading> LineAccess::readings(const ConvergedQuantities& c, const std::vector<Quantity>& order) {
    std::vector<Reading> readings;
    for (const Quantity q : order) {
        if (!c.value.applies(q)) continue;
        const QuantityInfo& info = quantityInfo(q);
        readings.push_back({info.key, info.name, siUnit(info.unit), c.value[q], c.error[q]});
    }
    return readings;
}

Solution LineAccess::solution(std::vector<Reading> readings, std::string json, std::string text) {
    return Solution(std::nullopt, std::move(readings), std::move(json), std::move(text));
}

Solution LineAccess::solution(const Line& line, const ConvergedQuantities& c) {
    const StructureInput& input = LineAccess::input(line);
    const std::vector<Quantity>& order = reportedQuantities(input.structure, input.lengthUnit);
    std::vector<Reading> readings = LineAccess::readings(c, order);
    std::string text;
    for (const std::string& l : reportText(quantityRows(c, order), c)) text += (text.empty() ? "" : "\n") + l;
    return Solution(line, std::move(readings), structureReportJson(input.structure, input.lengthUnit, c), text);
}

Solution solve(const Line& line) {
    const Structure& structure = LineAccess::input(line).structure;
    return publicErrors([&] {
        checkStructure(structure);
        return LineAccess::solution(line, convergedQuantities(structureSection(structure)));
    });
}

Solution solveCrossSection(std::string_view json, std::string_view name) {
    return publicErrors([&] {
        const BoardFile file = BoardFile::parse(json, std::string(name));
        const Board board = file.board();
        const BoardSolution s = solveBoard(board);
        std::vector<Reading> readings;
        std::vector<std::string> lines;
        if (s.conductors) {
            for (const ReportRow& r : conductorRows(*s.conductors, s.names))
                readings.push_back({r.name, r.name, siUnit(r.unit), r.value, r.error});
            lines = conductorText(*s.conductors, s.names);
        } else {
            const std::vector<Quantity>& order = reportedQuantities(s.isPair(), file.displayUnit());
            readings = LineAccess::readings(s.line, order);
            lines = reportText(quantityRows(s.line, order), s.line);
        }
        std::string text;
        for (const std::string& l : lines) text += (text.empty() ? "" : "\n") + l;
        return LineAccess::solution(std::move(readings), boardReportJson(board, file.displayUnit(), s), text);
    });
}

const char* version() { return PLATTOR_VERSION; }

}  // namespace plattor
