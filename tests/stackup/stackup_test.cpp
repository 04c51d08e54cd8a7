// KiCad boards read into stacks and stacks into cross-sections, and the table a designer gets:
// every refusal a bad file earns, where each kind of signal layer puts its trace, and the widths
// of real boards confirmed by forward runs.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "design/csv.hpp"
#include "report/report.hpp"
#include "stackup/layer_section.hpp"
#include "stackup/sexpr.hpp"
#include "stackup/stackup.hpp"
#include "support/csv_text.hpp"
#include "support/program_run.hpp"

namespace plattor {
namespace {

using testing::ProgramRun;
using testing::runProgram;
using testing::ScratchDir;

const std::string lines = PLATTOR_LINES_EXECUTABLE;
const std::string boards = PLATTOR_STACKUP_DIR;

// A board of stack entries (from line 5 on), its copper layers typed in (layers …) on line 2.
const std::string typed = R"( (0 "F.Cu" signal) (1 "In1.Cu" power) (2 "In2.Cu" power) (31 "B.Cu" signal))";
std::string board(const std::string& entries, const std::string& layers = typed) {
    return "(kicad_pcb (version 20211014) (generator pcbnew)\n  (layers" + layers + ")\n  (setup\n    (stackup\n" +
           entries + "    )\n  )\n)\n";
}

const std::string fourLayers =
    R"(      (layer "F.Mask" (type "Top Solder Mask") (thickness 0.01) (epsilon_r 3.3))
      (layer "F.Cu" (type "copper") (thickness 0.035))
      (layer "dielectric 1" (type "prepreg") (thickness 0.2) (epsilon_r 4.3))
      (layer "In1.Cu" (type "copper") (thickness 0.0175))
      (layer "dielectric 2" (type "core") (thickness 1.1) (epsilon_r 4.6))
      (layer "In2.Cu" (type "copper") (thickness 0.0175))
      (layer "dielectric 3" (type "prepreg") (thickness 0.2) (epsilon_r 4.3))
      (layer "B.Cu" (type "copper") (thickness 0.035))
      (layer "B.Mask" (type "Bottom Solder Mask") (thickness 0.01) (epsilon_r 3.3))
)";

// Six copper layers, KiCad 5's unquoted dielectric names among them; In1, In3 and B.Cu planes.
const std::string sixLayers =
    R"(      (layer "F.Cu" (type "copper") (thickness 0.035))
      (layer dielectric 1 (type prepreg) (thickness 0.1) (epsilon_r 4.2))
      (layer "In1.Cu" (type "copper") (thickness 0.0175))
      (layer "dielectric 2" (type "core") (thickness 0.3) (epsilon_r 4.6))
      (layer "In2.Cu" (type "copper") (thickness 0.0175))
      (layer "dielectric 3" (type "prepreg") (thickness 0.075) (epsilon_r 4.1)
        addsublayer (thickness 0.075) (epsilon_r 4.1) addsublayer (thickness 0))
      (layer "In3.Cu" (type "copper") (thickness 0.0175))
      (layer "dielectric 4" (type "core") (thickness 0.3) (epsilon_r 4.6))
      (layer "In4.Cu" (type "copper") (thickness 0.0175))
      (layer "dielectric 5" (type "prepreg") (thickness 0.2) (epsilon_r 4.4))
      (layer "B.Cu" (type "copper") (thickness 0.035))
)";

std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The board's stack and planes, and every signal layer's cross-section: the first refusal, its
// file named as the user wrote it ("b.kicad_pcb"), or "accepted".
std::string refusal(const std::string& text, const std::vector<std::string>& planes = {}, MaskChoice mask = {}) {
    const ScratchDir dir;
    dir.write("b.kicad_pcb", text);
    const std::string path = (dir.path() / "b.kicad_pcb").string();
    try {
        const Stackup stackup = readStackup(path);
        const std::vector<std::string> chosen = referencePlanes(stackup, planes);
        for (const std::size_t k : stackup.copperLayers())
            if (std::find(chosen.begin(), chosen.end(), stackup.layers[k].name) == chosen.end())
                layerCrossSection(stackup, k, chosen, mask);
    } catch (const RunError& e) {
        std::string message = e.what();
        const std::string prefix = dir.path().string() + "/";
        for (std::size_t at; (at = message.find(prefix)) != std::string::npos;) message.erase(at, prefix.size());
        return message;
    }
    return "accepted";
}

struct Refusal {
    const char* name;
    std::string text;
    std::vector<std::string> planes;
    const char* message;
};

