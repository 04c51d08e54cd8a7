#include "solver/ladder.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "base/error.hpp"
#include "solver/interrupt.hpp"

namespace plattor {

namespace {

// The rungs: order 4 + k, the innermost layer at a corner 0.077·16^−(1 + k) of the corner's size
// (a quarter of the previous layer in the parameter, 1/16 in distance, per rung). On boards of
// thick traces under a mask, coplanar grounds and two-layer striplines the third rung lies
// within 1e−7 of solutions at order 10 with layers 16^−3 times deeper, and the change from the
// rung before exceeds that.
constexpr int rungs = 7;
// Every arrangement climbs three rungs; one whose mode capacitances still move by more than
// climbAbove from rung to rung climbs on, while the next rung's systems stay within the budget;
// and where the next rung is small (a few panels of thin strips), on to climbAboveSmall (with
// layers towards corners or an interface only to the floor of the bars: they claim nothing
// below it).
constexpr double climbAbove = 1e-6;
constexpr double climbAboveSmall = 1e-9;
constexpr std::size_t smallUnknowns = 400;
// A last change below this part of the one before it is suspected to be a crossing. Over the
// rungs, each an order higher, changes shrink by 0.05 … 0.3 where they converge steadily.
constexpr double crossing = 1.0 / 30;
// Changes that do not at least halve from rung to rung count as not shrinking: the ladder is not
// yet where they shrink steadily, and the next change may be as large as the last. (A thin mask
// over a coplanar line with narrow grounds moved by −2.1e−6 and then +1.4e−6 of itself, and its
// last value still lay 1.5e−6 off.)
constexpr double shrinking = 0.5;
// (A coplanar pair of traces thicker than wide under a mask still moved by 1.3e−6 at 1198
// unknowns; its next rung of 1463 settles it, where at 1400 its bar, both changes, was 1.3e−5.)
constexpr std::size_t unknownsBudget = 1600;
// A climb that carries losses may go on to this: a loss in a thin mask settles more slowly than
// the capacitances, and its bar should stay within 1e−5.
constexpr std::size_t lossUnknownsBudget = 2000;
// No rung, the first three included, is solved with more unknowns than this: a dense system of
// 3200 takes 82 MB, the run about 160 MB at most. The mesh grows with the logarithm of the
// ratios the range check admits; the most seen is 2764 at the third rung, a coplanar line under
// a mask 3.6e-5 of the traces' thickness over grounds 2.6e-4 of it wide (every face with a
// mask face beside it). A rung beyond this is a fault of the mesh, refused rather than allowed
// to take minutes and gigabytes.
constexpr std::size_t unknownsLimit = 3200;

std::vector<MeshLevel> makeLevels() {
    std::vector<MeshLevel> levels;
    for (int k = 0; k < rungs; ++k)
        levels.push_back({static_cast<std::size_t>(4 + k), 0.077 * std::pow(16.0, -(1 + k))});
    return levels;
}

// Each capacitance of the last three rungs, with the dielectrics or in vacuum: f(v0, v1, v2,
// scale, own), `scale` its own size, or for a Maxwell matrix's off-diagonal entry the geometric
// mean of its diagonal entries (a weak coupling need not settle to 1e−6 of itself), `own` where
// the scale is the capacitance's own size (a mode capacitance or a diagonal entry).
template <typename F>
void forEachCapacitance(const std::vector<LevelSolution>& s, bool vacuum, F f) {
    const std::size_t n = s.size();
    for (const auto member : {&ModeCapacitances::even, &ModeCapacitances::odd}) {
        const auto at = [&](std::size_t k) { return (vacuum ? s[k].vacuumModes : s[k].modes).*member; };
        if (!std::isnan(at(n - 1))) f(at(n - 3), at(n - 2), at(n - 1), std::fabs(at(n - 1)), true);
    }
    const auto matrix = [&](std::size_t k) -> const std::vector<double>& {
        return vacuum ? s[k].vacuumMaxwell : s[k].maxwell;
    };
    const std::size_t size = static_cast<std::size_t>(std::lround(std::sqrt(matrix(n - 1).size())));
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j) {
            const std::size_t e = i * size + j;
            f(matrix(n - 3)[e], matrix(n - 2)[e], matrix(n - 1)[e],
              std::sqrt(matrix(n - 1)[i * size + i] * matrix(n - 1)[j * size + j]), i == j);
        }
}

// Whether the last three solutions leave a mode capacitance unsettled: still moving by more
// than climbAbove of itself, or its last change so far below the one before that the two
// rungs may agree by chance (a crossing), which one more rung tells.
bool unsettled(const std::vector<LevelSolution>& s, double target, bool crossings = true, bool losses = true) {
    const std::size_t n = s.size();
    bool open = false;
    // The last three values of one quantity, judged against `scale` (forEachCapacitance); 1e−12
    // of the scale is the rounding under any change.
    const auto judge = [&](double v0, double v1, double v2, double scale) {
        const double coarse = std::fabs(v1 - v0), fine = std::fabs(v2 - v1);
        open = open || observedChange(v0, v1, v2) > target * scale ||
               (crossings && fine < coarse * crossing && coarse > 1e-12 * scale);
    };
    for (const bool vacuum : {false, true}) {
        forEachCapacitance(s, vacuum, [&](double v0, double v1, double v2, double scale, bool) {
            judge(v0, v1, v2, scale);
        });
        // The losses and the skin integrals against themselves, to ten times the target: a
        // loss in a thin mask, or the squared charge towards corners (by 16^(−1/3) a rung),
        // converges more slowly than the capacitances, and their bars need only 1e−5. They
        // decide the climb, not whether it settled: their bars are their last changes either way.
        const auto own = [&](double v0, double v1, double v2, double scale) {
            if (losses && std::isfinite(v2)) judge(v0, v1, v2, scale * std::fabs(v2));
        };
        if (vacuum) {
            own(s[n - 3].skin.even, s[n - 2].skin.even, s[n - 1].skin.even, 10);
            own(s[n - 3].skin.odd, s[n - 2].skin.odd, s[n - 1].skin.odd, 10);
        } else {
            for (std::size_t m = 0; m < s[n - 1].lossy.size(); ++m)
                for (const auto member : {&ComplexModes::even, &ComplexModes::odd}) {
                    const auto at = [&](std::size_t k) { return (s[k].lossy[m].*member).imag(); };
                    if (at(n - 1) != 0) own(-at(n - 3), -at(n - 2), -at(n - 1), 10);
                }
        }
    }
    return open;
}

// The largest change of the last three rungs' mode capacitances (or Maxwell matrix's diagonal)
// by the bar's measure, relative to themselves.
double largestChange(const std::vector<LevelSolution>& s) {
    double largest = 0.0;
    forEachCapacitance(s, false, [&](double v0, double v1, double v2, double scale, bool own) {
        if (own) largest = std::max(largest, observedChange(v0, v1, v2) / scale);
    });
    return largest;
}

}  // namespace

