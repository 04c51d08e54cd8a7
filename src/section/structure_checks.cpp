// Whether a structure is complete, physical and within the range the solver resolves: one line
// naming the culprit where it is not.
#include <cmath>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/text.hpp"
#include "section/converged_range.hpp"
#include "section/structures.hpp"

namespace plattor {

namespace {

[[noreturn]] void refuse(const Structure& s, const std::string& why) {
    throw RunError(std::string(structureName(s.kind)) + ": " + why);
}

void checkPermittivity(const Structure& s, double value, const char* option) {
    if (!given(value)) return;
    if (!(value >= 1) || !(value <= largestPermittivity))
        refuse(s, std::string(option) + " must be a relative permittivity from 1 to " + numberText(largestPermittivity) +
                      ", got " + shortestText(value));
}

}  // namespace

void checkStructure(const Structure& s) {
    const bool strip = s.kind == StructureKind::stripline, coplanar = s.kind == StructureKind::coplanar;
    // What each structure takes, and what it needs.
    for (const StructureOption& o : structureOptions())
        if (given(s.*o.field) && !(o.kinds & kindBit(s.kind))) refuse(s, std::string("has no option --") + o.name);
    const auto need = [&](double value, const char* option, const char* what) {
        if (!given(value)) refuse(s, std::string("needs ") + option + " (" + what + ")");
    };
    need(s.w, "--w", "the trace width");
    need(s.h, "--h", strip ? "the height of the traces' bottoms over the lower plane" : "the substrate's height");
    if (strip) need(s.b, "--b", "the spacing of the planes");
    if (coplanar) need(s.g, "--g", "the gap between the traces and the coplanar grounds");
    need(s.er, "--er", "the substrate's relative permittivity");
    if (given(s.mask) != given(s.maskEr)) refuse(s, "--mask and --mask-er go together");
    if (given(s.cover) != given(s.coverEr)) refuse(s, "--cover and --cover-er go together");
    if (given(s.mask) && given(s.cover)) refuse(s, "--mask and --cover exclude each other");
    if (given(s.maskTop) && !(s.mask > 0)) refuse(s, "--mask-top needs a mask (--mask above 0, --mask-er)");
    if (given(s.maskTand) && !given(s.mask)) refuse(s, "--mask-tand needs a mask (--mask, --mask-er)");
    if (given(s.coverTand) && !given(s.cover)) refuse(s, "--cover-tand needs a cover (--cover, --cover-er)");
    for (const StructureOption& o : structureOptions()) {
        const double v = s.*o.field;
        if (o.lossTangent && given(v) && !(v >= 0 && v <= largestLossTangent))
            refuse(s, std::string("--") + o.name + " must be a loss tangent from 0 to " +
                          numberText(largestLossTangent) + ", got " + shortestText(v));
    }

    for (const StructureOption& o : structureOptions()) {
        const double v = s.*o.field;
        if (!given(v) || !o.length) continue;
        const bool positive = o.field == &Structure::w || o.field == &Structure::wTop || o.field == &Structure::h ||
                              o.field == &Structure::b || o.field == &Structure::groundWidth ||
                              o.field == &Structure::maskTop;
        if (positive && !(v > 0)) refuse(s, std::string("--") + o.name + " must be positive, got " + shortestText(v));
        if (!positive && !(v >= 0)) refuse(s, std::string("--") + o.name + " must not be negative, got " + shortestText(v));
    }
    checkPermittivity(s, s.er, "--er");
    checkPermittivity(s, s.erTop, "--er-top");
    checkPermittivity(s, s.maskEr, "--mask-er");
    checkPermittivity(s, s.coverEr, "--cover-er");

    const double t = orDefault(s.t, 0.0);
    if (given(s.wTop) && s.wTop > s.w)
        refuse(s, "--w-top " + shortestText(s.wTop) + " is wider than --w " + shortestText(s.w) +
                      ": a trace's top is not wider than its bottom");
    if (given(s.wTop) && s.wTop != s.w && t == 0) refuse(s, "--w-top needs a thickness --t above 0");
    if (s.isPair() && s.s == 0) refuse(s, "the traces touch (--s 0): the capacitance between them is infinite");
    if (coplanar && s.g == 0)
        refuse(s, "the traces touch the coplanar grounds (--g 0): the capacitance between them is infinite");
    if (strip && !(s.h + t < s.b))
        refuse(s, "the trace reaches the upper plane: --h " + shortestText(s.h) + " and --t " + shortestText(t) +
                      " reach " + shortestText(s.h + t) + ", not below --b " + shortestText(s.b));
    if (given(s.cover) && s.cover < t)
        refuse(s, "the cover must embed the traces: --cover " + shortestText(s.cover) + " is below --t " +
                      shortestText(t));

    // Every length that shapes the field, and every difference of them the mesh resolves as a
    // length of its own, within the resolved range of each other, named against the earlier
    // one (the trace width first). A difference of 0 leaves the feature out (a cover flush with
    // the traces' tops), as does an option not given.
    std::vector<NamedLength> lengths;
    for (const StructureOption& o : structureOptions())
        if (o.length && given(s.*o.field)) lengths.push_back({o.meaning, s.*o.field});
    if (strip) lengths.push_back({"clearance between the trace and the upper plane", s.b - s.h - t});
    if (given(s.cover)) lengths.push_back({"cover over the traces' tops", s.cover - t});
    // A mask thinner than thick traces steps down at their sides by the difference.
    if (given(s.mask) && s.mask > 0) lengths.push_back({"step of the mask at the traces' sides", t - s.mask});
    if (const std::string problem = ratioOutOfRange(lengths, "plattor-lines"); !problem.empty()) refuse(s, problem);
}

}  // namespace plattor