// A failing case is named, not dumped as bytes.
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class BadFile : public ::testing::TestWithParam<Refusal> {};

TEST_P(BadFile, IsRefusedInOneLineNamingTheFileTheLineAndTheField) {
    EXPECT_EQ(refusal(GetParam().text, GetParam().planes), GetParam().message);
}

const std::string nested = "(kicad_pcb " + std::string(70, '(') + std::string(71, ')') + "\n";

INSTANTIATE_TEST_SUITE_P(
    Stackup, BadFile,
    ::testing::Values(
        Refusal{"NotABoard", "hello world\n(kicad_pcb)\n", {}, "b.kicad_pcb:1: not a KiCad board: it starts with \"hello world\", not (kicad_pcb"},
        Refusal{"Empty", "# a comment only\n", {}, "b.kicad_pcb:1: not a KiCad board: the file is empty"},
        Refusal{"ASchematic", "\n(kicad_sch (version 20211123))\n", {}, "b.kicad_pcb:2: not a KiCad board: it starts with (kicad_sch …), not (kicad_pcb"},
        Refusal{"NoSetup", "(kicad_pcb (version 20211014))\n", {}, "b.kicad_pcb:1: no stackup: the board's file has no (stackup …) section (KiCad writes it once the board's stackup is set in Board Setup, Physical Stackup)"},
        Refusal{"NoStackup", "(kicad_pcb (version 20211014)\n  (setup (pad_to_mask_clearance 0)))\n", {}, "b.kicad_pcb:2: no stackup: the board's (setup …) has no (stackup …) section (KiCad writes it once the board's stackup is set in Board Setup, Physical Stackup)"},
        Refusal{"CopperWithoutThickness", board(with(fourLayers, "(type \"copper\") (thickness 0.0175))", "(type \"copper\"))")), {}, "b.kicad_pcb:8: layer \"In1.Cu\": no thickness"},
        Refusal{"DielectricWithoutPermittivity", board(with(fourLayers, "(thickness 1.1) (epsilon_r 4.6)", "(thickness 1.1)")), {}, "b.kicad_pcb:9: layer \"dielectric 2\": no epsilon_r (the dielectric's relative permittivity)"},
        Refusal{"SublayerWithoutPermittivity", board(with(fourLayers, "(epsilon_r 4.6))", "(epsilon_r 4.6)\n addsublayer (thickness 0.1))")), {}, "b.kicad_pcb:10: layer \"dielectric 2\", sublayer 1: no epsilon_r (the dielectric's relative permittivity)"},
        Refusal{"ThicknessWithAUnit", board(with(fourLayers, "(thickness 0.0175))", "(thickness 17.5um))")), {}, "b.kicad_pcb:8: layer \"In1.Cu\": thickness needs a number from 0 to 1000 (mm), got \"17.5um\""},
        Refusal{"CopperOfNoThickness", board(with(fourLayers, "(thickness 0.0175))", "(thickness 0))")), {}, "b.kicad_pcb:8: layer \"In1.Cu\": thickness needs a number above 0, got 0"},
        Refusal{"PermittivityBelowOne", board(with(fourLayers, "(epsilon_r 4.6)", "(epsilon_r 0.9)")), {}, "b.kicad_pcb:9: layer \"dielectric 2\": epsilon_r needs a number from 1 to 10000, got \"0.9\""},
        Refusal{"NegativeLossTangent", board(with(fourLayers, "(epsilon_r 4.6)", "(epsilon_r 4.6) (loss_tangent -0.02)")), {}, "b.kicad_pcb:9: layer \"dielectric 2\": loss_tangent needs a number of 0 or more, got \"-0.02\""},
        Refusal{"MaskLossTangentNoNumber", board(with(fourLayers, "(epsilon_r 3.3))", "(epsilon_r 3.3) (loss_tangent inf))")), {}, "b.kicad_pcb:5: layer \"F.Mask\": loss_tangent needs a number of 0 or more, got \"inf\""},
        Refusal{"CopperOnCopper", board(with(fourLayers, "      (layer \"dielectric 2\" (type \"core\") (thickness 1.1) (epsilon_r 4.6))\n", "")), {}, "b.kicad_pcb:9: layers \"In1.Cu\" and \"In2.Cu\" have no dielectric between them"},
        Refusal{"AParenthesisNotClosed", "(kicad_pcb (version 1)\n  (setup (stackup\n", {}, "b.kicad_pcb:2: '(' not closed by the end of the file"},
        Refusal{"TextAfterTheBoard", board(fourLayers) + ")\n", {}, "b.kicad_pcb:17: text after the end of the expression that began on line 1 (\")\")"},
        Refusal{"AStringNotClosed", "(kicad_pcb (version 1)\n  (title \"unfinished)\n)\n", {}, "b.kicad_pcb:2: a string not closed by the end of the file"},
        Refusal{"NestedTooDeep", nested, {}, "b.kicad_pcb:1: lists nested deeper than 64 levels"},
        Refusal{"MaskWithoutPermittivity", board(with(fourLayers, "(thickness 0.01) (epsilon_r 3.3)", "(thickness 0.01)")), {}, "b.kicad_pcb:5: layer \"F.Mask\": no epsilon_r for the solder mask over F.Cu: give --mask-er"},
        Refusal{"MaskWithoutThickness", board(with(fourLayers, "(thickness 0.01) (epsilon_r 3.3)", "(color \"Green\")")), {}, "b.kicad_pcb:5: layer \"F.Mask\": no thickness for the solder mask over F.Cu: give --mask (0: no mask)"},
        Refusal{"NoPlaneKnown", board(fourLayers, ""), {}, "b.kicad_pcb: no copper layer is known to be a plane: none is typed power in (layers …) and the file holds no tracks; name the planes with --planes (its copper layers: F.Cu, In1.Cu, In2.Cu, B.Cu)"},
        Refusal{"APlaneNotInTheStack", board(fourLayers), {"In1.Cu", "In7.Cu"}, "--planes: b.kicad_pcb has no copper layer \"In7.Cu\" (its copper layers: F.Cu, In1.Cu, In2.Cu, B.Cu)"},
        Refusal{"EveryLayerAPlane", board(fourLayers), {"F.Cu", "In1.Cu", "In2.Cu", "B.Cu"}, "b.kicad_pcb: every copper layer is a plane (F.Cu, In1.Cu, In2.Cu, B.Cu): no signal layer is left to route"},
        Refusal{"TheStackAsItIs", board(fourLayers), {}, "accepted"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// The program says it in one line on standard error, prints nothing and ends with status 1.
TEST(BadFile, EndsTheRunWithOneLineAndStatusOne) {
    const ScratchDir dir;
    dir.write("b.kicad_pcb", board(with(fourLayers, "(thickness 1.1) (epsilon_r 4.6)", "(thickness 1.1)")));
    const ProgramRun r = runProgram(lines, dir.path(), {"stackup", "b.kicad_pcb"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "plattor-lines: b.kicad_pcb:9: layer \"dielectric 2\": no epsilon_r (the dielectric's relative permittivity)\n");
}

// The options refused before the board is read, each in one line naming it (the loss options as
// a structure's, one frequency alone); a rules file that cannot be written before any work.
TEST(StackupOptions, AreRefusedInOneLineNamingTheOption) {
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"stackup"}, "stackup needs a board file: plattor-lines stackup FILE.kicad_pcb"},
        {{"stackup", "b.kicad_pcb", "c.kicad_pcb"}, "unknown argument \"c.kicad_pcb\" for stackup (see plattor-lines --help)"},
        {{"stackup", "b.kicad_pcb", "--width"}, "--width needs a value"},
        {{"stackup", "b.kicad_pcb", "--gap", "0.1", "--width", "0.2mm"}, "--gap and --width exclude each other: one is held, the other solved"},
        {{"stackup", "b.kicad_pcb", "--gap", "0.1", "--gap", "0.2"}, "--gap is given twice"},
        {{"stackup", "b.kicad_pcb", "--gap", "-0.1"}, "--gap needs a length above 0 and below 1 m, got \"-0.1\""},
        {{"stackup", "b.kicad_pcb", "--etch", "5pc"}, "--etch needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"5pc\""},
        {{"stackup", "b.kicad_pcb", "--z", "50,,75"}, "--z needs impedances in ohm above 0 separated by commas, or none; got \"50,,75\""},
        {{"stackup", "b.kicad_pcb", "--z", "none", "--zdiff", "none"}, "--z none and --zdiff none leave nothing to solve"},
        {{"stackup", "b.kicad_pcb", "--dk-tol", "60%"}, "--dk-tol needs a fraction from 0 to below 0.5, or a percentage (5%), got \"60%\""},
        {{"stackup", "b.kicad_pcb", "--mask-er", "0.5"}, "--mask-er needs a relative permittivity from 1 to 10000, got \"0.5\""},
        {{"stackup", "b.kicad_pcb", "--planes", "In1.Cu,"}, "--planes needs copper layer names separated by commas, got \"In1.Cu,\""},
        {{"stackup", "b.kicad_pcb", "--json", "--csv"}, "--json and --csv exclude each other"},
        {{"stackup", "b.kicad_pcb", "--threads", "0"}, "--threads needs a whole number from 1 to 4096, got \"0\""},
        {{"stackup", "b.kicad_pcb", "--freq", "1GHz:10GHz:4"}, "--freq needs one frequency for stackup's loss column, got \"1GHz:10GHz:4\""},
        {{"stackup", "b.kicad_pcb", "--sigma", "4.1e7"}, "--sigma goes with --freq F, the frequency of the table's loss column"},
        {{"stackup", "b.kicad_pcb", "--freq", "5GHz", "--rlgc", "w.txt"}, "--rlgc is for one line, not for stackup's table: give it to the layer's structure (plattor-lines STRUCTURE … --freq F)"},
        {{"stackup", "b.kicad_pcb", "--rules", "no/such/dir/b.kicad_dru"}, "no/such/dir/b.kicad_dru: cannot write: No such file or directory"}};
    const ScratchDir dir;
    dir.write("b.kicad_pcb", board(fourLayers));
    for (const auto& c : cases) {
        const ProgramRun r = runProgram(lines, dir.path(), c.arguments);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("plattor-lines: ") + c.message + "\n");
    }
}

