// The cross-section file: every refusal a user can meet, with its message naming the file and the
// member; good files into the boards they describe; a board written and read back to the same
// doubles; one number changed by its path, as sweeps and solve-for do.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "section/board_checks.hpp"
#include "section/board_file.hpp"
#include "section/board_section.hpp"

namespace plattor {
namespace {

// A file with one layer 0.7 thick of εr 4.1 and a bottom plane (unless `top` says otherwise),
// the conductors given.
std::string file(const std::string& conductors, const std::string& top = "",
                 const std::string& layers = R"({"name": "core", "thickness": 0.7, "er": 4.1})") {
    return "{" + top + R"("layers": [)" + layers + R"(], "conductors": [)" + conductors + "]}";
}
const std::string trace = R"({"trace": {"on": 0, "width": 0.3}})";

// n items, item(k) for k = 0 … n − 1, as a list's members.
std::string times(int n, const std::function<std::string(int)>& item) {
    std::string list;
    for (int k = 0; k < n; ++k) list += (k ? ", " : "") + item(k);
    return list;
}

std::string refusal(const std::string& text) {
    try {
        BoardFile::parse(text, "f.json");
    } catch (const RunError& e) {
        return e.what();
    }
    return "(accepted)";
}

struct Bad {
    const char* name;
    std::string text;
    std::string message;  // the start of the refusal after "f.json"
};

void PrintTo(const Bad& b, std::ostream* os) { *os << b.name; }

class BadFile : public ::testing::TestWithParam<Bad> {};

TEST_P(BadFile, IsRefusedInOneLineNamingTheMember) {
    const std::string got = refusal(GetParam().text);
    EXPECT_EQ(got.rfind("f.json" + GetParam().message, 0), 0u) << got;
    EXPECT_EQ(got.find('\n'), std::string::npos) << got;
}

const std::string slanted = R"({"trace": {"on": 0, "width": 2, "top_width": 1, "thickness": 1}})";
const std::string ground = R"({"name": "g", "role": "ground", "circle": {"y": 3, "radius": 0.2}})";
const std::string cutLayer =
    R"({"thickness": 0.7, "er": 4.1}, )"
    R"({"thickness": 1, "er": 3, "plane": {"height": 0.2, "thickness": 0.1, "cutouts": [[-1, 1]]}})";

// A coaxial line in free space: a wire in a tube's hollow, off its axis.
const std::string coax = R"({"planes": [], "conductors": [{"name": "shield", "role": "ground",
    "circle": {"y": 0.2, "radius": 1.1, "inner_radius": 0.9}}, {"circle": {"x": 0.1, "y": 0.2, "radius": 0.3}}]})";

