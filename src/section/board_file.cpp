// The cross-section file: JSON text to a checked Board and back, and a number of it changed by
// its path.
#include "section/board_file.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "base/text.hpp"
#include "report/report.hpp"
#include "section/board_checks.hpp"
#include "section/structure_arguments.hpp"

#ifdef PLATTOR_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

namespace plattor {

// ---- Writing ----

namespace {

class Writer {
public:
    Writer(const Board& board, const std::string& unit) : b_(board) {
        if (board.lengthUnit == "m") {
            unit_ = unit.empty() ? "m" : unit;
            metres_ = lengthUnitMetres(unit_);
        }
    }

    std::string text() const {
        std::string t = "{\n";
        if (!unit_.empty()) t += "  \"unit\": " + jsonString(unit_) + ",\n";
        std::vector<std::string> planes;
        if (b_.bottomPlane) planes.push_back("\"bottom\"");
        if (b_.topPlane) planes.push_back("\"top\"");
        t += "  \"planes\": " + list(planes, false) + ",\n";
        std::vector<std::string> items;
        for (const BoardLayer& l : b_.layers) items.push_back(layer(l));
        t += "  \"layers\": " + list(items, true);
        items.clear();
        for (const BoardConductor& c : b_.conductors) items.push_back(conductor(c));
        t += ",\n  \"conductors\": " + list(items, true);
        if (!b_.coating.empty()) {
            const BoardCoating& c = b_.coating.front();
            t += ",\n  \"coating\": {\"thickness\": " + length(c.thickness);
            if (c.thicknessOver != c.thickness) t += ", \"over\": " + length(c.thicknessOver);
            t += ", \"er\": " + shortestText(c.er);
            if (c.tanDelta != 0) t += ", \"tand\": " + shortestText(c.tanDelta);
            t += "}";
        }
        if (!b_.pairs.empty()) {
            items.clear();
            for (const auto& [i, j] : b_.pairs)
                items.push_back(std::string("[") + jsonString(b_.conductors[i].name) + ", " +
                                jsonString(b_.conductors[j].name) + "]");
            t += ",\n  \"pairs\": " + list(items, false);
        }
        return t + "\n}\n";
    }

private:
    // Items one to a line (`lines`) or on one line.
    static std::string list(const std::vector<std::string>& items, bool lines) {
        if (items.empty()) return "[]";
        std::string t = "[";
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (lines) t += k == 0 ? "\n    " : ",\n    ";
            else if (k > 0) t += ", ";
            t += items[k];
        }
        return t + (lines ? "\n  ]" : "]");
    }

    // The reader makes a bare number n in the unit into n·metres: the shortest n that gives the
    // board's double back lies within a few units of the last place of v/metres.
    std::string length(double v) const {
        if (unit_.empty()) return shortestText(v);
        std::string best;
        const double centre = v / metres_;
        double up = centre, down = centre;
        for (int k = 0; k < 5; ++k, up = std::nextafter(up, HUGE_VAL), down = std::nextafter(down, -HUGE_VAL))
            for (const double n : {up, down})
                if (n * metres_ == v && (best.empty() || shortestText(n).size() < best.size())) best = shortestText(n);
        return best.empty() ? jsonString(shortestText(v) + "m") : best;
    }

    std::string point(double x, double y) const { return std::string("[") + length(x) + ", " + length(y) + "]"; }

    std::string layer(const BoardLayer& l) const {
        std::string t = "{";
        if (!l.name.empty()) t += "\"name\": " + jsonString(l.name) + ", ";
        t += "\"thickness\": " + length(l.thickness) + ", \"er\": " + shortestText(l.er);
        if (l.tanDelta != 0) t += ", \"tand\": " + shortestText(l.tanDelta);
        if (l.plane) {
            t += ",\n     \"plane\": {\"height\": " + length(l.planeHeight);
            if (l.planeThickness != 0) t += ", \"thickness\": " + length(l.planeThickness);
            if (!l.cutouts.empty()) {
                std::vector<std::string> cuts;
                for (const auto& [x0, x1] : l.cutouts) cuts.push_back(point(x0, x1));
                t += ", \"cutouts\": " + list(cuts, false);
            }
            t += "}";
        }
        return t + "}";
    }

    std::string layerReference(std::size_t k) const {
        return b_.layers[k].name.empty() ? std::to_string(k) : jsonString(b_.layers[k].name);
    }

