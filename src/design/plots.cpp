#include "design/plots.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "design/parallel.hpp"
#include "base/error.hpp"
#include "base/text.hpp"
#include "mesh/mesh.hpp"
#include "report/report.hpp"
#include "solver/ladder.hpp"
#include "solver/solve.hpp"

namespace plattor {

namespace {

// Numbers in the data files: enough digits for a picture.
std::string number(double x) { return formatted("%.*g", 7, x); }

// A string in a gnuplot script: in single quotes, which take nothing as an escape but ''.
std::string quoted(const std::string& text) {
    std::string q = "'";
    for (const char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

// The inside of a double-quoted gnuplot string: backslashes and quotes escaped.
std::string doubleQuoted(const std::string& text) {
    std::string q;
    for (const char c : text) {
        if (c == '\\' || c == '"') q += '\\';
        q += c;
    }
    return q;
}

std::string terminal(PictureFormat format, int width, int height) {
    const std::string size = " size " + std::to_string(width) + "," + std::to_string(height);
    if (format == PictureFormat::svg)
        return "set terminal svg" + size + " font 'sans,12' noenhanced background rgb 'white'\n";
    return "set terminal pngcairo" + size + " font 'sans,11' noenhanced\n";
}

std::string outputName(PictureFormat format) { return format == PictureFormat::svg ? "picture.svg" : "picture.png"; }

std::string unitLabel(const LengthScale& scale) { return scale.unit.empty() ? "length unit" : scale.unit; }

// A length of the structure in the user's unit, for titles: "0.2 mm".
std::string lengthText(double value, const LengthScale& scale) {
    return numberText(value / scale.metres) + (scale.unit.empty() ? "" : " " + scale.unit);
}

// The structure's options as a line of text: "w 0.2 mm, h 0.1 mm, er 4.3".
std::string optionsText(const Structure& s, const LengthScale& scale) {
    std::string text;
    for (const StructureOption& o : structureOptions()) {
        const double v = s.*o.field;
        if (std::isnan(v)) continue;
        if (!text.empty()) text += ", ";
        text += std::string(o.name) + " " + (o.length ? lengthText(v, scale) : numberText(v));
    }
    return text;
}

// --- the cross-section ---

// A straight piece of a face, arcs cut into chords: a picture needs no more.
struct Segment {
    Point a, b;
    double left, right;  // permittivities; 0 inside a conductor
    std::size_t conductor;
};

// What lies at a point: a conductor (its potential in the mode) or a dielectric.
struct Region {
    double permittivity;  // 0 in a conductor
    double potential;     // a conductor's, volts
};

constexpr std::size_t arcChords = 48;

std::vector<Segment> segmentsOf(const CrossSection& section) {
    std::vector<Segment> segments;
    for (const SectionFace& f : section.faces) {
        const std::size_t pieces = f.face.isArc() ? arcChords : 1;
        Point previous = f.face.start();
        for (std::size_t k = 1; k <= pieces; ++k) {
            // Evenly in angle: t through the cosine map, u = k/pieces.
            const double u = static_cast<double>(k) / static_cast<double>(pieces);
            const Point next = k == pieces ? f.face.end() : f.face.point(std::acos(1 - 2 * u));
            segments.push_back({previous, next, f.leftPermittivity, f.rightPermittivity, f.conductor});
            previous = next;
        }
    }
    return segments;
}

// The regions along a vertical line x: where the line crosses a face, from below, and what lies
// under each crossing; above the last, `top`.
class Column {
public:
    Column(const CrossSection& section, const std::vector<Segment>& segments, double x, bool odd, Region top)
        : plane_(section.groundPlane), top_(top) {
        for (const Segment& s : segments) {
            const double x0 = std::min(s.a.real(), s.b.real()), x1 = std::max(s.a.real(), s.b.real());
            if (!(x0 <= x && x <= x1) || x0 == x1) continue;  // vertical pieces are met at their ends
            const double y = s.a.imag() + (x - s.a.real()) * (s.b.imag() - s.a.imag()) / (s.b.real() - s.a.real());
            // Travelling towards +x the right side is below.
            const double below = s.b.real() > s.a.real() ? s.right : s.left;
            const double potential =
                below == 0 ? conductorPotential(section.conductors[s.conductor], odd) : 0.0;
            crossings_.push_back({y, {below, potential}});
        }
        std::sort(crossings_.begin(), crossings_.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
    }

    Region at(double y) const {
        if (plane_ && y < 0) return {0.0, 0.0};
        const auto above = std::upper_bound(crossings_.begin(), crossings_.end(), y,
                                            [](double v, const auto& c) { return v < c.first; });
        return above == crossings_.end() ? top_ : above->second;
    }

private:
    bool plane_;
    Region top_;
    std::vector<std::pair<double, Region>> crossings_;
};

struct Window {
    double x0, x1, y0, y1;
};

// A few times the arrangement around it: its finite faces (the cuts of the long layers aside)
// with room on either side for the fringing field, above it for the field that leaves the
// board; between two planes exactly their spacing.
Window pictureWindow(const CrossSection& section, const std::vector<Segment>& segments, bool strip, double b) {
    double xExtent = 0.0, yExtent = 0.0;
    for (const SectionFace& f : section.faces) {
        if (!f.openStart) xExtent = std::max(xExtent, std::fabs(f.face.start().real()));
        if (!f.openEnd) xExtent = std::max(xExtent, std::fabs(f.face.end().real()));
    }
    for (const Segment& s : segments) yExtent = std::max({yExtent, s.a.imag(), s.b.imag()});
    if (strip) {
        const double half = xExtent + 1.5 * b;
        return {-half, half, -0.06 * b, 1.06 * b};
    }
    double half = xExtent + 2.0 * yExtent;
    double height = std::max(2.5 * yExtent, 0.35 * half);
    // Tall and narrow arrangements (a narrow trace high over its plane) widened to a shape a
    // page shows.
    half = std::max(half, height / 1.5);
    height = std::max(height, 0.35 * half);
    return {-half, half, -0.05 * height, height};
}

// Clips the segment to the window (Liang–Barsky); false if nothing of it is inside.
bool clipped(Point& a, Point& b, const Window& w) {
    double t0 = 0.0, t1 = 1.0;
    const Point d = b - a;
    const double p[4] = {-d.real(), d.real(), -d.imag(), d.imag()};
    const double q[4] = {a.real() - w.x0, w.x1 - a.real(), a.imag() - w.y0, w.y1 - a.imag()};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        const double r = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, r);
        else t1 = std::min(t1, r);
    }
    if (t0 > t1) return false;
    const Point start = a + t0 * d, end = a + t1 * d;
    a = start;
    b = end;
    return true;
}

// The mesh with its panels in and near the window cut to at most `longest`: a mode's field from
// its nodes' charges is grainy within a node spacing of a face, and the picture's contours come
// closer to the faces than the solver's panels (long where the charge is smooth) would allow.
Mesh pictureMesh(const CrossSection& section, const Mesh& mesh, const Window& w, double longest) {
    Mesh fine;
    for (const Panel& p : mesh.panels) {
        const double cx = std::clamp(p.middle.real(), w.x0, w.x1), cy = std::clamp(p.middle.imag(), w.y0, w.y1);
        const bool near = std::abs(p.middle - Point(cx, cy)) <= p.radius + longest;
        const double chord = p.chord();
        const int pieces = near && chord > longest ? static_cast<int>(std::ceil(chord / longest)) : 1;
        const Face& face = section.faces[p.face].face;
        for (int k = 0; k < pieces; ++k) {
            const double t0 = p.t0 + (p.t1 - p.t0) * k / pieces;
            const double t1 = k + 1 == pieces ? p.t1 : p.t0 + (p.t1 - p.t0) * (k + 1) / pieces;
            const Anchored a = k == 0 ? p.a : face.anchored(t0), b = k + 1 == pieces ? p.b : face.anchored(t1);
            fine.panels.push_back({p.face, t0, t1, a, b, (a.z() + b.z()) / 2.0, std::abs(b - a) / 2, p.order, 0});
        }
    }
    std::size_t first = 0;
    for (Panel& panel : fine.panels) {
        panel.first = first;
        first += panel.order;
    }
    return fine;
}

struct Colour {
    unsigned char r, g, b;
    std::string text() const {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02x%02x%02x", r, g, b);
        return hex;
    }
};

constexpr Colour conductorColour{0xc8, 0x8a, 0x4e};
constexpr Colour vacuumColour{0xff, 0xff, 0xff};

// The dielectrics shaded from pale to deep by their rank in permittivity, so that any two of
// them differ however close their values.
std::map<double, Colour> dielectricColours(const std::vector<double>& permittivities) {
    const Colour pale{0xf3, 0xea, 0xc4}, deep{0x9f, 0xbf, 0x8e};
    std::map<double, Colour> colours;
    for (const double e : permittivities)
        if (e > 1) colours[e] = {};
    std::size_t k = 0;
    const std::size_t n = colours.size();
    for (auto& [e, colour] : colours) {
        const double f = n > 1 ? static_cast<double>(k++) / static_cast<double>(n - 1) : 0.5;
        const auto mix = [f](unsigned char p, unsigned char q) {
            return static_cast<unsigned char>(std::lround(p + f * (q - p)));
        };
        colour = {mix(pale.r, deep.r), mix(pale.g, deep.g), mix(pale.b, deep.b)};
    }
    return colours;
}

// Which option a permittivity comes from, for the key.
std::string permittivityName(const Structure& s, double e) {
    std::string names;
    for (const StructureOption& o : structureOptions())
        if (!o.length && s.*o.field == e) names += (names.empty() ? "" : ", ") + std::string(o.name);
    return names.empty() ? "" : " (" + names + ")";
}

// What every stage of a cross-section's picture draws from: the section, its faces cut into
// pieces, the window, and the conversion of the section's trace widths to the user's unit.
struct PictureFrame {
    CrossSection section;
    std::vector<Segment> segments;
    Window window;
    bool strip;      // between two planes
    double b;        // their spacing, in trace widths
    Region top;      // what lies above everything: vacuum, or a stripline's upper plane
    double toUnit;   // of a section length in the user's unit
    bool odd;
    double width() const { return window.x1 - window.x0; }
    double height() const { return window.y1 - window.y0; }
};

PictureFrame pictureFrame(const Structure& structure, const LengthScale& scale, bool odd) {
    PictureFrame f{structureSection(structure), {}, {}, structure.kind == StructureKind::stripline, 0, {}, 0, odd};
    f.b = f.strip ? structure.b / structure.w : 0.0;
    f.segments = segmentsOf(f.section);
    f.window = pictureWindow(f.section, f.segments, f.strip, f.b);
    f.top = f.strip ? Region{0.0, 0.0} : Region{1.0, 0.0};
    f.toUnit = structure.w / scale.metres;
    return f;
}

// The regions as a raster of colours, one column of crossings at a time, and the colour of
// each dielectric.
struct RegionRaster {
    int columns, rows;
    std::string image;  // RGB bytes, row by row from the bottom
    bool vacuum;        // whether any vacuum shows
    std::map<double, Colour> colours;
};

RegionRaster regionRaster(const PictureFrame& f) {
    constexpr int rasterLong = 900;
    const double width = f.width(), height = f.height();
    RegionRaster r;
    r.columns = width >= height ? rasterLong : std::max(40, static_cast<int>(rasterLong * width / height));
    r.rows = width >= height ? std::max(40, static_cast<int>(rasterLong * height / width)) : rasterLong;
    std::vector<Region> raster(static_cast<std::size_t>(r.columns) * r.rows);
    for (int i = 0; i < r.columns; ++i) {
        const Column column(f.section, f.segments, f.window.x0 + width * (i + 0.5) / r.columns, f.odd, f.top);
        for (int j = 0; j < r.rows; ++j)
            raster[static_cast<std::size_t>(j) * r.columns + i] = column.at(f.window.y0 + height * (j + 0.5) / r.rows);
    }
    std::vector<double> permittivities;
    for (const Region& region : raster)
        if (region.permittivity > 1 &&
            std::find(permittivities.begin(), permittivities.end(), region.permittivity) == permittivities.end())
            permittivities.push_back(region.permittivity);
    r.colours = dielectricColours(permittivities);
    r.vacuum = std::any_of(raster.begin(), raster.end(), [](const Region& region) { return region.permittivity == 1; });
    r.image.reserve(raster.size() * 3);
    for (const Region& region : raster) {
        const Colour c = region.permittivity == 0   ? conductorColour
                         : region.permittivity == 1 ? vacuumColour
                                                    : r.colours.at(region.permittivity);
        r.image += static_cast<char>(c.r);
        r.image += static_cast<char>(c.g);
        r.image += static_cast<char>(c.b);
    }
    return r;
}

// The potential on a grid of square cells, the conductors at their own, as gnuplot's data
// rows; the grid's rows shared among the cores (each point sums over every charge).
std::string potentialGrid(const PictureFrame& f, const ModeField& field, int gridLong) {
    const double width = f.width(), height = f.height();
    const int gx = width >= height ? gridLong : std::max(30, static_cast<int>(gridLong * width / height));
    const int gy = width >= height ? std::max(30, static_cast<int>(gridLong * height / width)) : gridLong;
    // The grid starts half a cell above the plane (and ends as far below a stripline's upper
    // one): on them the potential is 0 along the whole row, which the contour of 0 V would trace.
    const double gy0 = 0.5 * height / gy, gy1 = f.strip ? f.b - gy0 : f.window.y1, gridHeight = gy1 - gy0;
    std::vector<double> potential(static_cast<std::size_t>(gx) * gy);
    std::vector<Column> columns;
    for (int i = 0; i < gx; ++i) columns.emplace_back(f.section, f.segments, f.window.x0 + width * i / (gx - 1), f.odd, f.top);
    runInOrder(
        static_cast<std::size_t>(gy), defaultThreads(),
        [&](std::size_t j) {
            const double y = gy0 + gridHeight * static_cast<double>(j) / (gy - 1);
            for (int i = 0; i < gx; ++i) {
                const Region r = columns[i].at(y);
                const double x = f.window.x0 + width * i / (gx - 1);
                potential[j * gx + i] = r.permittivity == 0 ? r.potential : field.potential(Point(x, y));
            }
        },
        [](std::size_t) {});
    std::string grid;
    for (int j = 0; j < gy; ++j) {
        const double y = gy0 + gridHeight * j / (gy - 1);
        for (int i = 0; i < gx; ++i)
            grid += number((f.window.x0 + width * i / (gx - 1)) * f.toUnit) + " " + number(y * f.toUnit) + " " +
                    number(potential[static_cast<std::size_t>(j) * gx + i]) + "\n";
        grid += "\n";
    }
    return grid;
}

// Arrows of the field on a coarser lattice, in the dielectrics: their direction, their length
// growing with |E| up to the lattice's cell (the field at an edge is singular, and arrows to
// scale would show only there).
std::string fieldArrows(const PictureFrame& f, const ModeField& field) {
    const double cell = std::max(f.width(), f.height()) / 30;
    struct Arrow {
        Point z, e;
    };
    std::vector<Arrow> arrows;
    for (double x = f.window.x0 + cell / 2; x < f.window.x1; x += cell) {
        const Column column(f.section, f.segments, x, f.odd, f.top);
        for (double y = f.window.y0 + cell / 2; y < f.window.y1; y += cell)
            if (column.at(y).permittivity != 0) arrows.push_back({Point(x, y), field.field(Point(x, y))});
    }
    std::vector<double> strengths;
    for (const Arrow& a : arrows) strengths.push_back(std::abs(a.e));
    std::sort(strengths.begin(), strengths.end());
    const double reference = strengths.empty() ? 1.0 : strengths[strengths.size() * 3 / 4];
    std::string data;
    for (const Arrow& a : arrows) {
        const double strength = std::abs(a.e);
        if (!(strength > 0) || !std::isfinite(strength)) continue;
        const double length = 0.8 * cell * std::sqrt(std::min(1.0, strength / reference));
        const Point d = a.e / strength * length;
        const Point from = a.z - d / 2.0;
        data += number(from.real() * f.toUnit) + " " + number(from.imag() * f.toUnit) + " " + number(d.real() * f.toUnit) +
                " " + number(d.imag() * f.toUnit) + "\n";
    }
    return data;
}

// The faces in the window as gnuplot's line data: conductors' outlines, zero-thickness
// conductors (and the plane), interfaces.
struct FaceLines {
    std::string outlines, thin, interfaces;
};

FaceLines faceLines(const PictureFrame& f) {
    FaceLines lines;
    for (const Segment& s : f.segments) {
        Point a = s.a, c = s.b;
        if (!clipped(a, c, f.window)) continue;
        const std::string piece = number(a.real() * f.toUnit) + " " + number(a.imag() * f.toUnit) + "\n" +
                                  number(c.real() * f.toUnit) + " " + number(c.imag() * f.toUnit) + "\n\n";
        if (s.conductor == noConductor) lines.interfaces += piece;
        else if (s.left != 0 && s.right != 0) lines.thin += piece;
        else lines.outlines += piece;
    }
    if (f.section.groundPlane)
        lines.thin += number(f.window.x0 * f.toUnit) + " 0\n" + number(f.window.x1 * f.toUnit) + " 0\n\n";
    return lines;
}

}  // namespace

PictureFormat pictureFormat(const std::string& fileName, const char* option) {
    const auto endsWith = [&](const char* ending) {
        const std::string e = ending;
        return fileName.size() > e.size() && fileName.compare(fileName.size() - e.size(), e.size(), e) == 0;
    };
    if (endsWith(".png")) return PictureFormat::png;
    if (endsWith(".svg")) return PictureFormat::svg;
    throw RunError(std::string(option) + " needs a file name ending in .png or .svg, got \"" +
                   printableExcerpt(fileName) + "\"");
}

GnuplotJob sweepPlot(const Structure& structure, const StructureOption& option, const LengthScale& scale,
                     const std::vector<double>& values, const std::vector<StructureSolution>& solutions,
                     bool geometric, PictureFormat format) {
    using Q = Quantity;
    const std::vector<Quantity> shown = structure.isPair()
        ? std::vector<Quantity>{Q::differentialImpedance, Q::evenModeImpedance, Q::oddModeImpedance, Q::commonModeImpedance}
        : std::vector<Quantity>{Q::impedance};
    const double xScale = option.length ? 1.0 / scale.metres : 1.0;
    // Appended: GCC 12 warns falsely on a literal + a temporary string.
    std::string data = "# ";
    data += option.name;
    for (const Quantity q : shown) data += std::string(" ") + quantityInfo(q).key + " error";
    data += "\n";
    std::size_t points = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (!solutions[k].error.empty()) continue;
        data += number(values[k] * xScale);
        for (const Quantity q : shown) {
            data += ' ';
            data += number(solutions[k].quantities.value[q]);
            data += ' ';
            data += number(solutions[k].quantities.error[q]);
        }
        data += "\n";
        ++points;
    }
    if (points == 0) throw RunError("--plot: no point of the sweep has a solution to draw");