const std::vector<Bad> badFiles = {
    // The text.
    Bad{"Malformed", "{\n  \"layers\": [\n    {\"thickness\": 1,, }\n",
        ":3:21: malformed JSON: syntax error while parsing object key - unexpected ','"},
    Bad{"LineBreakInString", "{\"a\": \"x\ny\"}", ":1:9: malformed JSON: syntax error"},
    Bad{"Overflow", "[{\"a\": 1e400}]", ":1:12: malformed JSON: number overflow parsing '1e400'"},
    Bad{"Empty", "", ":1:1: malformed JSON: syntax error while parsing value - unexpected end of input"},
    Bad{"GivenTwice", R"({"layers": [{"thickness": 1, "er": 4, "er": 5}]})", ": layers[0].er: given twice"},
    Bad{"UnknownKey", R"({"layers": [{"thikness": 1, "er": 4}]})", ": layers[0].thikness: unknown key"},
    Bad{"NotAnObject", "[1]", ": must be an object {…}, got a list"},
    Bad{"MissingMember", file(trace, "", R"({"thickness": 0.7})"), ": layers[0]: needs er"},
    Bad{"TextForNumber", file(trace, "", R"({"thickness": 0.7, "er": "4"})"), ": layers[0].er: must be a number"},
    // Lengths, as the options take them.
    Bad{"BadUnit", file(trace, R"("unit": "cm", )"), ": unit: must be one of m, mm, um, mil, got \"cm\""},
    Bad{"MixedUnits", file(R"({"trace": {"on": 0, "width": "0.3mm"}})"),
        ": lengths with and without a unit are mixed (conductors[0].trace.width 0.3mm)"},
    Bad{"BadLength", file(R"({"trace": {"on": 0, "width": "0.3 mm"}})"), ": conductors[0].trace.width needs a length"},
    Bad{"ZeroWidth", file(R"({"trace": {"on": 0, "width": 0}})"),
        ": conductors[0].trace.width: must be positive, got 0"},
    // The members' values.
    Bad{"Permittivity",
        file(trace, "", R"({"thickness": 1, "er": 4}, {"thickness": 1, "er": 4}, {"thickness": 1, "er": 0.5})"),
        ": layers[2].er: must be a relative permittivity from 1 to 10000, got 0.5"},
    Bad{"Thickness", file(trace, "", R"({"thickness": -1, "er": 4})"),
        ": layers[0].thickness: must be positive, got -1"},
    Bad{"LossTangent", file(trace, "", R"({"thickness": 1, "er": 4, "tand": -0.1})"),
        ": layers[0].tand: must be a loss tangent"},
    Bad{"UnitShown", file(trace, R"("unit": "mil", )", R"({"thickness": -2, "er": 4})"),
        ": layers[0].thickness: must be positive, got -2mil"},
    Bad{"SameLayerName",
        file(trace, "", R"({"name": "a", "thickness": 1, "er": 4}, {"name": "a", "thickness": 1, "er": 4})"),
        ": layers[1].name: \"a\" is also the name of layers[0]"},
    Bad{"Planes", file(trace, R"("planes": ["bottom", "side"], )"), ": planes[1]: must be bottom or top, got \"side\""},
    Bad{"PlaneTwice", file(trace, R"("planes": ["top", "top"], )"), ": planes[1]: \"top\" is given twice"},
    Bad{"TopPlaneWithoutLayer", R"({"planes": ["top"], "layers": [], "conductors": [{"trace": {"y": 1, "width": 1}}]})",
        ": planes: a top plane needs a layer under it"},
    Bad{"TooManyLayers", file(trace, "", times(33, [](int) { return R"({"thickness": 1, "er": 2})"; })),
        ": layers: at most 32 layers, got 33"},
    Bad{"TooManyConductors",
        file(times(17, [](int k) { return R"({"circle": {"y": 1, "radius": 0.1, "x": )" + std::to_string(k) + "}}"; })),
        ": conductors: at most 16 conductors, got 17"},
    // Conductors.
    Bad{"NoPlace", file(trace + R"(, {"trace": {"x": 2, "width": 0.3}})"),
        ": conductors[1].trace: needs one of on, under, y"},
    Bad{"TwoPlaces", file(R"({"trace": {"on": 0, "y": 1, "width": 0.3}})"),
        ": conductors[0].trace: takes only one of on, under, y"},
    Bad{"NoLayerNamed", file(R"({"trace": {"on": "cor", "width": 0.3}})"),
        ": conductors[0].trace.on: no layer named \"cor\""},
    Bad{"NoLayerNumbered", file(R"({"trace": {"under": 1, "width": 0.3}})"), ": conductors[0].trace.under: no layer 1"},
    Bad{"BottomWidthOnALayer", file(R"({"trace": {"on": 0, "width": 0.3, "bottom_width": 0.2}})"),
        ": conductors[0].trace.bottom_width: goes with under"},
    Bad{"StripWithTwoWidths", file(R"({"trace": {"on": 0, "width": 0.3, "top_width": 0.2}})"),
        ": conductors[0].trace: a strip of no thickness has one width"},
    Bad{"NoShape", file(R"({"name": "a"})"), ": conductors[0]: needs one of trace, circle, polygon"},
    Bad{"Role", file(R"({"role": "shield", "trace": {"on": 0, "width": 0.3}})"),
        ": conductors[0].role: must be signal or ground"},
    Bad{"SameName", file(trace + R"(, {"name": "c0", "circle": {"y": 2, "radius": 0.1}})"),
        ": conductors[1]: the name \"c0\" is also the name of conductors[0]"},
    Bad{"PolygonCrossing", file(R"({"polygon": [[0, 1], [1, 2], [1, 1], [0, 2]]})"),
        ": conductors[0].polygon: the sides from corners 0 and 2 cross or touch"},
    Bad{"PolygonRepeats", file(R"({"polygon": [[0, 1], [1, 1], [0, 1], [0, 2]]})"),
        ": conductors[0].polygon: corners 0 and 2 coincide"},
    Bad{"PolygonFolds", file(R"({"polygon": [[0, 1], [2, 1], [1, 1]]})"),
        ": conductors[0].polygon: the sides from corners 0 and 1 overlap"},
    // Geometry: exact touching is refused as overlapping.
    Bad{"TracesTouch",
        file(
            R"({"trace": {"on": 0, "x": -0.15, "width": 0.3, "thickness": 0.05}}, )"
            R"({"trace": {"on": 0, "x": 0.15, "width": 0.3}})"),
        ": conductors[1] (\"c1\"): overlaps or touches conductors[0] (\"c0\")"},
    Bad{"CircleRestsOnTrace",
        file(
            R"({"trace": {"on": 0, "width": 0.3, "thickness": 0.05}}, )"
            R"({"name": "w", "circle": {"y": 1, "radius": 0.25}})"),
        ": conductors[1] (\"w\"): overlaps or touches conductors[0] (\"c0\")"},
    Bad{"CircleInsidePolygon", file(R"({"polygon": [[-1, 1], [1, 1], [0, 3]]}, {"circle": {"y": 1.5, "radius": 0.1}})"),
        ": conductors[1] (\"c1\"): overlaps or touches conductors[0]"},
    // Within the trapezoid's box, beyond the box's corner cut by its slanted side.
    Bad{"SlantedSideCutsCircle", file(slanted + R"(, {"circle": {"x": 0.8, "y": 1.3, "radius": 0.1}})"),
        ": conductors[1] (\"c1\"): overlaps or touches conductors[0]"},
    Bad{"BelowBottomPlane", file(trace + R"(, {"name": "w", "circle": {"y": 0.5, "radius": 0.6}})"),
        ": conductors[1] (\"w\"): reaches down to y = -0.1, not above the bottom plane at y = 0"},
    Bad{"OnBottomPlane", file(R"({"trace": {"under": 0, "width": 0.3}})"),
        ": conductors[0] (\"c0\"): reaches down to y = 0"},
    Bad{"AboveTopPlane", file(R"({"trace": {"on": 0, "width": 0.3}})", R"("planes": ["bottom", "top"], )"),
        ": conductors[0] (\"c0\"): reaches up to y = 0.7, not below the top plane at y = 0.7"},
    Bad{"CrossesLayerPlane", file(R"({"trace": {"on": 0, "x": 2, "width": 0.3, "thickness": 0.25}})", "", cutLayer),
        ": conductors[0] (\"c0\"): touches or crosses layers[1].plane"},
    Bad{"TouchesCutoutEdge", file(R"({"trace": {"on": 0, "width": 2, "thickness": 0.25}})", "", cutLayer),
        ": conductors[0] (\"c0\"): touches or crosses layers[1].plane"},
    Bad{"CircleInsideThickPlane", file(trace + R"(, {"circle": {"x": 3, "y": 0.95, "radius": 0.01}})", "", cutLayer),
        ": conductors[1] (\"c1\"): touches or crosses layers[1].plane"},
    Bad{"PlaneBeyondLayer", file(trace, "", R"({"thickness": 1, "er": 4, "plane": {"height": 0.8, "thickness": 0.3}})"),
        ": layers[0].plane: reaches 1.1 above its layer's bottom, beyond the layer's thickness 1"},
    Bad{"CutoutsOverlap",
        file(
            trace, "",
            R"({"thickness": 0.2, "er": 4}, )"
            R"({"thickness": 1, "er": 4, "plane": {"height": 0.5, "cutouts": [[0, 1], [1, 2]]}})"),
        ": layers[1].plane.cutouts[1]: overlaps or touches cutouts[0]"},
    Bad{"PlanesTouch",
        file(
            trace, "",
            R"({"thickness": 1, "er": 4}, {"thickness": 1, "er": 4, "plane": {"height": 0.5, "thickness": 0.5}}, )"
            R"({"thickness": 1, "er": 4, "plane": {"height": 0}})"),
        ": layers[2].plane: touches layers[1].plane"},
    Bad{"CoatingUnderTopPlane",
        file(R"({"trace": {"y": 0.3, "width": 0.3}})",
             R"("planes": ["bottom", "top"], "coating": {"thickness": 0.02, "er": 3.5}, )"),
        ": coating: the stack's top face, where a coating lies, carries the top plane"},
    // Tubes, pours, faces through hollows and notches.
    Bad{"InnerRadius", file(trace + R"(, {"circle": {"y": 3, "radius": 1, "inner_radius": 1}})"),
        ": conductors[1].circle.inner_radius: must be below the radius 1, got 1"},
    Bad{"WireThroughTubeWall", file(trace + R"(, {"circle": {"y": 3, "radius": 1, "inner_radius": 0.8}}, )"
                                            R"({"circle": {"x": 0.85, "y": 3, "radius": 0.1}})"),
        ": conductors[2] (\"c2\"): overlaps or touches conductors[1]"},
    Bad{"FaceThroughTube", file(trace + R"(, {"circle": {"x": 2, "y": 0.7, "radius": 0.5, "inner_radius": 0.3}})"),
        ": conductors[1] (\"c1\"): the face of the layers at y = 0.7 runs through the tube"},
    Bad{"FaceThroughNotch",
        file(trace + R"(, {"polygon": [[1, 0.5], [2, 0.5], [2, 1], [1.8, 1], [1.8, 0.6], [1.2, 0.6], )"
                     R"([1.2, 1], [1, 1]]})"),
        ": conductors[1] (\"c1\"): the top face of layers[0] (\"core\") crosses the polygon more than once"},
    Bad{"SignalPour", file(trace + R"(, {"trace": {"on": 0, "x": 1, "to_edge": "right"}})"),
        ": conductors[1]: a trace taken to the board's edge must have the role ground"},
    Bad{"PourWithWidth", file(R"({"role": "ground", "trace": {"on": 0, "to_edge": "left", "width": 1}})"),
        ": conductors[0].trace.width: a trace taken to the board's edge has no width"},
    Bad{"PourOverTrace", file(trace + R"(, {"role": "ground", "trace": {"on": 0, "x": 0.1, "to_edge": "right"}})"),
        ": conductors[1] (\"c1\"): overlaps or touches conductors[0]"},
    // What refers to what.
    Bad{"NotASignal", file(trace + ", " + ground, R"("pairs": [["c0", "g"]], )"),
        ": pairs[0][1]: \"g\" is not a signal conductor"},
    Bad{"NoSuchConductor", file(trace, R"("pairs": [["c0", "x"]], )"), ": pairs[0][1]: no conductor named \"x\""},
    Bad{"PairOfOne", file(trace, R"("pairs": [["c0", "c0"]], )"),
        ": pairs[0]: pairs two distinct conductors, got \"c0\" twice"},
    Bad{"TwoPairs",
        file(trace + R"(, {"trace": {"on": 0, "x": 1, "width": 0.3}}, {"trace": {"on": 0, "x": 2, "width": 0.3}})",
             R"("pairs": [["c0", "c1"], ["c2", "c1"]], )"),
        ": pairs[1][1]: \"c1\" is already in pairs[0]"},
    Bad{"NoSignal", file(ground), ": needs a signal conductor"},
    Bad{"NoReference", R"({"planes": [], "conductors": [{"circle": {"y": 3, "radius": 0.2}}]})",
        ": needs a reference: a plane or a conductor with role ground"},
    // Proportions beyond the resolved range, named.
    Bad{"ThinTrace", file(R"({"trace": {"on": 0, "width": 2e-7}})"),
        ": the thickness of layers[0] (\"core\") is 3.5e6 of the bottom width of conductors[0] (\"c0\")"},
    Bad{"NarrowGap", file(R"({"trace": {"on": 0, "width": 0.3}}, {"trace": {"on": 0, "x": 0.3000001, "width": 0.3}})"),
        ": the clearance between conductors[0] (\"c0\") and conductors[1] (\"c1\") is 3.33e-7 of the bottom width"},
    Bad{"NearPlane",
        file(R"({"circle": {"y": 1.0000002, "radius": 1}})", R"("planes": ["bottom"], )",
             R"({"thickness": 3, "er": 2})"),
        ": the clearance between conductors[0] (\"c0\") and the bottom plane is 2e-7 of the radius"}};