    std::string conductor(const BoardConductor& c) const {
        std::string t = "{";
        if (!c.name.empty()) t += "\"name\": " + jsonString(c.name) + ", ";
        if (!c.signal) t += "\"role\": \"ground\", ";
        switch (c.shape) {
            case ConductorShape::trace: t += "\"trace\": " + trace(c); break;
            case ConductorShape::circle:
                t += "\"circle\": {\"x\": " + length(c.x) + ", \"y\": " + length(c.y) + ", \"radius\": " +
                     length(c.radius);
                if (c.innerRadius > 0) t += ", \"inner_radius\": " + length(c.innerRadius);
                t += "}";
                break;
            case ConductorShape::polygon: {
                std::vector<std::string> corners;
                for (const Point p : c.points) corners.push_back(point(p.real(), p.imag()));
                t += "\"polygon\": " + list(corners, false);
                break;
            }
        }
        return t + "}";
    }

    // Placed as the reader places it: on layer k at layerBottom(k + 1), under layer k at
    // layerBottom(k) − thickness.
    std::string trace(const BoardConductor& c) const {
        const std::size_t n = b_.layers.size();
        std::size_t on = n, under = n;
        for (std::size_t k = 0; k < n && on == n; ++k)
            if (c.y == b_.layerBottom(k + 1)) on = k;
        for (std::size_t k = 0; k < n && on == n && under == n; ++k)
            if (c.y == b_.layerBottom(k) - c.thickness) under = k;
        std::string t = "{";
        if (on < n) t += "\"on\": " + layerReference(on);
        else if (under < n) t += "\"under\": " + layerReference(under);
        else t += "\"y\": " + length(c.y);
        const double width = under < n ? c.topWidth : c.bottomWidth, other = under < n ? c.bottomWidth : c.topWidth;
        t += ", \"x\": " + length(c.x);
        if (c.toEdge != 0) {
            t += std::string(", \"to_edge\": ") + (c.toEdge < 0 ? "\"left\"" : "\"right\"");
            if (c.thickness != 0) t += ", \"thickness\": " + length(c.thickness);
            return t + "}";
        }
        t += ", \"width\": " + length(width);
        if (other != width) t += std::string(under < n ? ", \"bottom_width\": " : ", \"top_width\": ") + length(other);
        if (c.thickness != 0) t += ", \"thickness\": " + length(c.thickness);
        return t + "}";
    }

    const Board& b_;
    std::string unit_;  // "" for bare lengths
    double metres_ = 1.0;
};

}  // namespace

std::string boardJson(const Board& board, const std::string& unitForDisplay) {
    return Writer(board, unitForDisplay).text();
}

// ---- Reading ----

#ifdef PLATTOR_HAVE_JSON