// Strings keep what their escapes stand for, comment lines are skipped, every item keeps its line.
TEST(SExpression, ReadsEscapesCommentsAndLines) {
    const SExpr e = readSExpr("# a comment (not a list\n(a \"q\\\"b\\\\c\\n\" \n  (b 1.5) \"x\\zy\"\n # and (another\n)", "f");
    ASSERT_EQ(e.items.size(), 4u);
    EXPECT_EQ(e.line, 2u);
    EXPECT_EQ(e.head(), "a");
    EXPECT_EQ(e.items[1].kind, SExpr::Kind::string);
    EXPECT_EQ(e.items[1].text, "q\"b\\c\n");
    EXPECT_EQ(e.child("b")->line, 3u);
    EXPECT_EQ(e.child("b")->items[1].text, "1.5");
    EXPECT_EQ(e.items[3].text, "x\\zy");
    EXPECT_EQ(e.items[3].line, 3u);
}

// The planes: the layers typed power, and where the board has tracks those without one; or those
// named, front to back whatever their order on the command line.
TEST(ReferencePlanes, AreThePowerLayersAndTheUnroutedOnesOrThoseNamed) {
    const std::string tracks = R"(  (segment (start 0 0) (end 1 0) (width 0.2) (layer "F.Cu") (net 1))
  (arc (start 0 0) (mid 1 1) (end 2 0) (width 0.2) (layer "B.Cu") (net 1))
)";
    const struct {
        std::string layers, tracks;
        std::vector<std::string> requested, planes;
    } cases[] = {{typed, "", {}, {"In1.Cu", "In2.Cu"}},
                 {"", tracks, {}, {"In1.Cu", "In2.Cu"}},
                 {R"( (0 "F.Cu" signal) (1 "In1.Cu" signal) (2 "In2.Cu" mixed) (31 "B.Cu" power))",
                  tracks + "  (segment (layer \"In2.Cu\"))\n", {}, {"In1.Cu", "B.Cu"}},
                 {typed, "", {"B.Cu", "In1.Cu"}, {"In1.Cu", "B.Cu"}}};
    for (const auto& c : cases) {
        const ScratchDir dir;
        std::string text = board(fourLayers, c.layers);
        text.insert(text.rfind(')'), c.tracks);
        dir.write("b.kicad_pcb", text);
        EXPECT_EQ(referencePlanes(readStackup((dir.path() / "b.kicad_pcb").string()), c.requested), c.planes)
            << c.layers << c.tracks;
    }
}