INSTANTIATE_TEST_SUITE_P(Files, BadFile, ::testing::ValuesIn(badFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// Boards compared field by field, every double to the last bit.
void expectSameBoard(const Board& a, const Board& b) {
    EXPECT_EQ(a.bottomPlane, b.bottomPlane);
    EXPECT_EQ(a.topPlane, b.topPlane);
    EXPECT_EQ(a.lengthUnit, b.lengthUnit);
    EXPECT_EQ(a.pairs, b.pairs);
    ASSERT_EQ(a.layers.size(), b.layers.size());
    for (std::size_t k = 0; k < a.layers.size(); ++k) {
        const BoardLayer &l = a.layers[k], &m = b.layers[k];
        EXPECT_EQ(l.name, m.name);
        EXPECT_EQ(std::vector<double>({l.thickness, l.er, l.tanDelta, l.planeHeight, l.planeThickness}),
                  std::vector<double>({m.thickness, m.er, m.tanDelta, m.planeHeight, m.planeThickness}));
        EXPECT_EQ(l.plane, m.plane);
        EXPECT_EQ(l.cutouts, m.cutouts);
    }
    ASSERT_EQ(a.conductors.size(), b.conductors.size());
    for (std::size_t k = 0; k < a.conductors.size(); ++k) {
        const BoardConductor &c = a.conductors[k], &d = b.conductors[k];
        EXPECT_EQ(c.name, d.name);
        EXPECT_EQ(c.signal, d.signal);
        EXPECT_EQ(c.shape, d.shape);
        EXPECT_EQ(std::vector<double>({c.x, c.y, c.bottomWidth, c.topWidth, c.thickness, c.radius}),
                  std::vector<double>({d.x, d.y, d.bottomWidth, d.topWidth, d.thickness, d.radius}))
            << c.name;
        EXPECT_EQ(c.points, d.points);
        EXPECT_EQ(c.toEdge, d.toEdge);
        EXPECT_EQ(c.innerRadius, d.innerRadius);
    }
    ASSERT_EQ(a.coating.size(), b.coating.size());
    for (std::size_t k = 0; k < a.coating.size(); ++k)
        EXPECT_EQ(std::vector<double>(
                      {a.coating[k].thickness, a.coating[k].thicknessOver, a.coating[k].er, a.coating[k].tanDelta}),
                  std::vector<double>(
                      {b.coating[k].thickness, b.coating[k].thicknessOver, b.coating[k].er, b.coating[k].tanDelta}));
}

// A differential pair on a core, one trace on its top face and one hanging from the prepreg's
// bottom face into it; a plane inside the prepreg with a cut-out over them, a trace and a polygon
// inside the cut-out, a ground wire above; a solder mask; lengths in mm, a few written in mil.
const std::string stackup = R"({
  "unit": "mm",
  "layers": [
    {"name": "core", "thickness": 0.13, "er": 4.5, "tand": 0.02},
    {"name": "prepreg", "thickness": "0.071mm", "er": 4.2,
     "plane": {"height": 0.05, "thickness": "0.7mil", "cutouts": [[-0.2, 0.2]]}}
  ],
  "conductors": [
    {"name": "p", "trace": {"on": "core", "x": -0.1, "width": 0.1, "top_width": 0.09, "thickness": 0.035}},
    {"name": "n", "trace": {"under": 1, "x": 0.1, "width": 0.1, "bottom_width": 0.09, "thickness": 0.035}},
    {"trace": {"y": 0.19, "x": 0.0, "width": 0.05}},
    {"name": "w", "role": "ground", "circle": {"x": 0, "y": 0.5, "radius": "1mil"}},
    {"name": "q", "polygon": [[0.12, 0.145], [0.15, 0.175], [0.18, 0.145]]}
  ],
  "coating": {"thickness": 0.02, "over": 0.015, "er": 3.5, "tand": 0.025},
  "pairs": [["p", "n"]]
})";