namespace {

using Json = nlohmann::ordered_json;

std::string member(const std::string& path, const std::string& key) { return path.empty() ? key : path + "." + key; }
std::string item(const std::string& path, std::size_t k) { return path + "[" + std::to_string(k) + "]"; }

// What a JSON value is, as a refusal names it.
std::string kindOf(const Json& v) {
    if (v.is_string()) return "a string";
    if (v.is_number()) return "a number";
    if (v.is_object()) return "an object";
    if (v.is_array()) return "a list";
    if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
    return "null";
}

// Builds the document from nlohmann's events: its own parser keeps the last of a member given
// twice, where a file's typo must be refused; and it tells where malformed text stopped it.
class DocumentBuilder {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    bool null() { return place(nullptr); }
    bool boolean(bool v) { return place(v); }
    bool number_integer(number_integer_t v) { return place(v); }
    bool number_unsigned(number_unsigned_t v) { return place(v); }
    bool number_float(number_float_t v, const string_t&) { return place(v); }
    bool string(string_t& v) { return place(v); }
    bool binary(binary_t&) { return false; }  // not in JSON text
    bool start_object(std::size_t) { return open(Json::object()); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(string_t& k) {
        if (open_.back().node->contains(k)) {
            twice = member(open_.back().path, k);
            return false;
        }
        key_ = k;
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const Json::exception& e) {
        errorPosition = position;
        error = e.what();
        return false;
    }

    Json root;
    std::string twice;  // the path of a member given twice
    std::string error;  // nlohmann's message where the text is malformed
    std::size_t errorPosition = 0;

private:
    struct Open {
        Json* node;
        std::string path;
    };

    // The new value's place: the innermost open list or object, under the last key.
    std::pair<Json*, std::string> slot() {
        if (open_.empty()) return {&root, ""};
        Open& o = open_.back();
        if (o.node->is_array()) {
            o.node->push_back(nullptr);
            return {&o.node->back(), item(o.path, o.node->size() - 1)};
        }
        return {&(*o.node)[key_], member(o.path, key_)};
    }
    bool place(Json v) {
        *slot().first = std::move(v);
        return true;
    }
    // A value's place stays put while it is open: only the innermost open value grows.
    bool open(Json v) {
        auto [node, path] = slot();
        *node = std::move(v);
        open_.push_back({node, std::move(path)});
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    std::vector<Open> open_;
    std::string key_;
};

// "source:line:column: malformed JSON: what", the line and column (both from 1, the column in
// bytes) of the byte nlohmann stopped at, its message without its prefix and the text it quotes.
[[noreturn]] void refuseMalformed(std::string_view text, const std::string& source, const DocumentBuilder& d) {
    const std::size_t at = std::min(d.errorPosition > 0 ? d.errorPosition - 1 : 0, text.size());
    const std::size_t lineStart = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;  // npos + 1 is 0
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    std::string what = d.error.substr(d.error.find(']') + 2);  // "[json.exception.parse_error.101] "
    if (what.rfind("parse error", 0) == 0) what = what.substr(what.find(": ") + 2);
    // "…; last read: '<text>'[; expected …]": the text read may hold anything.
    if (const std::size_t read = what.find("; last read: '"); read != std::string::npos) {
        const std::size_t expected = what.rfind("'; expected ");
        const bool more = expected != std::string::npos && expected > read;
        what = what.substr(0, read) + (more ? what.substr(expected + 1) : "");
    }
    throw RunError(source + ":" + std::to_string(line) + ":" + std::to_string(at - lineStart + 1) +
                   ": malformed JSON: " + what);
}

// A file's value read as a length, as the options read theirs: a number in the file's unit (bare
// where it gives none), or a string with or without a unit.
double readFileLength(StructureInput& lengths, const Json& v, const std::string& unit, const std::string& path,
                      const std::string& source) {
    std::string written;
    if (v.is_number()) written = shortestText(v.get<double>()) + unit;
    else if (v.is_string()) written = v.get<std::string>();
    else
        throw RunError(source + ": " + path + ": must be a length (a number, or text such as \"0.1mm\"), got " +
                       kindOf(v));
    try {
        const OptionValue value = readLength(lengths, path, written);
        return value.number * value.metres;
    } catch (const RunError& e) {
        throw RunError(source + ": " + e.what());
    }
}

// A file's JSON into a Board: the members, their kinds and what they refer to; the values' own
// checks are checkBoard's.
class Reader {
public:
    Reader(const Json& root, const std::string& source) : root_(root), source_(source) {}

    Board read() {
        const Json& top = object(root_, "");
        onlyKeys(top, "", {"unit", "planes", "layers", "conductors", "coating", "pairs"});
        Board board;
        if (const Json* u = find(top, "unit")) {
            unit_ = text(*u, "unit");
            if (!isLengthUnit(unit_))
                refuse("unit", "must be one of m, mm, um, mil, got \"" + printableExcerpt(unit_) + "\"");
        }
        if (const Json* planes = find(top, "planes")) readPlanes(board, *planes);
        if (const Json* layers = find(top, "layers"))
            for (std::size_t k = 0; k < list(*layers, "layers").size(); ++k)
                board.layers.push_back(readLayer((*layers)[k], item("layers", k)));
        if (const Json* conductors = find(top, "conductors"))
            for (std::size_t k = 0; k < list(*conductors, "conductors").size(); ++k)
                board.conductors.push_back(readConductor(board, (*conductors)[k], k));
        if (const Json* coating = find(top, "coating")) board.coating.push_back(readCoating(*coating));
        // By name, once every conductor has one.
        if (const Json* pairs = find(top, "pairs"))
            for (std::size_t k = 0; k < list(*pairs, "pairs").size(); ++k)
                board.pairs.push_back(readPair(board, (*pairs)[k], item("pairs", k)));
        board.lengthUnit = lengths_.unitsGiven.empty() ? "" : "m";
        return board;
    }

    const std::string& displayUnit() const { return lengths_.lengthUnit; }

private:
    [[noreturn]] void refuse(const std::string& path, const std::string& why) const {
        throw RunError(source_ + ": " + (path.empty() ? "" : path + ": ") + why);
    }

    static const Json* find(const Json& object, const char* key) {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    }
    const Json& need(const Json& object, const std::string& path, const char* key) const {
        const Json* v = find(object, key);
        if (!v) refuse(path, std::string("needs ") + key);
        return *v;
    }
    // A member no reader looks at is a typo, or a field of another kind of object.
    void onlyKeys(const Json& object, const std::string& path, std::initializer_list<std::string_view> keys) const {
        for (const auto& [key, value] : object.items())
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) refuse(member(path, key), "unknown key");
    }

    const Json& object(const Json& v, const std::string& path) const {
        if (!v.is_object()) refuse(path, "must be an object {…}, got " + kindOf(v));
        return v;
    }
    const Json& list(const Json& v, const std::string& path) const {
        if (!v.is_array()) refuse(path, "must be a list […], got " + kindOf(v));
        return v;
    }
    std::string text(const Json& v, const std::string& path) const {
        if (!v.is_string()) refuse(path, "must be a string, got " + kindOf(v));
        return v.get<std::string>();
    }
    double number(const Json& v, const std::string& path) const {
        if (!v.is_number()) refuse(path, "must be a number, got " + kindOf(v));
        return v.get<double>();
    }
    double length(const Json& v, const std::string& path) { return readFileLength(lengths_, v, unit_, path, source_); }
    // A trace's width, refused with the text as given (the board no longer knows which face it was).
    double width(const Json& v, const std::string& path) {
        const double w = length(v, path);
        if (!(w > 0)) refuse(path, "must be positive, got " + (v.is_string() ? v.get<std::string>() : shortestText(w)));
        return w;
    }
    // [x0, x1] or [x, y].
    std::pair<double, double> two(const Json& v, const std::string& path) {
        if (!v.is_array() || v.size() != 2) refuse(path, "must be a list of two lengths, got " + kindOf(v));
        return {length(v[0], item(path, 0)), length(v[1], item(path, 1))};
    }

    void readPlanes(Board& board, const Json& v) const {
        board.bottomPlane = false;
        for (std::size_t k = 0; k < list(v, "planes").size(); ++k) {
            const std::string path = item("planes", k), plane = text(v[k], path);
            if (plane != "bottom" && plane != "top")
                refuse(path, "must be bottom or top, got \"" + printableExcerpt(plane) + "\"");
            bool& present = plane == "bottom" ? board.bottomPlane : board.topPlane;
            if (present) refuse(path, "\"" + plane + "\" is given twice");
            present = true;
        }
    }

    BoardLayer readLayer(const Json& v, const std::string& path) {
        onlyKeys(object(v, path), path, {"name", "thickness", "er", "tand", "plane"});
        BoardLayer l;
        if (const Json* name = find(v, "name")) l.name = text(*name, member(path, "name"));
        l.thickness = length(need(v, path, "thickness"), member(path, "thickness"));
        l.er = number(need(v, path, "er"), member(path, "er"));
        if (const Json* tand = find(v, "tand")) l.tanDelta = number(*tand, member(path, "tand"));
        if (const Json* plane = find(v, "plane")) {
            const std::string at = member(path, "plane");
            onlyKeys(object(*plane, at), at, {"height", "thickness", "cutouts"});
            l.plane = true;
            l.planeHeight = length(need(*plane, at, "height"), member(at, "height"));
            if (const Json* t = find(*plane, "thickness")) l.planeThickness = length(*t, member(at, "thickness"));
            if (const Json* cutouts = find(*plane, "cutouts"))
                for (std::size_t j = 0; j < list(*cutouts, member(at, "cutouts")).size(); ++j)
                    l.cutouts.push_back(two((*cutouts)[j], item(member(at, "cutouts"), j)));
        }
        return l;
    }

    std::size_t layerIndex(const Board& board, const Json& v, const std::string& path) const {
        if (v.is_number_integer()) {
            const auto k = v.get<long long>();
            if (k < 0 || static_cast<std::size_t>(k) >= board.layers.size())
                refuse(path, "no layer " + std::to_string(k) + " (the layers are numbered from 0 to " +
                                 std::to_string(static_cast<long long>(board.layers.size()) - 1) + ")");
            return static_cast<std::size_t>(k);
        }
        if (!v.is_string()) refuse(path, "must be a layer's index or name, got " + kindOf(v));
        for (std::size_t k = 0; k < board.layers.size(); ++k)
            if (board.layers[k].name == v.get<std::string>()) return k;
        refuse(path, "no layer named \"" + printableExcerpt(v.get<std::string>()) + "\"");
    }

    BoardConductor readConductor(const Board& board, const Json& v, std::size_t k) {
        const std::string path = item("conductors", k);
        onlyKeys(object(v, path), path, {"name", "role", "trace", "circle", "polygon"});
        BoardConductor c;
        c.name = "c" + std::to_string(k);
        if (const Json* name = find(v, "name")) c.name = text(*name, member(path, "name"));
        if (const Json* role = find(v, "role")) {
            const std::string r = text(*role, member(path, "role"));
            if (r != "signal" && r != "ground")
                refuse(member(path, "role"), "must be signal or ground, got \"" + printableExcerpt(r) + "\"");
            c.signal = r == "signal";
        }
        const Json *trace = find(v, "trace"), *circle = find(v, "circle"), *polygon = find(v, "polygon");
        const int shapes = (trace != nullptr) + (circle != nullptr) + (polygon != nullptr);
        if (shapes == 0) refuse(path, "needs one of trace, circle, polygon");
        if (shapes > 1) refuse(path, "takes only one of trace, circle, polygon");
        if (trace) readTrace(board, *trace, member(path, "trace"), c);
        if (circle) {
            const std::string at = member(path, "circle");
            onlyKeys(object(*circle, at), at, {"x", "y", "radius", "inner_radius"});
            c.shape = ConductorShape::circle;
            if (const Json* x = find(*circle, "x")) c.x = length(*x, member(at, "x"));
            c.y = length(need(*circle, at, "y"), member(at, "y"));
            c.radius = length(need(*circle, at, "radius"), member(at, "radius"));
            if (const Json* inner = find(*circle, "inner_radius")) c.innerRadius = length(*inner, member(at, "inner_radius"));
        }
        if (polygon) {
            const std::string at = member(path, "polygon");
            c.shape = ConductorShape::polygon;
            for (std::size_t j = 0; j < list(*polygon, at).size(); ++j) {
                const auto [x, y] = two((*polygon)[j], item(at, j));
                c.points.emplace_back(x, y);
            }
            // Checked as the file numbers its corners, then turned counter-clockwise.
            if (const std::string problem = polygonProblem(c.points); !problem.empty()) refuse(at, problem);
            double area = 0;  // twice the signed area
            for (std::size_t j = 0; j < c.points.size(); ++j) {
                const Point a = c.points[j], b = c.points[(j + 1) % c.points.size()];
                area += a.real() * b.imag() - b.real() * a.imag();
            }
            if (area < 0) std::reverse(c.points.begin(), c.points.end());
        }
        return c;
    }

    void readTrace(const Board& board, const Json& v, const std::string& path, BoardConductor& c) {
        onlyKeys(object(v, path), path,
                 {"on", "under", "y", "x", "width", "top_width", "bottom_width", "thickness", "to_edge"});
        const Json *on = find(v, "on"), *under = find(v, "under"), *y = find(v, "y");
        const int places = (on != nullptr) + (under != nullptr) + (y != nullptr);
        if (places == 0) refuse(path, "needs one of on, under, y");
        if (places > 1) refuse(path, "takes only one of on, under, y");
        if (under && find(v, "top_width"))
            refuse(member(path, "top_width"), "goes with on or y; a trace under a layer takes bottom_width");
        if (!under && find(v, "bottom_width"))
            refuse(member(path, "bottom_width"), "goes with under; a trace on a layer or at y takes top_width");
        c.shape = ConductorShape::trace;
        if (const Json* x = find(v, "x")) c.x = length(*x, member(path, "x"));
        if (const Json* edge = find(v, "to_edge")) {
            // A ground pour: from its inner side at x to the board's edge.
            const std::string at = member(path, "to_edge");
            if (!edge->is_string() || (*edge != "left" && *edge != "right")) refuse(at, "must be \"left\" or \"right\"");
            for (const char* key : {"width", "top_width", "bottom_width"})
                if (find(v, key)) refuse(member(path, key), "a trace taken to the board's edge has no width: x is its inner side");
            c.toEdge = *edge == "left" ? -1 : 1;
            if (const Json* t = find(v, "thickness")) c.thickness = length(*t, member(path, "thickness"));
            if (on) c.y = board.layerBottom(layerIndex(board, *on, member(path, "on")) + 1);
            if (under) c.y = board.layerBottom(layerIndex(board, *under, member(path, "under"))) - c.thickness;
            if (y) c.y = length(*y, member(path, "y"));
            return;
        }
        const double w = width(need(v, path, "width"), member(path, "width"));
        if (const Json* t = find(v, "thickness")) c.thickness = length(*t, member(path, "thickness"));
        // `width` is the face that lies on the layer's face: the top one of a trace hanging under it.
        const char* otherKey = under ? "bottom_width" : "top_width";
        const Json* other = find(v, otherKey);
        const double w2 = other ? width(*other, member(path, otherKey)) : w;
        c.bottomWidth = under ? w2 : w;
        c.topWidth = under ? w : w2;
        if (on) c.y = board.layerBottom(layerIndex(board, *on, member(path, "on")) + 1);
        if (under) c.y = board.layerBottom(layerIndex(board, *under, member(path, "under"))) - c.thickness;
        if (y) c.y = length(*y, member(path, "y"));
    }

    BoardCoating readCoating(const Json& v) {
        onlyKeys(object(v, "coating"), "coating", {"thickness", "over", "er", "tand"});
        BoardCoating c;
        c.thickness = length(need(v, "coating", "thickness"), "coating.thickness");
        c.thicknessOver = c.thickness;
        if (const Json* over = find(v, "over")) c.thicknessOver = length(*over, "coating.over");
        c.er = number(need(v, "coating", "er"), "coating.er");
        if (const Json* tand = find(v, "tand")) c.tanDelta = number(*tand, "coating.tand");
        return c;
    }

    std::pair<std::size_t, std::size_t> readPair(const Board& board, const Json& v, const std::string& path) const {
        if (!v.is_array() || v.size() != 2) refuse(path, "must be a list of two conductors' names, got " + kindOf(v));
        std::size_t ends[2];
        for (std::size_t side = 0; side < 2; ++side) {
            const std::string at = item(path, side), name = text(v[side], at);
            const auto named = [&](const BoardConductor& c) { return c.name == name; };
            const auto it = std::find_if(board.conductors.begin(), board.conductors.end(), named);
            if (it == board.conductors.end()) refuse(at, "no conductor named \"" + printableExcerpt(name) + "\"");
            ends[side] = static_cast<std::size_t>(it - board.conductors.begin());
        }
        return {ends[0], ends[1]};
    }

    const Json& root_;
    const std::string& source_;
    std::string unit_;  // the file's "unit"; "" where it gives none
    StructureInput lengths_;
};

}  // namespace

struct BoardFile::Document {
    Json root;
    std::string source;
    std::string displayUnit;
    bool metres = false;  // the board's lengths in metres: the file's carry units
};

BoardFile BoardFile::parse(std::string_view text, std::string source) {
    DocumentBuilder builder;
    const bool read = Json::sax_parse(text.begin(), text.end(), &builder);
    if (!builder.twice.empty()) throw RunError(source + ": " + builder.twice + ": given twice");
    if (!read) refuseMalformed(text, source, builder);
    auto document = std::make_unique<Document>();
    document->root = std::move(builder.root);
    document->source = std::move(source);
    Reader reader(document->root, document->source);
    const Board board = reader.read();
    checkBoard(board, document->source, reader.displayUnit());
    document->displayUnit = reader.displayUnit();
    document->metres = board.lengthUnit == "m";
    return BoardFile(std::move(document));
}

Board BoardFile::board() const {
    Reader reader(document_->root, document_->source);
    Board board = reader.read();
    checkBoard(board, document_->source, document_->displayUnit);
    return board;
}

namespace {

// The place of one number of the file: the object holding it and its key, or the list of two
// (a cut-out's ends, a polygon's corner) and the index; whether it is a length.
template <class J>
struct Field {
    J* holder;
    std::string key;
    std::size_t index;
    bool length;
};

// Splits "conductors[1].width" and "conductors.1.width" alike into conductors, 1, width.
std::vector<std::string> pathSteps(std::string_view path) {
    std::vector<std::string> steps(1);
    for (std::size_t k = 0; k < path.size(); ++k) {
        const char c = path[k];
        if (c == '.' || c == '[') steps.emplace_back();
        else if (c == ']' && k + 1 < path.size() && path[k + 1] != '.' && path[k + 1] != '[') steps.emplace_back();
        else if (c != ']') steps.back() += c;
    }
    return steps;
}

bool isIndex(const std::string& step, std::size_t& k) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (step.empty() || step.size() > 9 || !std::all_of(step.begin(), step.end(), digit)) return false;
    k = static_cast<std::size_t>(std::stoul(step));
    return true;
}

// The field a path names, in a document the reader has accepted (so each member has its kind).
template <class J>
Field<J> locate(J& root, std::string_view path, const std::string& source) {
    const std::string shown = std::string(path);
    const auto refuse = [&](const std::string& why) -> void { throw RunError(source + ": " + shown + ": " + why); };
    const std::vector<std::string> steps = pathSteps(path);
    for (const std::string& s : steps)
        if (s.empty()) refuse("not a path (members joined by '.', indices as .1 or [1])");
    enum class In { top, layers, layer, plane, cutouts, conductors, conductor, trace, circle, polygon, two, coating };
    In in = In::top;
    J* node = &root;
    const auto enter = [&](const std::string& key, In next) {
        if (!node->contains(key)) refuse("the file has no " + key + " here");
        node = &(*node)[key];
        in = next;
    };
    for (std::size_t s = 0; s < steps.size(); ++s) {
        const std::string& step = steps[s];
        const bool last = s + 1 == steps.size();
        const auto leaf = [&](bool length) -> Field<J> {
            if (!last) refuse(step + " holds no " + steps[s + 1]);
            return {node, step, 0, length};
        };
        std::size_t k = 0;
        switch (in) {
            case In::top:
                if (step == "layers" || step == "conductors" || step == "coating")
                    enter(step, step == "layers" ? In::layers : step == "conductors" ? In::conductors : In::coating);
                else refuse("no such field: the numbers lie under layers, conductors and coating");
                break;
            case In::layers:
            case In::conductors: {
                const std::string what = in == In::layers ? "layer" : "conductor";
                // A conductor without a name is called c<index>.
                const auto nameOf = [&](std::size_t j) -> std::string {
                    const auto& entry = (*node)[j];
                    if (entry.contains("name")) return entry["name"].template get<std::string>();
                    return in == In::conductors ? "c" + std::to_string(j) : "";
                };
                if (!isIndex(step, k)) {
                    k = node->size();
                    for (std::size_t j = 0; j < node->size(); ++j)
                        if (nameOf(j) == step) k = j;
                    if (k == node->size()) refuse("no " + what + " named \"" + printableExcerpt(step) + "\"");
                } else if (k >= node->size()) {
                    refuse("no " + what + " " + step + " (the file has " + std::to_string(node->size()) + ")");
                }
                node = &(*node)[k];
                in = in == In::layers ? In::layer : In::conductor;
                break;
            }
            case In::layer:
                if (step == "thickness") return leaf(true);
                if (step == "er" || step == "tand") return leaf(false);
                if (step != "plane") refuse("no such field: a layer's numbers are thickness, er, tand, plane.…");
                enter(step, In::plane);
                break;
            case In::plane:
                if (step == "height" || step == "thickness") return leaf(true);
                if (step != "cutouts") refuse("no such field: a plane's numbers are height, thickness, cutouts.…");
                enter(step, In::cutouts);
                break;
            case In::cutouts:
            case In::polygon:
                if (!isIndex(step, k) || k >= node->size())
                    refuse("no entry " + step + " (the list has " + std::to_string(node->size()) + ")");
                node = &(*node)[k];
                in = In::two;
                break;
            case In::two:
                if (!isIndex(step, k) || k > 1) refuse("no entry " + step + " (0 or 1)");
                if (!last) refuse(step + " holds no " + steps[s + 1]);
                return {node, "", k, true};
            case In::conductor:
                if (step == "trace") enter(step, In::trace);
                else if (step == "circle") enter(step, In::circle);
                else if (step == "polygon") enter(step, In::polygon);
                else if (step == "name" || step == "role") refuse(step + " is not a number");
                else {
                    // The shape left out: the step belongs to the one the conductor has.
                    if (node->contains("trace")) enter("trace", In::trace);
                    else if (node->contains("circle")) enter("circle", In::circle);
                    else enter("polygon", In::polygon);
                    --s;
                }
                break;
            case In::trace:
                if (step == "x" || step == "y" || step == "width" || step == "top_width" || step == "bottom_width" ||
                    step == "thickness")
                    return leaf(true);
                refuse("no such field: a trace's numbers are x, y, width, top_width, bottom_width, thickness");
                break;
            case In::circle:
                if (step == "x" || step == "y" || step == "radius" || step == "inner_radius") return leaf(true);
                refuse("no such field: a circle's numbers are x, y, radius, inner_radius");
                break;
            case In::coating:
                if (step == "thickness" || step == "over") return leaf(true);
                if (step == "er" || step == "tand") return leaf(false);
                refuse("no such field: the coating's numbers are thickness, over, er, tand");
                break;
        }
    }
    refuse("names no number but a part of the file that holds some");
    return {};  // not reached
}

}  // namespace

