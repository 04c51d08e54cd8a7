#include "solver/ladder.hpp"

#include <algorithm>
#include <cmath>

namespace plattor {

namespace {

// Orders 4, 5, 6; the innermost layer at a corner 0.077·16^−(1 + level) of the corner's size
// (a quarter of the previous layer in the parameter, 1/16 in distance, per level). On boards of
// thick traces under a mask, coplanar grounds and two-layer striplines the last level lies
// within 1e−7 of solutions at order 10 with layers 16^−3 times deeper, and the change from the
// level before exceeds that: the ladder's bar holds with these, at a third of the unknowns of
// orders 6, 8, 10.
std::vector<MeshLevel> makeLevels() {
    std::vector<MeshLevel> levels;
    for (int level = 0; level < 3; ++level)
        levels.push_back({static_cast<std::size_t>(4 + level), 0.077 * std::pow(16.0, -(1 + level))});
    return levels;
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
    return fine < coarse ? std::max(fine, 1e-3 * coarse) : fine + coarse;
}

}  // namespace plattor