TEST(GoodFile, DescribesTheBoardItsMembersSay) {
    const BoardFile f = BoardFile::parse(stackup, "stackup.json");
    const Board b = f.board();
    EXPECT_EQ(f.displayUnit(), "mm");
    EXPECT_EQ(b.lengthUnit, "m");
    EXPECT_TRUE(b.bottomPlane);
    EXPECT_FALSE(b.topPlane);
    ASSERT_EQ(b.layers.size(), 2u);
    EXPECT_EQ(b.layers[1].thickness, 0.071 * 1e-3);
    EXPECT_EQ(b.layers[1].planeThickness, 0.7 * 25.4e-6);
    EXPECT_EQ(b.layers[1].cutouts, (std::vector<std::pair<double, double>>{{-0.2 * 1e-3, 0.2 * 1e-3}}));
    ASSERT_EQ(b.conductors.size(), 5u);
    const BoardConductor &p = b.conductors[0], &n = b.conductors[1], &c2 = b.conductors[2], &w = b.conductors[3];
    // On a face: its bottom there, `width` the bottom face; under one: its top there, `width` the top face.
    EXPECT_EQ(p.y, 0.13 * 1e-3);
    EXPECT_EQ(p.bottomWidth, 0.1 * 1e-3);
    EXPECT_EQ(p.topWidth, 0.09 * 1e-3);
    EXPECT_EQ(n.y, (0.13 * 1e-3) - 0.035 * 1e-3);
    EXPECT_EQ(n.topWidth, 0.1 * 1e-3);
    EXPECT_EQ(n.bottomWidth, 0.09 * 1e-3);
    EXPECT_EQ(c2.name, "c2");
    EXPECT_EQ(c2.y, 0.19 * 1e-3);
    EXPECT_EQ(c2.topWidth, c2.bottomWidth);
    EXPECT_EQ(c2.thickness, 0);
    EXPECT_FALSE(w.signal);
    EXPECT_EQ(w.radius, 25.4e-6);
    // Given clockwise, kept counter-clockwise.
    const double mm = 1e-3;
    EXPECT_EQ(b.conductors[4].points,
              (std::vector<Point>{{0.18 * mm, 0.145 * mm}, {0.15 * mm, 0.175 * mm}, {0.12 * mm, 0.145 * mm}}));
    ASSERT_EQ(b.coating.size(), 1u);
    EXPECT_EQ(b.coating[0].thicknessOver, 0.015 * 1e-3);
    EXPECT_EQ(b.coating[0].tanDelta, 0.025);
    EXPECT_EQ(b.pairs, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 1}}));
    EXPECT_EQ(b.signalCount(), 4u);
    EXPECT_EQ(b.layerBottom(2), 0.13 * mm + 0.071 * mm);
    // What the file leaves out, as the board has it.
    EXPECT_EQ(f.get("conductors.2.top_width"), 0.05 * mm);
    EXPECT_EQ(f.get("layers.prepreg.tand"), 0);

    // Bare lengths stay bare; the unit most lengths carry is the one to show them in.
    const Board bare = BoardFile::parse(file(trace), "f.json").board();
    EXPECT_EQ(bare.lengthUnit, "");
    EXPECT_EQ(bare.conductors[0].bottomWidth, 0.3);
    const std::string mils = file(R"({"trace": {"on": 0, "width": "5mil", "thickness": "1.4mil"}})", "",
                                  R"({"thickness": "0.2mm", "er": 4})");
    EXPECT_EQ(BoardFile::parse(mils, "f.json").displayUnit(), "mil");
    // Wires in free space, one of them the reference.
    const std::string wires = R"({"planes": [], "conductors": [{"circle": {"x": -1, "y": 0, "radius": 0.3}},
                                  {"role": "ground", "circle": {"x": 1, "y": 0, "radius": 0.3}}]})";
    EXPECT_EQ(BoardFile::parse(wires, "f.json").board().layers.size(), 0u);
    // A wire in a tube's hollow; a polygon with a notch no face crosses.
    EXPECT_NO_THROW(BoardFile::parse(coax, "f.json"));
    EXPECT_NO_THROW(BoardFile::parse(
        file(trace + R"(, {"polygon": [[1, 0.8], [2, 0.8], [2, 1], [1.8, 1], [1.8, 0.9], [1.2, 0.9], )"
                     R"([1.2, 1], [1, 1]]})"),
        "f.json"));
    // A circle in the box of a trapezoid but clear of its slanted side.
    EXPECT_NO_THROW(
        BoardFile::parse(file(slanted + R"(, {"circle": {"x": 0.95, "y": 1.5, "radius": 0.1}})"), "f.json"));
}

