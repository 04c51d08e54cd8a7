// Boards through the one board-to-section path, mirrored and not, one signal and several: round
// conductors whose capacitances are known exactly, and boards that physics says are equal.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "lines/board_solution.hpp"
#include "physics/constants.hpp"
#include "section/board_section.hpp"
#include "solver/ladder.hpp"

namespace plattor {
namespace {

constexpr double pi = std::numbers::pi;

BoardConductor circle(const char* name, bool signal, double x, double y, double radius, double inner = 0.0) {
    BoardConductor c;
    c.name = name;
    c.signal = signal;
    c.shape = ConductorShape::circle;
    c.x = x, c.y = y, c.radius = radius, c.innerRadius = inner;
    return c;
}

// A board and the exact Maxwell matrix of its signals, F/m.
struct ExactBoard {
    std::string name;
    Board board;
    std::vector<double> maxwell;
};

// Coaxial lines: an inner wire of radius a in a tube of inner radius b, C = 2πε/ln(b/a), each
// shielded from every other; a filling by a layer that holds the whole tube.
Board coaxes(const std::vector<std::array<double, 4>>& lines, double er) {  // x, y, a, b
    Board board;
    board.bottomPlane = false;
    if (er != 1) board.layers.push_back({"fill", 100.0, er});
    for (const auto& [x, y, a, b] : lines) board.conductors.push_back(circle("inner", true, x, y, a));
    for (const auto& [x, y, a, b] : lines) board.conductors.push_back(circle("tube", false, x, y, 1.25 * b, b));
    return board;
}

double coax(double a, double b, double er) { return 2 * pi * vacuumPermittivity * er / std::log(b / a); }

std::vector<ExactBoard> exactBoards() {
    std::vector<ExactBoard> boards;
    // Mirrored about x = 0, and not.
    boards.push_back({"CoaxCentred", coaxes({{0, 50, 0.37, 1.3}}, 1), {coax(0.37, 1.3, 1)}});
    boards.push_back({"CoaxFilled", coaxes({{0.21, 47.3, 0.37, 1.3}}, 3.7), {coax(0.37, 1.3, 3.7)}});
    // Two and three signals, each in its own tube: a diagonal Maxwell matrix.
    boards.push_back({"TwoCoaxesMirrored", coaxes({{-3.1, 50, 0.4, 1.1}, {3.1, 50, 0.4, 1.1}}, 2.2),
                      {coax(0.4, 1.1, 2.2), 0, 0, coax(0.4, 1.1, 2.2)}});
    boards.push_back({"ThreeCoaxes", coaxes({{-3.1, 50, 0.4, 1.1}, {0.2, 51, 0.13, 0.7}, {4.4, 49, 0.9, 1.5}}, 1),
                      {coax(0.4, 1.1, 1), 0, 0, 0, coax(0.13, 0.7, 1), 0, 0, 0, coax(0.9, 1.5, 1)}});
    // Two wires of radius a, centres D apart: C = πε0/acosh(D/2a); one of them the ground.
    {
        Board b;
        b.bottomPlane = false;
        b.conductors = {circle("wire", true, 0.3, 0.2, 0.45), circle("return", false, 2.7, 0.2, 0.45)};
        boards.push_back({"TwoWires", b, {pi * vacuumPermittivity / std::acosh(2.4 / 0.9)}});
    }
    // A wire of radius a with its centre h over a plane: C = 2πε0/acosh(h/a).
    for (const double x : {0.0, 0.37}) {
        Board b;
        b.conductors = {circle("wire", true, x, 0.8, 0.3)};
        boards.push_back({x == 0 ? "WireOverPlane" : "WireOverPlaneOffCentre", b,
                          {2 * pi * vacuumPermittivity / std::acosh(0.8 / 0.3)}});
    }
    return boards;
}

// A failing case is named, not dumped as bytes.
void PrintTo(const ExactBoard& b, std::ostream* os) { *os << b.name; }

class ExactBoards : public testing::TestWithParam<ExactBoard> {};

TEST_P(ExactBoards, MaxwellMatrixEqualsTheClosedForm) {
    const ExactBoard& exact = GetParam();
    const CrossSection section = boardSection(exact.board);
    const Ladder ladder = solveLadder(section);
    const LevelSolution& finest = ladder.levels.back();
    const std::size_t n = exact.board.signalCount();
    std::vector<double> solved = finest.maxwell;
    if (n == 1) solved = {finest.modes.even};
    ASSERT_EQ(solved.size(), n * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            const double scale = std::sqrt(exact.maxwell[i * n + i] * exact.maxwell[j * n + j]);
            EXPECT_NEAR(solved[i * n + j], exact.maxwell[i * n + j], 1e-9 * scale) << i << "," << j;
        }
}

INSTANTIATE_TEST_SUITE_P(Boards, ExactBoards, testing::ValuesIn(exactBoards()),
                         [](const auto& info) { return info.param.name; });

BoardConductor trace(const char* name, bool signal, double x, double y, double w, double t, double wTop = 0) {
    BoardConductor c;
    c.name = name;
    c.signal = signal;
    c.x = x, c.y = y, c.bottomWidth = w, c.topWidth = wTop > 0 ? wTop : w, c.thickness = t;
    return c;
}

// Every signal's capacitance to the rest (its Maxwell row) and the coupling between the first two,
// with and without the dielectrics, each with its bar.
struct Reading {
    double value, error;
};
std::vector<Reading> readings(const Board& board) {
    const BoardSolution s = solveBoard(board);
    std::vector<Reading> out;
    if (s.conductors) {
        for (const auto& e : s.conductors->capacitance) out.push_back({e.value, e.error});
        for (const auto& e : s.conductors->capacitanceInAir) out.push_back({e.value, e.error});
        return out;
    }
    for (const Quantity q : {Quantity::capacitance, Quantity::capacitanceInAir, Quantity::maxwell11,
                             Quantity::maxwell12, Quantity::maxwell11InAir, Quantity::maxwell12InAir})
        if (s.line.value.applies(q)) out.push_back({s.line.value[q], s.line.error[q]});
    return out;
}

// Two descriptions of one physical board, or of boards equal by physics.
struct Equivalent {
    std::string name;
    Board first, second;
};

Board withLayers(std::vector<BoardLayer> layers, std::vector<BoardConductor> conductors, bool top = false) {
    Board b;
    b.layers = std::move(layers);
    b.conductors = std::move(conductors);
    b.topPlane = top;
    return b;
}

Board scaled(Board b, double k) {
    for (BoardLayer& l : b.layers) {
        l.thickness *= k, l.planeHeight *= k, l.planeThickness *= k;
        for (auto& [x0, x1] : l.cutouts) x0 *= k, x1 *= k;
    }
    for (BoardConductor& c : b.conductors) {
        c.x *= k, c.y *= k, c.bottomWidth *= k, c.topWidth *= k, c.thickness *= k, c.radius *= k, c.innerRadius *= k;
        for (Point& p : c.points) p *= k;
    }
    for (BoardCoating& c : b.coating) c.thickness *= k, c.thicknessOver *= k;
    return b;
}

Board shifted(Board b, double dx) {
    for (BoardLayer& l : b.layers)
        for (auto& [x0, x1] : l.cutouts) x0 += dx, x1 += dx;
    for (BoardConductor& c : b.conductors) {
        c.x += dx;
        for (Point& p : c.points) p += dx;
    }
    return b;
}

std::vector<Equivalent> equivalents() {
    std::vector<Equivalent> e;
    // A masked pair of thick trapezoids on a substrate, mirrored about x = 0 and, shifted by an
    // awkward length, solved whole: the same values.
    Board pair = withLayers({{"substrate", 0.1, 4.3}}, {trace("p", true, -0.11, 0.1, 0.13, 0.035, 0.1),
                                                       trace("n", true, 0.11, 0.1, 0.13, 0.035, 0.1)});
    pair.coating.push_back({0.02, 0.015, 3.5});
    e.push_back({"ShiftedOffTheMirror", pair, shifted(pair, 0.37)});
    // The same in other units: nothing depends on the length unit.
    e.push_back({"ScaledByAnAwkwardFactor", pair, scaled(pair, 0.0254 / 3)});
    // Marked as a differential pair (the modes of a line) or not (two signals): one Maxwell matrix.
    Board marked = pair;
    marked.pairs = {{0, 1}};
    e.push_back({"PairOrTwoSignals", marked, pair});
    // A layer split in two of one permittivity is one layer.
    e.push_back({"SplitLayer",
                 withLayers({{"core", 0.2, 4.6}, {"prepreg", 0.15, 3.9}}, {trace("s", true, 0.05, 0.2, 0.12, 0.018)}, true),
                 withLayers({{"core", 0.07, 4.6}, {"core", 0.13, 4.6}, {"prepreg", 0.15, 3.9}},
                            {trace("s", true, 0.05, 0.2, 0.12, 0.018)}, true)});
    // A plane on a layer's bottom face shields the layers below it: the trace sees a board whose
    // bottom plane is that plane.
    {
        Board shielded = withLayers({{"below", 0.17, 2.2}, {"core", 0.1, 4.3}}, {trace("s", true, 0, 0.27, 0.1, 0.02)});
        shielded.layers[1].plane = true;
        shielded.bottomPlane = false;
        e.push_back({"PlaneInALayer", shielded, withLayers({{"core", 0.1, 4.3}}, {trace("s", true, 0, 0.1, 0.1, 0.02)})});
    }
    // Between two planes traces 30 spacings apart do not see each other (e^(−π·30)): each is the
    // single trace, the couplings nothing.
    {
        const auto bus = [](std::vector<double> xs) {
            std::vector<BoardConductor> c;
            for (const double x : xs) c.push_back(trace("t", true, x, 0.2, 0.12, 0.018));
            return withLayers({{"core", 0.2, 4.6}, {"prepreg", 0.15, 3.9}}, c, true);
        };
        Board far = bus({-10.5, 0.2, 11.3});
        Board singles = bus({0.2});
        // The single trace's capacitance and the zeros of a diagonal matrix, in the bus's order.
        e.push_back({"BusFarApart", far, far});
        e.back().second = singles;
    }
    // Three traces in one laminate, whose vacuum is solved by the dielectric's own systems, and
    // in two laminates 1e−9 apart in permittivity, an interface solved as on any board.
    {
        const std::vector<BoardConductor> bus = {trace("a", true, -0.31, 0.2, 0.12, 0.018),
                                                 trace("b", true, 0.05, 0.2, 0.1, 0.018),
                                                 trace("c", true, 0.43, 0.2, 0.12, 0.018)};
        e.push_back({"OneLaminateOrTwoAlike", withLayers({{"core", 0.2, 4.6}, {"prepreg", 0.15, 4.6}}, bus, true),
                     withLayers({{"core", 0.2, 4.6}, {"prepreg", 0.15, 4.6 * (1 + 1e-9)}}, bus, true)});
    }
    return e;
}

void PrintTo(const Equivalent& e, std::ostream* os) { *os << e.name; }

class EquivalentCrossSections : public testing::TestWithParam<Equivalent> {};

TEST_P(EquivalentCrossSections, AgreeWithinTheirBars) {
    const Equivalent& e = GetParam();
    const std::vector<Reading> a = readings(e.first), b = readings(e.second);
    if (e.first.signalCount() == 3 && e.second.signalCount() == 1) {
        // Three far-apart traces against one: the diagonal against the single trace, the rest 0.
        ASSERT_EQ(a.size(), 18u);
        ASSERT_EQ(b.size(), 2u);
        for (std::size_t m = 0; m < 2; ++m)
            for (std::size_t i = 0; i < 3; ++i)
                for (std::size_t j = 0; j < 3; ++j) {
                    const Reading& r = a[9 * m + 3 * i + j];
                    const Reading expected = i == j ? b[m] : Reading{0, 0};
                    EXPECT_LE(std::fabs(r.value - expected.value), r.error + expected.error + 1e-15 * b[m].value)
                        << m << " " << i << j;
                }
        return;
    }
    // A pair solved as a line reports C11, C12 (two of the four entries) with and without the
    // dielectrics; as two signals the whole matrices.
    std::vector<Reading> x = a, y = b;
    const auto asLine = [](const std::vector<Reading>& m) {
        return std::vector<Reading>{m[0], m[1], m[4], m[5]};
    };
    if (x.size() == 8 && y.size() == 4) x = asLine(x);
    if (y.size() == 8 && x.size() == 4) y = asLine(y);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
        EXPECT_LE(std::fabs(x[k].value - y[k].value), x[k].error + y[k].error) << k;
        EXPECT_LE(x[k].error, 1e-5 * std::fabs(x[0].value)) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, EquivalentCrossSections, testing::ValuesIn(equivalents()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace plattor