const std::vector<MeshLevel>& ladderLevels() {
    static const std::vector<MeshLevel> levels = makeLevels();
    return levels;
}

Ladder solveLadder(const CrossSection& section, const std::vector<FaceMedia>& media, bool skin) {
    // A board of many conductors may simply be too large for dense systems: told before any work
    // from the third rung's mesh, which every cross-section climbs to.
    if (const std::size_t third = section.signals().empty() ? 0 : meshCrossSection(section, ladderLevels()[2]).unknowns();
        third > unknownsLimit)
        throw RunError("the cross-section is too large for the solver: its mesh needs " + std::to_string(third) +
                       " unknowns at order " + std::to_string(ladderLevels()[2].order) + ", beyond the limit of " +
                       std::to_string(unknownsLimit) + " (82 MB a system); fewer conductors, or thinner ones, "
                       "need fewer");
    // Whether the error has a part besides the panels' order, with the dielectrics and in vacuum:
    // a rung's mesh grades layers towards a corner, or an interface lies beside the conductors.
    bool twoScales[2] = {false, false};
    const auto floorOf = [&twoScales](bool vacuum) { return twoScales[vacuum] ? twoScalesFloor : orderFloor; };
    for (std::size_t face = 0; face < section.faces.size(); ++face)
        twoScales[false] = twoScales[false] || section.isInterface(face);
    // Whether a ladder climbs to the rung of `mesh`: its first three, and on while its
    // capacitances still move by more than their target (a floor the caller sets, at least) and
    // the rung's systems stay within the budget.
    const auto climbsTo = [&](const std::vector<LevelSolution>& solutions, const Mesh& mesh, const MeshLevel& level,
                              bool vacuum, double floor) {
        twoScales[vacuum] = twoScales[vacuum] || mesh.layered();
        // A small system whose bars have the floor of two scales climbs on only to that floor.
        const double small = twoScales[vacuum] ? twoScalesFloor : climbAboveSmall;
        const double target = std::max(mesh.unknowns() <= smallUnknowns ? small : climbAbove, floor);
        const std::size_t budget = media.empty() && !skin ? unknownsBudget : lossUnknownsBudget;
        if (solutions.size() >= 3 && (!unsettled(solutions, target) || mesh.unknowns() > budget)) return false;
        if (mesh.unknowns() > unknownsLimit)
            throw RunError("the cross-section's mesh needs " + std::to_string(mesh.unknowns()) + " unknowns at order " +
                           std::to_string(level.order) + ", beyond the solver's limit of " +
                           std::to_string(unknownsLimit) + "; this is a fault of the mesh: please report the input");
        return true;
    };
    // One rung of a ladder, with the dielectrics (and their media) or in vacuum (with the skin
    // integrals); `both` where the arrangement is its own vacuum.
    const auto rung = [&](const CrossSection& s, const Mesh& mesh, const MeshLevel& level, bool vacuum, bool both) {
        const bool signals = !s.signals().empty();
        const double none = std::numeric_limits<double>::quiet_NaN();
        ModeSolution modes{{none, none}, {}, {none, none}};
        if (!signals) modes = solveModes(s, mesh, vacuum ? std::vector<FaceMedia>{} : media, (vacuum || both) && skin);
        const std::vector<double> maxwell = signals ? maxwellMatrix(s, mesh) : std::vector<double>{};
        return LevelSolution{level, level, mesh.panels.size(), mesh.unknowns(), mesh.panels.size(), mesh.unknowns(),
                             vacuum ? ModeCapacitances{} : modes.modes, modes.modes,
                             vacuum ? std::vector<double>{} : maxwell, maxwell, std::move(modes.lossy), modes.skin};
    };
    // In vacuum, or in one dielectric about every conductor and no interface, the vacuum's systems
    // are the arrangement's own: the same charges, every capacitance in vacuum 1/ε of the
    // arrangement's (and the skin integrals, of the charges alone, the same).
    if (const double uniform = section.hasDielectric() ? section.uniformPermittivity() : 1.0; uniform != 0) {
        std::vector<LevelSolution> solutions;
        for (const MeshLevel& level : ladderLevels()) {
            checkInterrupt();
            const Mesh mesh = meshCrossSection(section, level);
            if (!climbsTo(solutions, mesh, level, false, 0.0)) break;
            solutions.push_back(rung(section, mesh, level, false, true));
        }
        for (LevelSolution& s : solutions) {
            s.vacuumModes = {s.modes.even / uniform, s.modes.odd / uniform};
            for (double& c : s.vacuumMaxwell) c /= uniform;
        }
        const bool settled = !unsettled(solutions, climbAbove, false, false);
        return {std::move(solutions), settled, {floorOf(false), floorOf(false)}};
    }
    // Where the conductors have corners of their own, the vacuum climbs the dielectric's rungs
    // on the conductors' panels of each (conductorMesh): its systems are the leading blocks of
    // the dielectric's, factored with them, and both have the error of layers towards corners.
    // Thin conductors (no corner in vacuum) climb a ladder of their own in vacuum: a few panels
    // a rung that converge by their order alone, where the dielectric's grade towards the
    // interfaces' corners. Where the dielectric's climb has ended, the vacuum's may go on alone:
    // every quantity but those in air is as good as the dielectric's mode capacitances, so it
    // need not settle beyond a tenth of their last change (where no losses ask more of its skin
    // integrals).
    const CrossSection vacuumSection = section.inVacuum();
    const bool shared = meshCrossSection(vacuumSection, ladderLevels().front()).layered();
    std::optional<ConductorSystemsKept> keep;
    if (shared) keep.emplace();
    std::vector<LevelSolution> solutions, vacuum;
    for (const MeshLevel& level : ladderLevels()) {
        checkInterrupt();
        const Mesh mesh = meshCrossSection(section, level);
        if (!climbsTo(solutions, mesh, level, false, 0.0)) break;
        solutions.push_back(rung(section, mesh, level, false, false));
        if (!shared) continue;
        const Mesh vacuumMesh = conductorMesh(section, mesh);
        twoScales[true] = twoScales[true] || vacuumMesh.layered();
        vacuum.push_back(rung(vacuumSection, vacuumMesh, level, true, false));
    }
    const double floor = media.empty() && !skin ? largestChange(solutions) / 10 : 0.0;
    for (std::size_t k = vacuum.size(); k < ladderLevels().size(); ++k) {
        checkInterrupt();
        const MeshLevel& level = ladderLevels()[k];
        const Mesh mesh = shared ? conductorMesh(section, meshCrossSection(section, level))
                                 : meshCrossSection(vacuumSection, level);
        if (!climbsTo(vacuum, mesh, level, true, floor)) break;
        vacuum.push_back(rung(vacuumSection, mesh, level, true, false));
    }
    const bool settled = !unsettled(solutions, climbAbove, false, false) && !unsettled(vacuum, climbAbove, false, false);
    // Each rung of the dielectric's ladder is paired with the vacuum's, counted from the top where
    // the vacuum climbed further.
    for (std::size_t k = 0; k < solutions.size(); ++k) {
        const std::size_t fromTop = solutions.size() - 1 - k;
        const LevelSolution& v = vacuum[vacuum.size() - 1 - std::min(fromTop, vacuum.size() - 1)];
        solutions[k].vacuumLevel = v.vacuumLevel;
        solutions[k].vacuumPanels = v.vacuumPanels;
        solutions[k].vacuumUnknowns = v.vacuumUnknowns;
        solutions[k].vacuumModes = v.vacuumModes;
        solutions[k].vacuumMaxwell = v.vacuumMaxwell;
        solutions[k].skin = v.skin;
    }
    return {std::move(solutions), settled, {floorOf(false), floorOf(true)}};
}

double observedChange(double v0, double v1, double v2) {
    const double coarse = std::fabs(v1 - v0);
    const double fine = std::fabs(v2 - v1);
    if (fine >= shrinking * coarse) return fine + coarse;
    // Where the ladder turned back, the rung at the turn may have lain nearer the limit than
    // the last one does: the limit may lie beyond it by as much as a crossing's floor. (A thin
    // mask over a coplanar line with an etched top: its rungs lay 5e−7, 6e−9 and 4.3e−8 off, the
    // last change 3.7e−8.)
    const bool turned = (v1 - v0) * (v2 - v1) < 0;
    return turned ? fine + crossing * coarse : std::max(fine, crossing * coarse);
}

}  // namespace plattor