// Written and read back: the same board to the last bit, in any display unit, whether or not a
// length has a short decimal in it.
struct RoundTrip {
    const char* name;
    Board board;
    std::string unit;
    bool unitKept;  // every length has a number in `unit` that reads back to it
};

void PrintTo(const RoundTrip& r, std::ostream* os) { *os << r.name; }

class WrittenBoard : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(WrittenBoard, ReadsBackToTheSameBoard) {
    const RoundTrip& r = GetParam();
    checkBoard(r.board, r.name);
    const std::string text = boardJson(r.board, r.unit);
    const BoardFile back = BoardFile::parse(text, r.name);
    SCOPED_TRACE(text);
    expectSameBoard(back.board(), r.board);
    if (r.unitKept) {
        EXPECT_EQ(back.displayUnit(), r.unit);
    }
}

BoardConductor traceAt(const char* name, double x, double y, double bottom, double top, double thickness) {
    BoardConductor c;
    c.name = name, c.x = x, c.y = y, c.bottomWidth = bottom, c.topWidth = top, c.thickness = thickness;
    return c;
}

Board awkward() {
    // Lengths in metres of no short decimal in any unit, a layer's plane among them.
    Board b;
    b.lengthUnit = "m";
    b.topPlane = true;
    b.layers = {{"", 1.1e-4 / 3, 3.7, 0.0, false, 0, 0, {}},
                {"b\"2\\", 2.3e-4 / 7, 4.3, 0.017, true, 1.7e-5 / 3, 0, {{-4e-5 / 3, 1e-5}}}};
    BoardConductor g;
    g.name = "ground", g.signal = false, g.shape = ConductorShape::polygon;
    g.points = {{-2e-4 / 3, 1e-5 / 3}, {-1e-4 / 3, 1e-5 / 3}, {-1.5e-4 / 3, 2e-5 / 3}};
    BoardConductor pour = traceAt("pour", 5e-5 / 3, 1e-5 / 7, 0, 0, 2e-6 / 3);
    pour.signal = false, pour.toEdge = 1;
    b.conductors = {traceAt("a", 1e-5 / 7, b.layerBottom(1), 3e-5 / 7, 2.5e-5 / 7, 1.3e-5 / 3), g,
                    traceAt("u", 9e-5 / 7, b.layerBottom(1) - 1e-5 / 3, 3e-5 / 7, 3e-5 / 7, 1e-5 / 3), pour};
    b.pairs = {{0, 2}};
    return b;
}

