#include "solver/ladder.hpp"

#include <algorithm>
#include <cmath>

namespace plattor {

namespace {

// The rungs: order 4 + k, the innermost layer at a corner 0.077·16^−(1 + k) of the corner's size
// (a quarter of the previous layer in the parameter, 1/16 in distance, per rung). On boards of
// thick traces under a mask, coplanar grounds and two-layer striplines the third rung lies
// within 1e−7 of solutions at order 10 with layers 16^−3 times deeper, and the change from the
// rung before exceeds that.
constexpr int rungs = 7;
// Every arrangement climbs three rungs; one whose mode capacitances still move by more than
// this from rung to rung climbs on, while the next rung's systems stay within the budget.
constexpr double climbAbove = 1e-6;
// A last change below this part of the one before it is suspected to be a crossing. Over the
// rungs, each an order higher, changes shrink by 0.05 … 0.3 where they converge steadily.
constexpr double crossing = 1.0 / 30;
constexpr std::size_t unknownsBudget = 1400;

std::vector<MeshLevel> makeLevels() {
    std::vector<MeshLevel> levels;
    for (int k = 0; k < rungs; ++k)
        levels.push_back({static_cast<std::size_t>(4 + k), 0.077 * std::pow(16.0, -(1 + k))});
    return levels;
}

// Whether the last three solutions leave a mode capacitance unsettled: still moving by more
// than climbAbove of itself, or its last change so far below the one before that the two
// rungs may agree by chance (a crossing), which one more rung tells.
bool unsettled(const std::vector<LevelSolution>& s) {
    const std::size_t n = s.size();
    bool open = false;
    const auto consider = [&](auto member, bool vacuum) {
        const auto at = [&](std::size_t k) { return (vacuum ? s[k].vacuumModes : s[k].modes).*member; };
        const double v = at(n - 1);
        if (std::isnan(v)) return;
        const double coarse = std::fabs(at(n - 2) - at(n - 3)), fine = std::fabs(v - at(n - 2));
        const double floor = 1e-12 * std::fabs(v);  // the rounding under any change
        open = open || observedChange(at(n - 3), at(n - 2), v) > climbAbove * std::fabs(v) ||
               (fine < coarse * crossing && coarse > floor);
    };
    for (const bool vacuum : {false, true}) {
        consider(&ModeCapacitances::even, vacuum);
        consider(&ModeCapacitances::odd, vacuum);
    }
    return open;
}

}  // namespace

const std::vector<MeshLevel>& ladderLevels() {
    static const std::vector<MeshLevel> levels = makeLevels();
    return levels;
}

std::vector<LevelSolution> solveLadder(const CrossSection& section) {
    std::vector<LevelSolution> solutions;
    const bool dielectric = section.hasDielectric();
    const CrossSection vacuum = dielectric ? section.inVacuum() : CrossSection();
    for (const MeshLevel& level : ladderLevels()) {
        const Mesh mesh = meshCrossSection(section, level);
        if (solutions.size() >= 3 && (!unsettled(solutions) || mesh.unknowns() > unknownsBudget)) break;
        LevelSolution s{level, mesh.panels.size(), mesh.unknowns(), mesh.panels.size(), mesh.unknowns(),
                        modeCapacitances(section, mesh), {}};
        if (dielectric) {
            const Mesh vacuumMesh = meshCrossSection(vacuum, level);
            s.vacuumPanels = vacuumMesh.panels.size();
            s.vacuumUnknowns = vacuumMesh.unknowns();
            s.vacuumModes = modeCapacitances(vacuum, vacuumMesh);
        } else {
            s.vacuumModes = s.modes;
        }
        solutions.push_back(s);
    }
    return solutions;
}

double observedChange(double v0, double v1, double v2) {
    const double coarse = std::fabs(v1 - v0);
    const double fine = std::fabs(v2 - v1);
    return fine < coarse ? std::max(fine, crossing * coarse) : fine + coarse;
}

}  // namespace plattor