// --- where each kind of layer puts its trace ---

struct Dielectric {
    double thickness, er, tanDelta = 0.0;
};

struct Mapping {
    const char* name;
    std::string stack;
    std::vector<std::string> planes;
    const char* layer;
    MaskChoice mask;
    Structure expected;  // the unsupported ones: kind microstrip, every length absent
    const char* unsupported;
    // The stack's dielectrics from the lower plane up, where a side holds several (each solved as
    // its own layer).
    std::vector<Dielectric> layers = {};
};

// The structures of stacks without loss tangents: each 0.
Structure microstrip(double h, double t, double er, double mask = absent, double maskEr = absent) {
    Structure s;
    s.h = h, s.t = t, s.er = er, s.tand = 0.0;
    s.mask = s.maskTop = mask, s.maskEr = maskEr;
    if (given(mask)) s.maskTand = 0.0;
    return s;
}

Structure covered(Structure s, double cover, double er) {
    s.cover = cover, s.coverEr = er, s.coverTand = 0.0;
    return s;
}

Structure stripline(double h, double t, double b, double er, double erTop) {
    Structure s;
    s.kind = StructureKind::stripline;
    s.h = h, s.t = t, s.b = b, s.er = er, s.erTop = erTop, s.tand = s.tandTop = 0.0;
    return s;
}

