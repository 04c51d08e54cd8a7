#include "design/solve_dimension.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/text.hpp"
#include "report/report.hpp"
#include "solver/ladder.hpp"

namespace plattor {

namespace {


// Bounds are pulled this far inside, so that the rounding of exp(ln(bound)) never steps over
// a limit checkStructure enforces.
constexpr double boundMargin = 1e-9;
// The bracket is closed on the cheapest rung to this width in ln(length) or this part of the
// target: the whole ladder then starts within its own distance from that rung.
constexpr double coarseWidth = 1e-9;
constexpr double coarseMiss = 1e-6;
// The whole ladder is done when it misses by a tenth of its bar, after at most this many solves.
constexpr double missOfBar = 0.1;
constexpr int fullSolves = 6;
// The probe beside the start, and beside the coarse root for the slope: 5 % and 0.1 % in length.
constexpr double probeStep = 0.05;
constexpr double slopeStep = 1e-3;
// Points spread over the range when the secant's ends do not change sign (a quantity that
// rises and falls, as a stripline's over its height).
constexpr int scanPoints = 12;
// The secant's search for a sign change, its steps doubling from a factor e: past both ends of
// any range long before this.
constexpr int maxSecantSteps = 40;

std::string optionName(const StructureOption& o) { return std::string("--") + o.name; }

// A start inside the range: the given length, else one of the size of its neighbours.
double startValue(const Structure& s, const StructureOption& d, const DimensionRange& range) {
    double start = s.*d.field;
    if (!given(start) || !(start > 0)) {
        const double w = given(s.w) ? s.w : 1.0;
        const double t = given(s.t) ? s.t : 0.0;
        if (d.field == &Structure::w) start = given(s.h) ? s.h : 1.0;
        else if (d.field == &Structure::b) start = given(s.h) ? 2 * s.h + t : 2 * w;
        else if (d.field == &Structure::t || d.field == &Structure::mask || d.field == &Structure::maskTop)
            start = 0.05 * w;
        else if (d.field == &Structure::cover) start = std::max(2 * t, 0.5 * w);
        else if (d.field == &Structure::groundWidth) start = 5 * w;
        else start = w;
    }
    if (given(range.lo) && given(range.hi)) start = std::clamp(start, range.lo, std::max(range.lo, range.hi));
    return start;
}

// The quantities on the ladder's first rung alone: a fraction of the ladder's work, within a
// few parts in 1e6 of its result.
QuantityValues coarseQuantities(const CrossSection& section) {
    const MeshLevel& level = ladderLevels().front();
    const ModeCapacitances modes = modeCapacitances(section, meshCrossSection(section, level));
    if (!section.hasDielectric()) return lineQuantities(modes, modes);
    const CrossSection vacuum = section.inVacuum();
    return lineQuantities(modes, modeCapacitances(vacuum, meshCrossSection(vacuum, level)));
}

struct Sample {
    double x;  // ln(length)
    double f;  // quantity − target
};

// Brent's method on [a, b], f(a) and f(b) of opposite signs or one of them 0: inverse quadratic
// interpolation or the secant where they stay well inside the bracket, bisection otherwise.
template <class F>
Sample brent(Sample a, Sample b, F&& f, double xTolerance, double fTolerance) {
    Sample c = a;
    double d = b.x - a.x, e = d;
    for (int step = 0; step < 200; ++step) {
        if ((b.f > 0) == (c.f > 0) && b.f != 0) {
            c = a;
            d = e = b.x - a.x;
        }
        if (std::fabs(c.f) < std::fabs(b.f)) {
            a = b;
            b = c;
            c = a;
        }
        const double tolerance = 4e-16 * std::fabs(b.x) + 0.5 * xTolerance;
        const double m = 0.5 * (c.x - b.x);
        if (std::fabs(m) <= tolerance || std::fabs(b.f) <= fTolerance) return b;
        if (std::fabs(e) < tolerance || std::fabs(a.f) <= std::fabs(b.f)) {
            d = e = m;
        } else {
            const double s = b.f / a.f;
            double p, q;
            if (a.x == c.x) {
                p = 2 * m * s;
                q = 1 - s;
            } else {
                const double qa = a.f / c.f, r = b.f / c.f;
                p = s * (2 * m * qa * (qa - r) - (b.x - a.x) * (r - 1));
                q = (qa - 1) * (r - 1) * (s - 1);
            }
            if (p > 0) q = -q;
            else p = -p;
            if (2 * p < 3 * m * q - std::fabs(tolerance * q) && p < std::fabs(0.5 * e * q)) {
                e = d;
                d = p / q;
            } else {
                d = e = m;
            }
        }
        a = b;
        const double x = b.x + (std::fabs(d) > tolerance ? d : (m > 0 ? tolerance : -tolerance));
        b = {x, f(x)};
    }
    return b;
}

// Two samples next to each other in x whose values differ in sign (or one of them 0), the pair
// nearest to `near`; false if there is none.
bool findBracket(std::vector<Sample> samples, double near, Sample& a, Sample& b) {
    std::sort(samples.begin(), samples.end(), [](const Sample& p, const Sample& q) { return p.x < q.x; });
    bool found = false;
    double best = HUGE_VAL;
    for (std::size_t k = 0; k + 1 < samples.size(); ++k) {
        const Sample& p = samples[k];
        const Sample& q = samples[k + 1];
        if ((p.f > 0) == (q.f > 0) && p.f != 0 && q.f != 0) continue;
        const double distance = std::max(0.0, std::max(p.x - near, near - q.x));
        if (distance < best) {
            best = distance;
            a = p;
            b = q;
            found = true;
        }
    }
    return found;
}

// A value of the quantity as the report shows it, and its unit.
// A target out of reach as given and the reachable range's ends, in the display unit, with the
// fewest significant digits (at least five) at which the target still reads as outside the
// range: a range rounded onto the target would look as if it held it.
std::array<std::string, 3> distinctTexts(Quantity q, double target, double low, double high) {
    const double scale = displayScale(quantityInfo(q).unit);
    std::array<std::string, 3> text = {shortestText(target * scale), "", ""};
    for (int digits = 5; digits <= 17; ++digits) {
        double read[2];
        for (std::size_t k = 0; k < 2; ++k) {
            text[k + 1] = formatted("%.*g", digits, (k == 0 ? low : high) * scale);
            read[k] = std::strtod(text[k + 1].c_str(), nullptr);
        }
        if (target * scale < read[0] || target * scale > read[1]) break;
    }
    return text;
}

std::string unitOf(Quantity q) {
    const char* unit = displayUnit(quantityInfo(q).unit);
    return *unit != '\0' ? std::string(" ") + unit : std::string();
}

}  // namespace

DimensionRange dimensionRange(const Structure& s, const StructureOption& d) {
    const double t = given(s.t) ? s.t : 0.0;
    const bool strip = s.kind == StructureKind::stripline;
    const double nan = absent;
    // Every other length within the resolved ratios of this one (the clearance to a stripline's
    // upper plane among them), as checkStructure holds every pair of lengths.
    double lo = 0.0, hi = HUGE_VAL;
    const auto bound = [&](double v) {
        if (!given(v) || !(v > 0) || std::isinf(v)) return;
        lo = std::max(lo, v * smallestRatio);
        hi = std::min(hi, v * largestRatio);
    };
    for (const StructureOption& o : structureOptions())
        if (o.length && o.field != d.field) bound(s.*o.field);
    if (d.field == &Structure::w) {
        // The clearance to the upper plane within the ratios of the width; a top no wider.
        if (strip) bound(s.b - s.h - t);
        if (given(s.wTop)) lo = std::max(lo, s.wTop);
        if (!given(s.h)) return {nan, nan};
    } else {
        if (!given(s.w)) return {nan, nan};
        // A stripline keeps its clearance to the upper plane within the resolved ratios too.
        const double clearance = smallestRatio * s.w;
        if (d.field == &Structure::wTop) hi = std::min(hi, s.w);
        if (d.field == &Structure::t) {
            if (strip) hi = given(s.b) && given(s.h) ? std::min(hi, s.b - s.h - clearance) : nan;
            if (given(s.cover)) hi = std::min(hi, s.cover);
        }
        if (d.field == &Structure::h && strip) hi = given(s.b) ? std::min(hi, s.b - t - clearance) : nan;
        if (d.field == &Structure::b) lo = given(s.h) ? std::max(lo, s.h + t + clearance) : nan;
        if (d.field == &Structure::cover) lo = std::max(lo, t);
    }
    return {lo * (1 + boundMargin), hi * (1 - boundMargin)};
}

DimensionRange acceptedRange(double start, const std::function<void(double)>& check) {
    const auto accepts = [&](double value) {
        try {
            check(value);
            return true;
        } catch (const RunError&) {
            return false;
        }
    };
    const auto reach = [&](double factor) {
        double inside = std::log(start), outside = std::log(start * factor);
        if (accepts(std::exp(outside))) return std::exp(outside);
        for (int step = 0; step < 60; ++step) {
            const double middle = (inside + outside) / 2;
            (accepts(std::exp(middle)) ? inside : outside) = middle;
        }
        return std::exp(inside);
    };
    return {reach(smallestRatio) * (1 + boundMargin), reach(largestRatio) * (1 - boundMargin)};
}

SolvedLength solveLength(const LengthSearch& search, Quantity quantity, double target) {
    const double lnLo = std::log(search.lo), lnHi = std::log(search.hi);
    const auto at = [&](double x) { return search.sectionAt(std::clamp(std::exp(x), search.lo, search.hi)); };
    // 1. A sign change of the quantity's miss of the target, on the cheapest rung: along the
    //    secant from the start, else over the whole range.
    std::vector<Sample> samples;
    const auto coarse = [&](double x) {
        const double f = coarseQuantities(at(x))[quantity] - target;
        samples.push_back({x, f});
        return f;
    };
    const auto sampled = [&](double x) {
        return std::any_of(samples.begin(), samples.end(), [x](const Sample& p) { return p.x == x; });
    };

    const double x0 = std::log(search.start);
    Sample previous{x0, coarse(x0)};
    const double x1 = std::clamp(x0 + probeStep <= lnHi ? x0 + probeStep : x0 - probeStep, lnLo, lnHi);
    Sample last{x1, coarse(x1)};
    Sample a{}, b{};
    double longest = 1.0;
    // The secant may land on the root from one side, the miss within the cheapest rung's
    // tolerance but no sign change beside it: that is the root, with no bracket to look for.
    const auto landed = [&] { return std::fabs(last.f) <= coarseMiss * target; };
    for (int k = 0; k < maxSecantSteps && !landed() && !findBracket(samples, x0, a, b); ++k) {
        const double slope = (last.f - previous.f) / (last.x - previous.x);
        double step = slope != 0 && std::isfinite(slope) ? -last.f / slope : longest;
        step = std::clamp(step, -longest, longest);
        longest *= 2;
        const double x = std::clamp(last.x + step, lnLo, lnHi);
        if (sampled(x)) break;  // the secant points beyond an end already sampled
        previous = last;
        last = {x, coarse(x)};
    }
    if (!landed() && !findBracket(samples, x0, a, b)) {
        for (const double end : {lnLo, lnHi})
            if (!sampled(end)) coarse(end);
        for (int k = 1; k < scanPoints && !findBracket(samples, x0, a, b); ++k)
            coarse(lnLo + (lnHi - lnLo) * k / scanPoints);
    }
    if (!landed() && !findBracket(samples, x0, a, b)) {
        double low = HUGE_VAL, high = -HUGE_VAL;
        for (const Sample& p : samples) low = std::min(low, p.f + target), high = std::max(high, p.f + target);
        const std::array<std::string, 3> text = distinctTexts(quantity, target, low, high);
        throw RunError(search.who + ": cannot reach " + quantityInfo(quantity).name + " " + text[0] + unitOf(quantity) +
                       " by " + search.name + ": reachable range " + text[1] + " to " + text[2] + unitOf(quantity));
    }
    const Sample root = landed() ? last : brent(a, b, coarse, coarseWidth, coarseMiss * target);

    // 2. The slope there, and steps along it on the whole ladder until the miss is within a
    //    tenth of the bar.
    const double xs = root.x + slopeStep <= lnHi ? root.x + slopeStep : root.x - slopeStep;
    double slope = (coarse(xs) - root.f) / (xs - root.x);
    if (!(slope != 0) || !std::isfinite(slope)) slope = (b.f - a.f) / (b.x - a.x);

    double x = root.x;
    SolvedLength best{};
    double bestMiss = HUGE_VAL;
    double bestBar = 0.0;
    for (int solve = 0; solve < fullSolves; ++solve) {
        const double value = std::clamp(std::exp(x), search.lo, search.hi);
        ConvergedQuantities c = convergedQuantities(search.sectionAt(value));
        const double miss = c.value[quantity] - target, bar = c.error[quantity];
        if (std::fabs(miss) < bestMiss) {
            bestMiss = std::fabs(miss);
            bestBar = bar;
            best = {value, 0.0, std::move(c)};
        }
        if (std::fabs(miss) <= missOfBar * bar) break;
        const double next = std::clamp(x - miss / slope, lnLo, lnHi);
        if (next == x) break;
        x = next;
    }
    // What the bar and the miss leave of the target, in the length: d(length) = length·d(ln length).
    best.error = best.value * (bestBar + bestMiss) / std::fabs(slope);
    return best;
}

SolvedDimension solveDimension(const Structure& input, const StructureOption& d, Quantity quantity, double target,
                               const StructureOption* tied) {
    const std::string kind = structureName(input.kind);
    if (!d.length || (tied && !tied->length))
        throw RunError(kind + ": cannot solve for " + optionName(tied && d.length ? *tied : d) + ": it is not a length");
    Structure s = input;
    if (tied) s.*tied->field = absent;
    if (!(target > 0) || !std::isfinite(target))
        throw RunError(kind + ": the target " + quantityInfo(quantity).key + " must be positive, got " +
                       shortestText(target));

    const DimensionRange range = dimensionRange(s, d);
    Structure trial = s;
    trial.*d.field = startValue(s, d, range);
    if (tied) trial.*tied->field = trial.*d.field;
    checkStructure(trial);
    if (!(range.lo < range.hi))
        throw RunError(kind + ": " + optionName(d) + " has no room to vary: the other lengths hold it within " +
                       shortestText(range.lo) + " … " + shortestText(range.hi));
    const std::vector<Quantity>& reported = reportedQuantities(trial, "");
    if (std::find(reported.begin(), reported.end(), quantity) == reported.end())
        throw RunError(kind + ": " + quantityInfo(quantity).key +
                       (trial.isPair() ? " is a single trace's; a pair (--s) has evenModeImpedance, oddModeImpedance, "
                                         "differentialImpedance and commonModeImpedance"
                                       : " is a pair's; give --s, the gap between the traces"));
    const auto at = [&](double value) {
        Structure c = trial;
        c.*d.field = value;
        if (tied) c.*tied->field = value;
        return c;
    };
    SolvedLength solved = solveLength(
        {kind, optionName(d), range.lo, range.hi, trial.*d.field, [&](double v) { return structureSection(at(v)); }},
        quantity, target);
    return {solved.value, solved.error, at(solved.value), std::move(solved.quantities)};
}

namespace {
constexpr Quantity targets[] = {Quantity::impedance, Quantity::differentialImpedance, Quantity::commonModeImpedance,
                                Quantity::evenModeImpedance, Quantity::oddModeImpedance};
}  // namespace

void parseTarget(const std::string& text, Quantity& quantity, double& target) {
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    bool known = false;
    for (const Quantity q : targets)
        if (name == quantityInfo(q).key) quantity = q, known = true;
    const std::string_view value = equals == std::string::npos ? std::string_view() : std::string_view(text).substr(equals + 1);
    const Decimal number = parseDecimal(value);
    if (number.length == value.size() && number.inRange) target = number.value;
    if (equals == std::string::npos || !known || number.length == 0 || number.length != value.size() ||
        !number.inRange || !(target > 0))
        throw RunError("--target needs QUANTITY=VALUE, QUANTITY one of impedance, differentialImpedance, "
                       "commonModeImpedance, evenModeImpedance, oddModeImpedance, VALUE in ohm above 0; got \"" +
                       printableExcerpt(text) + "\"");
}

}  // namespace plattor