// The board a coplanar pair over a plane is the short form of: grounds taken to the edges.
Board coplanar() {
    Structure s;
    s.kind = StructureKind::coplanar;
    s.w = 0.3, s.wTop = 0.27, s.t = 0.035, s.s = 0.2, s.g = 0.15, s.h = 0.25, s.er = 4.3;
    s.mask = 0.02, s.maskEr = 3.4;
    checkStructure(s);
    return structureBoard(s);
}

Board fromFile(const std::string& text) { return BoardFile::parse(text, "f.json").board(); }

INSTANTIATE_TEST_SUITE_P(Boards, WrittenBoard,
                         ::testing::Values(RoundTrip{"Stackup", fromFile(stackup), "mm", true},
                                           RoundTrip{"StackupInMil", fromFile(stackup), "mil", false},
                                           RoundTrip{"StackupInMetres", fromFile(stackup), "m", true},
                                           RoundTrip{"Bare", fromFile(file(trace + ", " + ground)), "", true},
                                           RoundTrip{"AwkwardInUm", awkward(), "um", false},
                                           RoundTrip{"AwkwardInMil", awkward(), "mil", false},
                                           RoundTrip{"Coax", fromFile(coax), "", true},
                                           RoundTrip{"Coplanar", coplanar(), "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// One number set by its path: each spelling reaches the same field, read as the file's field is
// read, the board read again; a path naming nothing is refused naming it.
struct Setting {
    const char* name;
    std::string path, text;
    double value;         // get(path) after setting, in metres
    std::string message;  // for a refusal: what follows "f.json: " (set, or board() after it)
};

void PrintTo(const Setting& s, std::ostream* os) { *os << s.name; }

class SetByPath : public ::testing::TestWithParam<Setting> {};

TEST_P(SetByPath, ChangesThatNumberOnly) {
    const Setting& s = GetParam();
    BoardFile f = BoardFile::parse(stackup, "f.json");
    try {
        f.set(s.path, s.text);
        const Board b = f.board();
        EXPECT_EQ(f.get(s.path), s.value);
        EXPECT_EQ(s.message, "") << "accepted";
        // Nothing else moved: set back, the same board as the file's.
        BoardFile again = BoardFile::parse(stackup, "f.json");
        again.set(s.path, f.get(s.path));
        expectSameBoard(again.board(), b);
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), "f.json: " + s.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SetByPath,
    ::testing::Values(
        Setting{"Dotted", "conductors.0.trace.width", "0.12", 0.12 * 1e-3, ""},
        Setting{"Bracketed", "conductors[0].trace.width", "0.12", 0.12 * 1e-3, ""},
        Setting{"ByName", "conductors.p.width", "0.12", 0.12 * 1e-3, ""},
        Setting{"DefaultName", "conductors.c2.x", "-0.01", -0.01 * 1e-3, ""},
        Setting{"WithUnit", "conductors.n.bottom_width", "3mil", 3 * 25.4e-6, ""},
        Setting{"AddedField", "layers.prepreg.tand", "0.004", 0.004, ""},
        Setting{"Permittivity", "layers[0].er", "3.9", 3.9, ""},
        Setting{"Cutout", "layers.1.plane.cutouts.0.1", "0.25", 0.25 * 1e-3, ""},
        Setting{"Corner", "conductors.q.polygon[1][1]", "0.17", 0.17 * 1e-3, ""},
        Setting{"Radius", "conductors.w.radius", "0.03", 0.03 * 1e-3, ""},
        Setting{"Coating", "coating.over", "0.01", 0.01 * 1e-3, ""},
        Setting{"NoField", "conductors.p.widht", "1", 0,
                "conductors.p.widht: no such field: a trace's numbers are x, y, width, top_width, "
                "bottom_width, thickness"},
        Setting{"NoConductor", "conductors.9.width", "1", 0, "conductors.9.width: no conductor 9 (the file has 5)"},
        Setting{"NoName", "layers.cor.er", "1", 0, "layers.cor.er: no layer named \"cor\""},
        Setting{"NotANumber", "conductors.p.role", "1", 0, "conductors.p.role: role is not a number"},
        Setting{"NoCoordinate", "conductors.q.polygon.1.2", "1", 0, "conductors.q.polygon.1.2: no entry 2 (0 or 1)"},
        Setting{"BadValue", "layers.0.er", "4,5", 0, "layers.0.er needs a decimal number, got \"4,5\""},
        Setting{"Checked", "layers.0.er", "0.9", 0,
                "layers[0].er: must be a relative permittivity from 1 to 10000, got 0.9"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plattor