Structure lossy(Structure s, double tand, double tandTop, double maskTand = absent) {
    s.tand = tand, s.tandTop = tandTop, s.maskTand = maskTand;
    return s;
}

// A failing case is named, not dumped as bytes.
void PrintTo(const Mapping& c, std::ostream* os) { *os << c.name; }

class LayerMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(LayerMapping, PutsTheTraceBetweenItsPlanesWithTheStacksDielectrics) {
    const Mapping& m = GetParam();
    const ScratchDir dir;
    dir.write("b.kicad_pcb", board(m.stack, ""));
    const Stackup stackup = readStackup((dir.path() / "b.kicad_pcb").string());
    std::size_t layer = stackup.layers.size();
    for (const std::size_t k : stackup.copperLayers())
        if (stackup.layers[k].name == m.layer) layer = k;
    ASSERT_LT(layer, stackup.layers.size());
    const LayerSection s = layerCrossSection(stackup, layer, m.planes, m.mask);
    EXPECT_EQ(s.unsupported, m.unsupported);
    if (*m.unsupported) return;
    EXPECT_EQ(s.structure.kind, m.expected.kind);
    if (!m.layers.empty()) {
        ASSERT_EQ(s.stack.board.layers.size(), m.layers.size());
        for (std::size_t k = 0; k < m.layers.size(); ++k) {
            EXPECT_NEAR(s.stack.board.layers[k].thickness, m.layers[k].thickness, 1e-15) << k;
            EXPECT_EQ(s.stack.board.layers[k].er, m.layers[k].er) << k;
            EXPECT_EQ(s.stack.board.layers[k].tanDelta, m.layers[k].tanDelta) << k;
        }
        EXPECT_DOUBLE_EQ(s.stack.base, s.structure.h);
    }
    for (const StructureOption& o : structureOptions()) {
        const double got = s.structure.*o.field, want = m.expected.*o.field;
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(got)) << o.name << " " << got;
        } else {
            EXPECT_DOUBLE_EQ(got, want) << o.name;
        }
    }
}

// The four-layer stack with every dielectric of one permittivity.
const std::string uniform = with(fourLayers, "(epsilon_r 4.6)", "(epsilon_r 4.3)");

