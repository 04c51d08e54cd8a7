// Boards of round conductors whose capacitances are known exactly, solved through the one
// board-to-section path: mirrored and not, one signal and several.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace plattor