void BoardFile::set(std::string_view path, std::string_view text) {
    Document& d = *document_;
    const Field<Json> field = locate(d.root, path, d.source);
    const Decimal number = parseDecimal(text);
    Json value;
    if (field.length) {
        StructureInput scratch;  // the text alone; units are matched when the board is read
        try {
            readLength(scratch, std::string(path), text);
        } catch (const RunError& e) {
            throw RunError(d.source + ": " + e.what());
        }
        // A bare number in the file takes the file's unit, as the file's own do.
        if (number.length == text.size()) value = number.value;
        else value = std::string(text);
    } else {
        if (number.length == 0 || number.length != text.size() || !number.inRange)
            throw RunError(d.source + ": " + std::string(path) + " needs a decimal number, got \"" +
                           printableExcerpt(text) + "\"");
        value = number.value;
    }
    if (field.key.empty()) (*field.holder)[field.index] = std::move(value);
    else (*field.holder)[field.key] = std::move(value);
}

bool BoardFile::holdsLength(std::string_view path) const {
    return locate(document_->root, path, document_->source).length;
}

void BoardFile::set(std::string_view path, double value) {
    const bool length = locate(document_->root, path, document_->source).length;
    set(path, shortestText(value) + (length && document_->metres ? "m" : ""));
}