INSTANTIATE_TEST_SUITE_P(
    Stackup, LayerMapping,
    ::testing::Values(
        Mapping{"FrontOverItsPrepreg", fourLayers, {"In1.Cu", "In2.Cu"}, "F.Cu", {}, microstrip(2e-4, 3.5e-5, 4.3, 1e-5, 3.3), ""},
        Mapping{"BackOverItsPrepreg", fourLayers, {"In1.Cu", "In2.Cu"}, "B.Cu", {}, microstrip(2e-4, 3.5e-5, 4.3, 1e-5, 3.3), ""},
        Mapping{"TheMaskGivenInstead", fourLayers, {"In1.Cu", "In2.Cu"}, "F.Cu", {2e-5, 3.8}, microstrip(2e-4, 3.5e-5, 4.3, 2e-5, 3.8), ""},
        Mapping{"NoMask", fourLayers, {"In1.Cu", "In2.Cu"}, "F.Cu", {0.0, absent}, microstrip(2e-4, 3.5e-5, 4.3), ""},
        // A signal layer between the trace and its plane, one permittivity all through: one
        // dielectric, the layer's copper thickness filled by it.
        Mapping{"ThroughASignalLayerOfOnePermittivity", uniform, {"In2.Cu"}, "F.Cu", {}, microstrip(2e-4 + 1.75e-5 + 1.1e-3, 3.5e-5, 4.3, 1e-5, 3.3), ""},
        // Several dielectrics on a side: each its own layer, the copper layers between them (no
        // planes) filled by the dielectric before them.
        Mapping{"ThroughTwoPermittivities", fourLayers, {"In1.Cu"}, "B.Cu", {}, microstrip(1.3175e-3, 3.5e-5, absent, 1e-5, 3.3), "", {{1.1e-3, 4.6}, {2.175e-4, 4.3}}},
        // A plane on one side alone: the microstrip over it, under the dielectric up to the face
        // (thicker by the trace's copper) and the face's mask; none on either side: no section.
        Mapping{"InnerWithoutAPlaneAbove", uniform, {"In2.Cu"}, "In1.Cu", {}, covered(microstrip(1.1e-3, 1.75e-5, 4.3, 1e-5, 3.3), 2.525e-4, 4.3), "", {{1.1e-3, 4.3}, {2.525e-4, 4.3}}},
        Mapping{"InnerWithoutAnyPlane", uniform, {}, "In1.Cu", {}, {}, "In1.Cu: no plane on either side; not supported yet"},
        // On the core above it, the two sublayers of the prepreg below one dielectric.
        Mapping{"InnerOnTheCoreAbove", sixLayers, {"In1.Cu", "In3.Cu", "B.Cu"}, "In2.Cu", {}, stripline(3e-4, 1.75e-5, 3e-4 + 1.75e-5 + (7.5e-5 + 7.5e-5), 4.6, 4.1), ""},
        Mapping{"InnerAboveAPrepregPlane", sixLayers, {"In1.Cu", "In3.Cu", "B.Cu"}, "In4.Cu", {}, stripline(3e-4, 1.75e-5, 3e-4 + 1.75e-5 + 2e-4, 4.6, 4.4), ""},
        // Prepreg on both sides: on the one below.
        Mapping{"InnerBetweenPrepregs", with(sixLayers, "(type \"core\") (thickness 0.3) (epsilon_r 4.6))\n      (layer \"In4.Cu\"", "(type \"prepreg\") (thickness 0.3) (epsilon_r 4.6))\n      (layer \"In4.Cu\""), {"In1.Cu", "In3.Cu", "B.Cu"}, "In4.Cu", {}, stripline(2e-4, 1.75e-5, 2e-4 + 1.75e-5 + 3e-4, 4.4, 4.6), ""},
        Mapping{"SublayersOfTwoPermittivities", with(sixLayers, "addsublayer (thickness 0.075) (epsilon_r 4.1)", "addsublayer (thickness 0.075) (epsilon_r 3.9)"), {"In1.Cu", "In3.Cu", "B.Cu"}, "In2.Cu", {}, stripline(3e-4, 1.75e-5, 3e-4 + 1.75e-5 + 1.5e-4, 4.6, absent), "", {{3e-4, 4.6}, {7.5e-5 + 1.75e-5, 4.1}, {7.5e-5, 3.9}}},
        Mapping{"FrontThroughThreeDielectrics", sixLayers, {"In3.Cu", "B.Cu"}, "F.Cu", {}, microstrip(5.85e-4, 3.5e-5, absent), "", {{1.5e-4, 4.1}, {3.175e-4, 4.6}, {1.175e-4, 4.2}}},
        // The file's loss tangents: the substrate's and the mask's; sublayers of one permittivity
        // but two loss tangents two dielectrics.
        Mapping{"LossTangentsOfTheFile", with(with(fourLayers, "(epsilon_r 3.3))", "(epsilon_r 3.3) (loss_tangent 0.025))"), "(thickness 0.2) (epsilon_r 4.3)", "(thickness 0.2) (epsilon_r 4.3) (loss_tangent 0.02)"), {"In1.Cu", "In2.Cu"}, "F.Cu", {}, lossy(microstrip(2e-4, 3.5e-5, 4.3, 1e-5, 3.3), 0.02, absent, 0.025), ""},
        Mapping{"SublayersOfTwoLossTangents", with(with(sixLayers, "(thickness 0.3) (epsilon_r 4.6))\n      (layer \"In2.Cu\"", "(thickness 0.3) (epsilon_r 4.6) (loss_tangent 0.015))\n      (layer \"In2.Cu\""), "addsublayer (thickness 0.075) (epsilon_r 4.1)", "(loss_tangent 0.02) addsublayer (thickness 0.075) (epsilon_r 4.1) (loss_tangent 0.004)"), {"In1.Cu", "In3.Cu", "B.Cu"}, "In2.Cu", {}, lossy(stripline(3e-4, 1.75e-5, 3e-4 + 1.75e-5 + 1.5e-4, 4.6, 4.1), 0.015, absent), "", {{3e-4, 4.6, 0.015}, {7.5e-5 + 1.75e-5, 4.1, 0.02}, {7.5e-5, 4.1, 0.004}}}),
    [](const ::testing::TestParamInfo<Mapping>& info) { return std::string(info.param.name); });

