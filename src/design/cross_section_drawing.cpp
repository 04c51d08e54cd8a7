#include "design/cross_section_drawing.hpp"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "base/text.hpp"
#include "design/parallel.hpp"
#include "mesh/mesh.hpp"
#include "section/board_section.hpp"
#include "solver/ladder.hpp"
#include "solver/solve.hpp"

namespace plattor {

namespace {

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
    Column(const CrossSection& section, const std::vector<Segment>& segments, double x,
           const std::vector<double>& potentials, Region top)
        : plane_(section.groundPlane), top_(top) {
        for (const Segment& s : segments) {
            const double x0 = std::min(s.a.real(), s.b.real()), x1 = std::max(s.a.real(), s.b.real());
            if (!(x0 <= x && x <= x1) || x0 == x1) continue;  // vertical pieces are met at their ends
            const double y = s.a.imag() + (x - s.a.real()) * (s.b.imag() - s.a.imag()) / (s.b.real() - s.a.real());
            // Travelling towards +x the right side is below.
            const double below = s.b.real() > s.a.real() ? s.right : s.left;
            const double potential = below == 0 ? potentials[s.conductor] : 0.0;
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
    if (!section.groundPlane) {
        // In the open: around everything finite, a margin of half its size on every side.
        double low = HUGE_VAL, high = -HUGE_VAL;
        for (const Segment& s : segments)
            if (std::fabs(s.a.real()) <= xExtent && std::fabs(s.b.real()) <= xExtent)
                low = std::min({low, s.a.imag(), s.b.imag()}), high = std::max({high, s.a.imag(), s.b.imag()});
        const double size = std::max(2 * xExtent, high - low), half = xExtent + 0.5 * size;
        return {-half, half, low - 0.5 * size, high + 0.5 * size};
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
        if (!o.length && !o.lossTangent && s.*o.field == e) names += (names.empty() ? "" : ", ") + std::string(o.name);
    return names.empty() ? "" : " (" + names + ")";
}

// Which layers (or the coating) a permittivity belongs to, for the key.
std::string permittivityName(const Board& b, double e) {
    std::string names;
    for (std::size_t k = 0; k < b.layers.size(); ++k)
        if (b.layers[k].er == e) names += (names.empty() ? "" : ", ") + (b.layers[k].name.empty() ? "layer " + std::to_string(k) : b.layers[k].name);
    for (const BoardCoating& c : b.coating)
        if (c.er == e) names += (names.empty() ? "" : ", ") + std::string("coating");
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
    std::vector<double> potentials;  // of every conductor of the section
    double width() const { return window.x1 - window.x0; }
    double height() const { return window.y1 - window.y0; }
};

// The frame of a section between two planes b apart (b 0: not), its conductors at `potentials`,
// one section length `toUnit` of the user's unit.
PictureFrame pictureFrame(CrossSection section, double b, double toUnit, std::vector<double> potentials) {
    PictureFrame f{std::move(section), {}, {}, b > 0, b, {}, toUnit, std::move(potentials)};
    f.segments = segmentsOf(f.section);
    f.window = pictureWindow(f.section, f.segments, f.strip, f.b);
    f.top = f.strip ? Region{0.0, 0.0} : Region{1.0, 0.0};
    return f;
}

PictureFrame pictureFrame(const Structure& structure, const LengthScale& scale, bool odd) {
    CrossSection section = structureSection(structure);
    std::vector<double> potentials;
    for (const ConductorRole role : section.conductors) potentials.push_back(conductorPotential(role, odd));
    const double b = structure.kind == StructureKind::stripline ? structure.b / structure.w : 0.0;
    return pictureFrame(std::move(section), b, structure.w / scale.metres, std::move(potentials));
}

// The regions as a raster of colours, one column of crossings at a time, and the key of the
// colours: the conductors, the vacuum where it shows, each dielectric.
template <class Description>
void regionRaster(const PictureFrame& f, const Description& description, CrossSectionDrawing& d) {
    constexpr int rasterLong = 900;
    const double width = f.width(), height = f.height();
    d.columns = width >= height ? rasterLong : std::max(40, static_cast<int>(rasterLong * width / height));
    d.rows = width >= height ? std::max(40, static_cast<int>(rasterLong * height / width)) : rasterLong;
    std::vector<Region> raster(static_cast<std::size_t>(d.columns) * d.rows);
    for (int i = 0; i < d.columns; ++i) {
        const Column column(f.section, f.segments, f.window.x0 + width * (i + 0.5) / d.columns, f.potentials, f.top);
        for (int j = 0; j < d.rows; ++j)
            raster[static_cast<std::size_t>(j) * d.columns + i] = column.at(f.window.y0 + height * (j + 0.5) / d.rows);
    }
    std::vector<double> permittivities;
    for (const Region& region : raster)
        if (region.permittivity > 1 &&
            std::find(permittivities.begin(), permittivities.end(), region.permittivity) == permittivities.end())
            permittivities.push_back(region.permittivity);
    const std::map<double, Colour> colours = dielectricColours(permittivities);
    d.image.reserve(raster.size() * 3);
    for (const Region& region : raster) {
        const Colour c = region.permittivity == 0   ? conductorColour
                         : region.permittivity == 1 ? vacuumColour
                                                    : colours.at(region.permittivity);
        d.image += static_cast<char>(c.r);
        d.image += static_cast<char>(c.g);
        d.image += static_cast<char>(c.b);
    }
    d.key.push_back({conductorColour.text(), "#7a4a1f", "conductor"});
    if (std::any_of(raster.begin(), raster.end(), [](const Region& region) { return region.permittivity == 1; }))
        d.key.push_back({vacuumColour.text(), "#999999", "vacuum"});
    for (const auto& [e, colour] : colours)
        d.key.push_back({colour.text(), "#999999", "εr " + numberText(e) + permittivityName(description, e)});
}

// The potential on a grid of square cells, the conductors at their own; the grid's rows shared
// among the cores (each point sums over every charge).
void potentialGrid(const PictureFrame& f, const ModeField& field, int gridLong, CrossSectionDrawing& d) {
    const double width = f.width(), height = f.height();
    const int gx = width >= height ? gridLong : std::max(30, static_cast<int>(gridLong * width / height));
    const int gy = width >= height ? std::max(30, static_cast<int>(gridLong * height / width)) : gridLong;
    // The grid starts half a cell above the plane (and ends as far below a stripline's upper
    // one): on them the potential is 0 along the whole row, which the contour of 0 V would trace.
    const double gy0 = f.section.groundPlane ? 0.5 * height / gy : f.window.y0;
    const double gy1 = f.strip ? f.b - 0.5 * height / gy : f.window.y1, gridHeight = gy1 - gy0;
    d.potential.assign(static_cast<std::size_t>(gx) * gy, 0.0);
    std::vector<Column> columns;
    for (int i = 0; i < gx; ++i)
        columns.emplace_back(f.section, f.segments, f.window.x0 + width * i / (gx - 1), f.potentials, f.top);
    runInOrder(
        static_cast<std::size_t>(gy), defaultThreads(),
        [&](std::size_t j) {
            const double y = gy0 + gridHeight * static_cast<double>(j) / (gy - 1);
            for (int i = 0; i < gx; ++i) {
                const Region r = columns[i].at(y);
                const double x = f.window.x0 + width * i / (gx - 1);
                d.potential[j * gx + i] = r.permittivity == 0 ? r.potential : field.potential(Point(x, y));
            }
        },
        [](std::size_t) {});
    for (int i = 0; i < gx; ++i) d.xs.push_back((f.window.x0 + width * i / (gx - 1)) * f.toUnit);
    for (int j = 0; j < gy; ++j) d.ys.push_back((gy0 + gridHeight * j / (gy - 1)) * f.toUnit);
}

// Arrows of the field on a coarser lattice, in the dielectrics: their direction, their length
// growing with |E| up to the lattice's cell (the field at an edge is singular, and arrows to
// scale would show only there).
void fieldArrows(const PictureFrame& f, const ModeField& field, CrossSectionDrawing& d) {
    const double cell = std::max(f.width(), f.height()) / 30;
    struct Arrow {
        Point z, e;
    };
    std::vector<Arrow> arrows;
    for (double x = f.window.x0 + cell / 2; x < f.window.x1; x += cell) {
        const Column column(f.section, f.segments, x, f.potentials, f.top);
        for (double y = f.window.y0 + cell / 2; y < f.window.y1; y += cell)
            if (column.at(y).permittivity != 0) arrows.push_back({Point(x, y), field.field(Point(x, y))});
    }
    std::vector<double> strengths;
    for (const Arrow& a : arrows) strengths.push_back(std::abs(a.e));
    std::sort(strengths.begin(), strengths.end());
    const double reference = strengths.empty() ? 1.0 : strengths[strengths.size() * 3 / 4];
    for (const Arrow& a : arrows) {
        const double strength = std::abs(a.e);
        // No arrow where the field is nothing against the strongest (inside a shield).
        if (!(strength > 1e-6 * strengths.back()) || !std::isfinite(strength)) continue;
        const double length = 0.8 * cell * std::sqrt(std::min(1.0, strength / reference));
        const Point step = a.e / strength * length;
        const Point from = a.z - step / 2.0;
        d.arrows.push_back({from.real() * f.toUnit, from.imag() * f.toUnit, step.real() * f.toUnit, step.imag() * f.toUnit});
    }
}

// The faces in the window: conductors' outlines, zero-thickness conductors (and the plane),
// interfaces.
void faceLines(const PictureFrame& f, CrossSectionDrawing& d) {
    for (const Segment& s : f.segments) {
        Point a = s.a, c = s.b;
        if (!clipped(a, c, f.window)) continue;
        const DrawnSegment piece{a.real() * f.toUnit, a.imag() * f.toUnit, c.real() * f.toUnit, c.imag() * f.toUnit};
        if (s.conductor == noConductor) d.interfaces.push_back(piece);
        else if (s.left != 0 && s.right != 0) d.thin.push_back(piece);
        else d.outlines.push_back(piece);
    }
    if (f.section.groundPlane) d.thin.push_back({f.window.x0 * f.toUnit, 0.0, f.window.x1 * f.toUnit, 0.0});
}

}  // namespace

std::string lengthText(double value, const LengthScale& scale) {
    return numberText(value / scale.metres) + (scale.unit.empty() ? "" : " " + scale.unit);
}

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

namespace {

// The drawing of a frame: the regions (their key named by `description`), the potential on
// `gridLong` points along the window's longer side from the charges of the ladder's third rung
// (far finer than a picture shows), its panels in the window no longer than the grid's cells
// times the order; the field's arrows, the faces, the equipotentials 0.1 V apart.
template <class Description>
CrossSectionDrawing drawingOf(const PictureFrame& f, const Description& description, int gridLong) {
    const MeshLevel level = ladderLevels()[2];
    const Mesh mesh = meshCrossSection(f.section, level);
    const double gridCell = std::max(f.width(), f.height()) / gridLong;
    const ModeField field(f.section, pictureMesh(f.section, mesh, f.window, gridCell * static_cast<double>(level.order)),
                          f.potentials);
    CrossSectionDrawing d{};
    d.x0 = f.window.x0 * f.toUnit;
    d.x1 = f.window.x1 * f.toUnit;
    d.y0 = f.window.y0 * f.toUnit;
    d.y1 = f.window.y1 * f.toUnit;
    regionRaster(f, description, d);
    potentialGrid(f, field, gridLong, d);
    fieldArrows(f, field, d);
    faceLines(f, d);
    // Between the lowest and the highest potential, 0 among them where both signs are.
    const double lo = std::min(0.0, *std::min_element(f.potentials.begin(), f.potentials.end()));
    const double hi = std::max(0.0, *std::max_element(f.potentials.begin(), f.potentials.end()));
    for (int k = -9; k <= 9; ++k)
        if (k / 10.0 > lo && k / 10.0 < hi && (k != 0 || lo < 0)) d.levels.push_back(k / 10.0);
    return d;
}

}  // namespace

CrossSectionDrawing crossSectionDrawing(const Structure& structure, const LengthScale& scale, bool odd, int gridLong) {
    CrossSectionDrawing d = drawingOf(pictureFrame(structure, scale, odd), structure, gridLong);
    std::string mode;
    if (structure.isPair())
        mode = odd ? "odd mode: left trace at -1 V, right trace at +1 V" : "even mode: both traces at +1 V";
    else
        mode = "the trace at 1 V";
    d.title = std::string(structureName(structure.kind)) + (structure.isPair() ? " pair, " : ", ") + mode;
    d.options = optionsText(structure, scale);
    return d;
}

CrossSectionDrawing boardDrawing(const Board& board, const std::vector<double>& potentials, const LengthScale& scale,
                                 int gridLong) {
    CrossSection section = boardSection(board);
    // The board's conductors come first among the section's, in their order; planes after them.
    std::vector<double> all(section.conductors.size(), 0.0);
    std::string excited;
    for (std::size_t i = 0; i < potentials.size(); ++i) {
        all[i] = potentials[i];
        if (potentials[i] != 0)
            excited += (excited.empty() ? "" : ", ") + board.conductors[i].name + " at " + (potentials[i] > 0 ? "+" : "") + numberText(potentials[i]) + " V";
    }
    const double unit = boardUnit(board);
    const double b = board.bottomPlane && board.topPlane ? board.layerBottom(board.layers.size()) / unit : 0.0;
    CrossSectionDrawing d = drawingOf(pictureFrame(std::move(section), b, unit / scale.metres, std::move(all)), board, gridLong);
    d.title = "cross-section, " + excited + ", every other conductor at 0 V";
    std::string layers;
    for (const BoardLayer& l : board.layers)
        layers += (layers.empty() ? "" : ", ") + (l.name.empty() ? std::string("layer") : l.name) + " " +
                  lengthText(l.thickness, scale) + " εr " + numberText(l.er);
    d.options = layers;
    return d;
}

}  // namespace plattor