double BoardFile::get(std::string_view path) const {
    const Document& d = *document_;
    const Field<const Json> field = locate(d.root, path, d.source);
    const Json* v = field.key.empty() ? &(*field.holder)[field.index] : nullptr;
    if (!v && field.holder->contains(field.key)) v = &(*field.holder)[field.key];
    if (!v) {
        // The defaults the reader gives: a width on both faces, a coating as thick over the
        // conductors, 0 for the rest; a trace placed by on or under has no y of its own.
        const std::string key = field.key, shown(path);
        const std::string parent = shown.substr(0, shown.size() - key.size());
        if (key == "top_width" || key == "bottom_width") return get(parent + "width");
        if (key == "over") return get(parent + "thickness");
        if (key == "y") throw RunError(d.source + ": " + shown + ": the trace is placed by on or under, not by y");
        return 0.0;
    }
    if (!field.length) return v->get<double>();
    StructureInput scratch;
    const std::string unit = d.root.contains("unit") ? d.root["unit"].get<std::string>() : "";
    return readFileLength(scratch, *v, unit, std::string(path), d.source);
}

#else  // built without nlohmann-json

struct BoardFile::Document {
    std::string source;
    std::string displayUnit;
};

namespace {
[[noreturn]] void refuseWithoutReader() {
    throw RunError("reading a cross-section file needs nlohmann-json3-dev at build time");
}
}  // namespace

BoardFile BoardFile::parse(std::string_view, std::string) { refuseWithoutReader(); }

// Without a reader no BoardFile is made to call these on.
void BoardFile::set(std::string_view, std::string_view) { refuseWithoutReader(); }
void BoardFile::set(std::string_view, double) { refuseWithoutReader(); }
double BoardFile::get(std::string_view) const { refuseWithoutReader(); }
bool BoardFile::holdsLength(std::string_view) const { refuseWithoutReader(); }
Board BoardFile::board() const { refuseWithoutReader(); }

#endif

BoardFile::BoardFile(std::unique_ptr<Document> document) : document_(std::move(document)) {}
BoardFile::BoardFile(const BoardFile& other) : document_(std::make_unique<Document>(*other.document_)) {}
BoardFile& BoardFile::operator=(const BoardFile& other) {
    document_ = std::make_unique<Document>(*other.document_);
    return *this;
}
BoardFile::BoardFile(BoardFile&&) noexcept = default;
BoardFile& BoardFile::operator=(BoardFile&&) noexcept = default;
BoardFile::~BoardFile() = default;

const std::string& BoardFile::displayUnit() const { return document_->displayUnit; }

const std::string& BoardFile::source() const { return document_->source; }

}  // namespace plattor