// --- the tables of real boards ---

// A quantity's value and bar in a JSON report: "impedance": {"value": 50.1, "error": 4e-07}.
std::pair<double, double> jsonQuantity(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\": {\"value\": ");
    if (at == std::string::npos) return {NAN, NAN};
    const char* value = json.c_str() + json.find("\"value\": ", at) + 9;
    const char* error = json.c_str() + json.find("\"error\": ", at) + 9;
    return {std::strtod(value, nullptr), std::strtod(error, nullptr)};
}

struct RealBoard {
    const char* name;
    const char* file;
    std::vector<std::string> arguments;
    std::size_t rows;
    // --freq and the loss options, given to the table and to each forward run alike.
    std::vector<std::string> losses = {};
    // A stack of entries as board() takes them, the board read instead of `file`.
    std::string stack = {};
};

// A failing case is named, not dumped as bytes.
void PrintTo(const RealBoard& c, std::ostream* os) { *os << c.name; }

class RealBoardTable : public ::testing::TestWithParam<RealBoard> {};

// Each width (and gap) as solved, run forward as its structure, gives the target within the
// impedance's bar; the rules file holds it for its layer and net class to KiCad's 1 nm; where the
// stripline is of one permittivity all through, Z ∝ 1/√εr makes the permittivity column exact:
// Z·(1/√(1 + tol) − 1/√(1 − tol))/2. With --freq, the row's loss is the forward run's (a pair's
// odd mode's) within the two bars, wherever the structure's columns hold each loss tangent; a
// loss tangent 0 in the file leaves no dielectric loss.
TEST_P(RealBoardTable, EverySolvedWidthGivesItsTargetInAForwardRunWithinItsBar) {
    const RealBoard& b = GetParam();
    const ScratchDir dir;
    if (!b.stack.empty()) dir.write("b.kicad_pcb", board(b.stack, ""));
    std::vector<std::string> arguments = {"stackup", b.stack.empty() ? boards + "/" + b.file : "b.kicad_pcb", "--csv",
                                          "--rules", "rules.kicad_dru"};
    arguments.insert(arguments.end(), b.arguments.begin(), b.arguments.end());
    arguments.insert(arguments.end(), b.losses.begin(), b.losses.end());
    const ProgramRun r = runProgram(lines, dir.path(), arguments);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<CsvRecord> csv = testing::readCsv(r.out);
    ASSERT_EQ(csv.size(), b.rows + 1) << r.out;
    std::map<std::string, std::size_t> column;
    for (std::size_t c = 0; c < csv[0].cells.size(); ++c) column[csv[0].cells[c]] = c;
    // The rules file is a sequence of lists: read as the items of one.
    std::string listed = "(";
    listed += dir.read("rules.kicad_dru");
    const SExpr rules = readSExpr(listed + ")", "rules.kicad_dru");

    std::map<std::string, std::string> runs;  // by arguments: each forward run once, its JSON
    const auto forward = [&](const std::string& arguments) -> const std::string& {
        if (!runs.count(arguments)) {
            std::istringstream words(arguments + " --json");
            std::vector<std::string> list;
            for (std::string w; words >> w;) list.push_back(w);
            const ProgramRun f = runProgram(lines, dir.path(), list);
            EXPECT_EQ(f.exitStatus, 0) << arguments << ": " << f.err;
            runs[arguments] = f.out;
        }
        return runs[arguments];
    };
    std::size_t lossesCompared = 0;
    for (std::size_t k = 1; k < csv.size(); ++k) {
        const std::vector<std::string>& row = csv[k].cells;
        const auto cell = [&](const char* name) { return row[column.at(name)]; };
        ASSERT_EQ(cell("error"), "") << k;
        const bool pair = cell("quantity") == "differentialImpedance";
        std::string structure = cell("structure") + " --w " + cell("width") + "m";
        if (pair) structure += " --s " + cell("gap") + "m";
        // The columns and the options they set, lengths in metres.
        const struct {
            const char *column, *option, *unit;
        } options[] = {{"h", " --h ", "m"},   {"b", " --b ", "m"},       {"t", " --t ", "m"},        {"mask", " --mask ", "m"},
                       {"er", " --er ", ""}, {"er_top", " --er-top ", ""}, {"mask_er", " --mask-er ", ""}};
        for (const auto& o : options)
            if (!cell(o.column).empty()) structure += o.option + cell(o.column) + o.unit;
        const auto [z, bar] = jsonQuantity(forward(structure), cell("quantity"));
        const double target = std::stod(cell("target"));
        EXPECT_LE(std::fabs(z - target), bar) << structure;
        if (cell("structure") == "stripline" && cell("er") == cell("er_top")) {
            const double exact = target * (1 / std::sqrt(1.05) - 1 / std::sqrt(0.95)) / 2;
            EXPECT_NEAR(std::stod(cell("permittivityChange")), exact, 1e-6 * target) << structure;
        }
        // The loss tangents: each the structure has, or the row's loss is not one a structure gives.
        const bool lossy = !b.losses.empty() && !cell("tand").empty() &&
                           (cell("structure") != "stripline" || !cell("tand_top").empty()) &&
                           (cell("mask").empty() || !cell("mask_tand").empty());
        if (lossy) {
            std::string losses = structure;
            for (const auto& [column, option] : {std::pair{"tand", " --tand "}, {"tand_top", " --tand-top "}, {"mask_tand", " --mask-tand "}})
                if (!cell(column).empty()) losses += option + cell(column);
            for (const std::string& l : b.losses) losses += " " + l;
            const std::string& json = forward(losses);
            const auto [alpha, alphaBar] = jsonQuantity(json, pair ? "oddModeAttenuation" : "attenuation");
            EXPECT_LE(std::fabs(std::stod(cell("attenuation")) - alpha), std::stod(cell("attenuationError")) + alphaBar)
                << losses;
            bool none = true;
            for (const char* column : {"tand", "tand_top", "mask_tand"})
                none = none && (cell(column).empty() || std::stod(cell(column)) == 0);
            const double dielectric = jsonQuantity(json, pair ? "oddModeDielectricAttenuation" : "dielectricAttenuation").first;
            EXPECT_EQ(dielectric > 0, !none) << losses;
            ++lossesCompared;
        }

        const std::string name = (pair ? "Zdiff" : "Z") + cell("target") + " " + cell("layer");
        const SExpr* rule = nullptr;
        for (const SExpr& item : rules.items)
            if (item.head() == "rule" && item.items[1].text == name) rule = &item;
        ASSERT_NE(rule, nullptr) << name;
        EXPECT_EQ(rule->child("layer")->items[1].text, cell("layer"));
        for (const SExpr& constraint : rule->items) {
            if (constraint.head() != "constraint") continue;
            const double metres = std::stod(cell(constraint.items[1].text == "track_width" ? "width" : "gap"));
            for (std::size_t c = 2; c < constraint.items.size(); ++c)
                EXPECT_NEAR(std::stod(constraint.items[c].items[1].text), metres * 1000, 5e-7) << name;
        }
    }
    if (!b.losses.empty()) {
        EXPECT_GT(lossesCompared, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stackup, RealBoardTable,
    ::testing::Values(RealBoard{"JlcpcbFourLayers", "jlcpcb-jlc7628-4-layer.kicad_pcb", {}, 6},
                      // Loss tangents 0 under F.Cu, 0.02 under B.Cu.
                      RealBoard{"AntmicroCsiAdapter", "antmicro-jetson-agx-csi-adapter.kicad_pcb", {"--mask-er", "3.8", "--gap", "0.15mm"}, 6, {"--freq", "5GHz"}},
                      RealBoard{"AntmicroOrinBaseboard", "antmicro-jetson-orin-baseboard.kicad_pcb",
                                {"--planes", "In1.Cu,In3.Cu,In4.Cu,In6.Cu", "--mask-er", "3.8", "--gap", "0.2mm"}, 12},
                      // Striplines of a loss tangent each side (In4.Cu's core 0), rough copper; F.Cu bare over 0.
                      RealBoard{"LossyStriplines", "", {"--planes", "In1.Cu,In3.Cu,B.Cu", "--zdiff", "100", "--gap", "0.2mm"}, 6,
                                {"--freq", "2.4GHz", "--roughness", "huray", "--rz", "4um"},
                                with(with(with(with(sixLayers, "(thickness 0.3) (epsilon_r 4.6))", "(thickness 0.3) (epsilon_r 4.6) (loss_tangent 0.015))"),
                                               "(epsilon_r 4.1)\n", "(epsilon_r 4.1) (loss_tangent 0.02)\n"),
                                          "(epsilon_r 4.1) addsublayer (thickness 0)", "(epsilon_r 4.1) (loss_tangent 0.02) addsublayer (thickness 0)"),
                                     "(epsilon_r 4.4)", "(epsilon_r 4.4) (loss_tangent 0.025)")}),
    [](const ::testing::TestParamInfo<RealBoard>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plattor
