// Random structures against finer solutions of their own: does every bar hold?
//
// Each structure is drawn at random (microstrip, stripline or coplanar; single traces and pairs,
// thin and thick, etched tops, masks, covers, two-layer striplines, finite and unlimited
// grounds; widths and heights 0.05 … 2, thicknesses 0.005 … 0.1, masks 0.005 … 0.05) and solved
// as plattor-lines solves it. Every quantity of its report is then compared with a solution at
// order 10 and with layers 4096 times deeper into every corner than the ladder's last rung. A
// bar that the finer value lies outside of is printed with the structure as options of
// plattor-lines; the last line sums the draw up. Not run by the tests: a draw of 150 structures
// takes about a minute.
//
// Usage: plattor_bar_search <seed> <count>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "base/text.hpp"
#include "lines/quantities.hpp"
#include "mesh/mesh.hpp"
#include "section/structures.hpp"
#include "solver/ladder.hpp"
#include "solver/solve.hpp"

using namespace plattor;

namespace {

Structure drawn(std::mt19937& rng) {
    const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const auto logUniform = [&](double a, double b) { return std::exp(uniform(std::log(a), std::log(b))); };
    const unsigned kind = rng() % 3;
    Structure s;
    s.kind = kind == 0 ? StructureKind::microstrip : kind == 1 ? StructureKind::stripline : StructureKind::coplanar;
    s.w = logUniform(0.05, 2);
    s.h = logUniform(0.05, 2);
    s.er = uniform(2, 12);
    if (uniform(0, 1) < 0.7) {
        s.t = logUniform(0.005, 0.1);
        if (uniform(0, 1) < 0.3) s.wTop = s.w * uniform(0.7, 1);
    }
    if (uniform(0, 1) < 0.6) s.s = logUniform(0.03, 1);
    if (kind == 1) {
        s.b = 2 * s.h + (std::isnan(s.t) ? 0 : s.t) + logUniform(0.05, 1);
        if (uniform(0, 1) < 0.4) s.erTop = uniform(2, 6);
    }
    if (kind == 2) {
        s.g = logUniform(0.03, 0.5);
        if (uniform(0, 1) < 0.5) s.groundWidth = logUniform(0.1, 3);
    }
    if (kind != 1 && uniform(0, 1) < 0.4) {
        s.mask = logUniform(0.005, 0.05);
        s.maskEr = uniform(3, 4);
    }
    if (kind == 0 && uniform(0, 1) < 0.15 && std::isnan(s.mask)) {
        s.cover = logUniform(0.02, 1);
        s.coverEr = uniform(2, 5);
    }
    return s;
}

std::string commandLine(const Structure& s) {
    std::string text = structureName(s.kind);
    for (const StructureOption& o : structureOptions())
        if (!std::isnan(s.*o.field)) text += std::string(" --") + o.name + " " + shortestText(s.*o.field);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <seed> <count>\n", argv[0]);
        return 2;
    }
    std::mt19937 rng(static_cast<unsigned>(std::atoi(argv[1])));
    const int count = std::atoi(argv[2]);
    int solved = 0, short_ = 0;
    double worst = 0;
    for (int draw = 0; draw < count; ++draw) {
        const Structure s = drawn(rng);
        try {
            checkStructure(s);
        } catch (const std::exception&) {
            continue;  // a draw outside the accepted ratios
        }
        const CrossSection section = structureSection(s), vacuum = section.inVacuum();
        const ConvergedQuantities r = convergedQuantities(section);
        const MeshLevel finer{10, ladderLevels()[r.levels.size() - 1].cornerDepth / 4096};
        const QuantityValues fine = lineQuantities(modeCapacitances(section, meshCrossSection(section, finer)),
                                                   modeCapacitances(vacuum, meshCrossSection(vacuum, finer)));
        ++solved;
        bool held = true;
        for (std::size_t k = 0; k < quantityCount; ++k) {
            const auto q = static_cast<Quantity>(k);
            if (!r.value.applies(q)) continue;
            const double ratio = std::fabs(r.value[q] - fine[q]) / r.error[q];
            worst = std::max(worst, ratio);
            if (ratio <= 1) continue;
            held = false;
            std::printf("%s: %s %.12g, finer %.12g, bar %.2g: %.2f bars off (%zu rungs)\n", commandLine(s).c_str(),
                        quantityInfo(q).name, r.value[q], fine[q], r.error[q], ratio, r.levels.size());
        }
        short_ += held ? 0 : 1;
    }
    std::printf("%d structures, %d with a bar short, the largest error %.3f of its bar\n", solved, short_, worst);
    return 0;
}