    // The largest bar of each curve, in its key: drawn to scale, bars are below a line's width.
    std::vector<double> largestBar(shown.size(), 0.0);
    for (std::size_t k = 0; k < values.size(); ++k)
        if (solutions[k].error.empty())
            for (std::size_t q = 0; q < shown.size(); ++q)
                largestBar[q] = std::max(largestBar[q], solutions[k].quantities.error[shown[q]]);

    const std::string xLabel = option.length ? std::string(option.name) + " (" + unitLabel(scale) + ")" : option.name;
    Structure fixed = structure;
    fixed.*option.field = absent;
    std::string script = terminal(format, 1000, 700);
    script += "set output " + quoted(outputName(format)) + "\n";
    script += "set title \"" + doubleQuoted(std::string(structureName(structure.kind)) +
                                           (structure.isPair() ? " pair" : "") + ": impedance against " + option.name) +
              "\\n" + doubleQuoted(optionsText(fixed, scale)) + "\"\n";
    script += "set xlabel " + quoted(xLabel) + "\nset ylabel 'impedance (ohm)'\n";
    script += "set grid\nset key outside below center horizontal maxrows 2\nset bars small\n";
    // The swept range with a margin of 2 % (of its decades where geometric).
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (solutions[k].error.empty()) low = std::min(low, values[k] * xScale), high = std::max(high, values[k] * xScale);
    if (geometric) {
        const double pad = std::pow(high / low, 0.02) * (high == low ? 1.05 : 1.0);
        low /= pad, high *= pad;
        script += "set logscale x\n";
        // Labels at 1, 2 and 5 of each decade (only 1 over many decades): gnuplot labels decades
        // alone, none at all within one.
        std::string tics;
        const bool many = high / low > 1e3;
        for (int decade = static_cast<int>(std::floor(std::log10(low))); decade <= std::ceil(std::log10(high)); ++decade)
            for (const double m : {1.0, 2.0, 5.0}) {
                const double v = m * std::pow(10.0, decade);
                if ((m == 1.0 || !many) && v >= low && v <= high) tics += (tics.empty() ? "" : ", ") + number(v);
            }
        if (!tics.empty()) script += "set xtics (" + tics + ")\n";
    } else {
        const double pad = high > low ? 0.02 * (high - low) : std::max(0.05 * std::fabs(low), 1e-300);
        low -= pad, high += pad;
    }
    script += "set xrange [" + number(low) + ":" + number(high) + "]\n";
    script += "set offsets 0, 0, graph 0.05, graph 0.05\n";
    script += "set style line 1 lw 2 pt 7 ps 0.8 lc rgb '#1f3fbf'\nset style line 2 lw 2 pt 5 ps 0.8 lc rgb '#c81e1e'\n"
              "set style line 3 lw 2 pt 9 ps 0.8 lc rgb '#1b7a2a'\nset style line 4 lw 2 pt 11 ps 0.8 lc rgb '#7a4ab8'\n";
    script += "plot ";
    for (std::size_t k = 0; k < shown.size(); ++k) {
        if (k > 0) script += ", \\\n     ";
        const std::string bar = formatted("%.*g", 2, largestBar[k]);
        script += "'sweep.dat' using 1:" + std::to_string(2 + 2 * k) + ":" + std::to_string(3 + 2 * k) +
                  " with yerrorlines ls " + std::to_string(k + 1) + " title " +
                  quoted(std::string(quantityInfo(shown[k]).name) + " ± bar (bars up to " + bar + " ohm)");
    }
    script += "\nunset output\n";
    return {script, {{"sweep.dat", data}}, outputName(format)};
}

GnuplotJob crossSectionPicture(const Structure& structure, const LengthScale& scale, bool odd, PictureFormat format) {
    // 1. The section and its window; the mode's field from the charges of the ladder's third
    //    rung (far finer than a picture shows), its panels in the window no longer than the
    //    potential's grid cells times the order.
    const PictureFrame f = pictureFrame(structure, scale, odd);
    const int gridLong = 220;
    const MeshLevel level = ladderLevels()[2];
    const Mesh mesh = meshCrossSection(f.section, level);
    const double gridCell = std::max(f.width(), f.height()) / gridLong;
    const ModeField field(f.section, pictureMesh(f.section, mesh, f.window, gridCell * static_cast<double>(level.order)),
                          odd);

    // 2. The regions, the potential, the field's arrows and the faces, as gnuplot's data.
    const RegionRaster raster = regionRaster(f);
    const std::string grid = potentialGrid(f, field, gridLong);
    const std::string arrowData = fieldArrows(f, field);
    const FaceLines lines = faceLines(f);

    // 3. The script: contours into a table, then the layers under the lines, arrows and key.
    const Window& w = f.window;
    const double width = f.width(), height = f.height(), toUnit = f.toUnit;
    const double aspect = height / width;
    int plotWidth = 1000, plotHeight = static_cast<int>(plotWidth * aspect);
    if (plotHeight > 900) {
        plotHeight = 900;
        plotWidth = static_cast<int>(plotHeight / aspect);
    }
    const int canvasWidth = std::max(760, plotWidth + 200), canvasHeight = std::max(420, plotHeight + 230);
    std::string levels;
    for (int k = odd ? -9 : 1; k <= 9; ++k) levels += (levels.empty() ? "" : ",") + number(k / 10.0);
    std::string script = terminal(format, canvasWidth, canvasHeight);
    script += "set output " + quoted(outputName(format)) + "\n";
    script += "set view map\nunset surface\nset contour base\nset cntrparam linear\n";
    script += "set cntrparam levels discrete " + levels + "\n";
    script += "set table $CONTOURS\nsplot 'potential.dat' using 1:2:3 with lines notitle\nunset table\n";
    script += "unset contour\nset surface\n";
    script += "set size ratio -1\n";
    script += "set xrange [" + number(w.x0 * toUnit) + ":" + number(w.x1 * toUnit) + "]\n";
    script += "set yrange [" + number(w.y0 * toUnit) + ":" + number(w.y1 * toUnit) + "]\n";
    script += "set xlabel " + quoted("x (" + unitLabel(scale) + ")") + "\n";
    script += "set ylabel " + quoted("y (" + unitLabel(scale) + ")") + "\n";
    std::string mode;
    if (structure.isPair())
        mode = odd ? "odd mode: left trace at -1 V, right trace at +1 V" : "even mode: both traces at +1 V";
    else
        mode = "the trace at 1 V";
    // Two lines: a double-quoted string, where \n breaks the line.
    script += "set title \"" + doubleQuoted(std::string(structureName(structure.kind)) +
                                           (structure.isPair() ? " pair, " : ", ") + mode) +
              "\\n" + doubleQuoted(optionsText(structure, scale)) + "\"\n";
    script += "set key outside below center horizontal maxrows 3 width 1\n";
    script += "set palette defined (-1 '#1f3fbf', 0 '#7a7a7a', 1 '#c81e1e')\n";
    script += odd ? "set cbrange [-1:1]\n" : "set palette defined (0 '#7a7a7a', 1 '#c81e1e')\nset cbrange [0:1]\n";
    script += "set cblabel 'potential (V)'\n";
    script += "set style arrow 1 head filled size screen 0.006,22 lw 1.1 lc rgb '#1b7a2a'\n";
    const double dx = width * toUnit / raster.columns, dy = height * toUnit / raster.rows;
    script += "plot 'regions.rgb' binary array=(" + std::to_string(raster.columns) + "," + std::to_string(raster.rows) +
              ") dx=" + number(dx) +
              " dy=" + number(dy) + " origin=(" + number(w.x0 * toUnit + dx / 2) + "," + number(w.y0 * toUnit + dy / 2) +
              ") format='%uchar%uchar%uchar' with rgbimage notitle";
    script += ", \\\n  keyentry with boxes fill solid border lc rgb '#7a4a1f' fc rgb '" + conductorColour.text() +
              "' title 'conductor'";
    if (raster.vacuum)
        script += ", \\\n  keyentry with boxes fill solid border lc rgb '#999999' fc rgb '#ffffff' title 'vacuum'";
    for (const auto& [e, colour] : raster.colours)
        script += ", \\\n  keyentry with boxes fill solid border lc rgb '#999999' fc rgb '" + colour.text() +
                  "' title " + quoted("εr " + numberText(e) + permittivityName(structure, e));
    if (!lines.interfaces.empty()) script += ", \\\n  'interfaces.dat' with lines lw 1 lc rgb '#6b6b6b' notitle";
    if (!lines.outlines.empty()) script += ", \\\n  'outlines.dat' with lines lw 1.5 lc rgb '#7a4a1f' notitle";
    if (!lines.thin.empty()) script += ", \\\n  'thin.dat' with lines lw 4 lc rgb '" + conductorColour.text() + "' notitle";
    script += ", \\\n  $CONTOURS using 1:2:3 with lines lw 1.4 lc palette title 'equipotentials, 0.1 V apart'";
    if (!arrowData.empty())
        script += ", \\\n  'arrows.dat' using 1:2:3:4 with vectors arrowstyle 1 title 'electric field (direction; length grows with |E|)'";
    script += "\nunset output\n";

    GnuplotJob job{script, {}, outputName(format)};
    job.files = {{"regions.rgb", raster.image}, {"potential.dat", grid}, {"arrows.dat", arrowData}};
    if (!lines.interfaces.empty()) job.files.push_back({"interfaces.dat", lines.interfaces});
    if (!lines.outlines.empty()) job.files.push_back({"outlines.dat", lines.outlines});
    if (!lines.thin.empty()) job.files.push_back({"thin.dat", lines.thin});
    return job;
}

}  // namespace plattor
