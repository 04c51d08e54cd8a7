#include "lines/line_losses.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "base/error.hpp"
#include "physics/constants.hpp"
#include "section/board_section.hpp"
#include "solver/solve.hpp"

namespace plattor {

namespace {

using Complex = std::complex<double>;
using L = LossQuantity;
constexpr double pi = std::numbers::pi;
constexpr double decibelsPerNeper = 20.0 / std::numbers::ln10;
// The solves of a wideband table of more frequencies than this.
constexpr std::size_t wideSolves = 8;

constexpr LossQuantityInfo registry[] = {
    {"resistance", "resistance", "ohm/m", 1.0, "ohm/m"},
    {"inductance", "inductance", "nH/m", 1e9, "H/m"},
    {"conductance", "conductance", "mS/m", 1e3, "S/m"},
    {"capacitance", "capacitance", "pF/m", 1e12, "F/m"},
    {"impedance, real part", "impedanceReal", "ohm", 1.0, "ohm"},
    {"impedance, imaginary part", "impedanceImaginary", "ohm", 1.0, "ohm"},
    {"attenuation", "attenuation", "dB/m", 1.0, "dB/m"},
    {"phase constant", "phaseConstant", "rad/m", 1.0, "rad/m"},
    {"conductor attenuation", "conductorAttenuation", "dB/m", 1.0, "dB/m"},
    {"dielectric attenuation", "dielectricAttenuation", "dB/m", 1.0, "dB/m"},
    {"effective permittivity", "effectivePermittivity", "", 1.0, ""},
    {"delay", "delay", "ps/m", 1e12, "s/m"},
};
static_assert(std::size(registry) == lossQuantityCount);

// The area of a conductor's cross-section, m²; infinite for a pour to the board's edge.
double area(const BoardConductor& c) {
    if (c.toEdge != 0) return HUGE_VAL;
    switch (c.shape) {
        case ConductorShape::trace: return (c.bottomWidth + c.topWidth) / 2 * c.thickness;
        case ConductorShape::circle: return pi * (c.radius * c.radius - c.innerRadius * c.innerRadius);
        case ConductorShape::polygon: break;
    }
    double twice = 0.0;
    for (std::size_t k = 0; k < c.points.size(); ++k) {
        const Point a = c.points[k], b = c.points[(k + 1) % c.points.size()];
        twice += a.real() * b.imag() - b.real() * a.imag();
    }
    return std::fabs(twice) / 2;
}

// What the solver gives a mode at one frequency, each with its bar.
struct ModeParts {
    ValueAndBar capacitance;   // Re(C − jG/ω), F/m
    ValueAndBar loss;          // G/ω, F/m
    ValueAndBar inAir;         // C_air, F/m
    ValueAndBar skin;          // F, 1/m (infinite: no conductor loss)
    double dcResistance;       // ohm/m
};

// The mode's line at frequency f from its parts: z = Z_int + jω/(c0²·C_air), y = G + jωC.
std::pair<Complex, Complex> modeLine(const ModeParts& p, const LossRequest& r, double f) {
    const double omega = 2 * pi * f;
    Complex internal = 0.0;
    if (std::isfinite(p.skin.value) && std::isfinite(p.dcResistance))
        internal = internalImpedance(p.dcResistance, surfaceResistance(r.conductor.conductivity, f) * p.skin.value,
                                     roughnessFactor(r.conductor, f));
    const Complex z = internal + Complex(0.0, omega / (speedOfLight * speedOfLight * p.inAir.value));
    const Complex y = Complex(omega * p.loss.value, omega * p.capacitance.value);
    return {z, y};
}

std::array<double, lossQuantityCount> modeValues(const ModeParts& p, const LossRequest& r, double f) {
    const auto [z, y] = modeLine(p, r, f);
    const LineAtFrequency line = lineAtFrequency({1, {z}, {y}}, f);
    const ModeQuantities& m = line.modes.front();
    const double omega = 2 * pi * f;
    std::array<double, lossQuantityCount> v{};
    v[static_cast<std::size_t>(L::resistance)] = z.real();
    v[static_cast<std::size_t>(L::inductance)] = z.imag() / omega;
    v[static_cast<std::size_t>(L::conductance)] = y.real();
    v[static_cast<std::size_t>(L::capacitance)] = y.imag() / omega;
    v[static_cast<std::size_t>(L::impedanceReal)] = m.impedance.real();
    v[static_cast<std::size_t>(L::impedanceImaginary)] = m.impedance.imag();
    v[static_cast<std::size_t>(L::attenuation)] = m.attenuationDb;
    v[static_cast<std::size_t>(L::conductorAttenuation)] = m.conductorAttenuation * decibelsPerNeper;
    v[static_cast<std::size_t>(L::dielectricAttenuation)] = m.dielectricAttenuation * decibelsPerNeper;
    v[static_cast<std::size_t>(L::phaseConstant)] = m.propagation.imag();
    v[static_cast<std::size_t>(L::effectivePermittivity)] = m.effectivePermittivity;
    v[static_cast<std::size_t>(L::delay)] = m.phaseDelay;
    return v;
}

// Every quantity of a mode with its bar: what moving each solved part by its bar does, summed.
ModeLosses modeLosses(const ModeParts& p, const LossRequest& r, double f) {
    const std::array<double, lossQuantityCount> base = modeValues(p, r, f);
    std::array<double, lossQuantityCount> error{};
    for (ValueAndBar ModeParts::*part : {&ModeParts::capacitance, &ModeParts::loss, &ModeParts::inAir, &ModeParts::skin}) {
        ModeParts moved = p;
        if (!std::isfinite((moved.*part).value) || (moved.*part).error == 0) continue;
        (moved.*part).value += (p.*part).error;
        const std::array<double, lossQuantityCount> v = modeValues(moved, r, f);
        for (std::size_t k = 0; k < lossQuantityCount; ++k) error[k] += std::fabs(v[k] - base[k]);
    }
    ModeLosses m;
    // (+ 0.0: a loss of −0, the product of a zero loss and a negative sign, reads 0.)
    for (std::size_t k = 0; k < lossQuantityCount; ++k) m.values[k] = {base[k] + 0.0, error[k] + 1e-12 * std::fabs(base[k])};
    return m;
}

// Mode m's value (0: the single trace's or the even mode's, 1: the odd mode's).
template <typename Modes>
auto ofMode(const Modes& values, std::size_t m) {
    return m == 0 ? values.even : values.odd;
}

// The matrix of a pair from its even and odd values per trace (one value for a single line).
template <typename T>
std::vector<T> fromModes(const std::vector<T>& modes) {
    if (modes.size() == 1) return modes;
    const T self = (modes[0] + modes[1]) / 2.0, mutual = (modes[0] - modes[1]) / 2.0;
    return {self, mutual, mutual, self};
}

}  // namespace

ValueAndBar convergedSkin(double v0, double v1, double v2, double rate, bool settled, double floor) {
    if (!std::isfinite(v2)) return {v2, 0.0};
    const double coarse = v1 - v0, fine = v2 - v1;
    const double observed = coarse != 0 && fine / coarse > 0 ? fine / coarse : 0.0;
    const double rho = std::min(std::max(rate, observed), 0.9);
    const double step = fine * rho / (1 - rho);
    return {v2 + step, std::fabs(step) + ladderBar(v0, v1, v2, settled, floor)};
}

const LossQuantityInfo& lossQuantityInfo(LossQuantity q) { return registry[static_cast<std::size_t>(q)]; }

std::vector<double> dcResistances(const Board& board, double sigma) {
    const bool plane = board.bottomPlane || board.topPlane ||
                       std::any_of(board.layers.begin(), board.layers.end(), [](const BoardLayer& l) { return l.plane; });
    double grounds = 0.0, trace = HUGE_VAL;
    for (const BoardConductor& c : board.conductors) {
        if (!c.signal) grounds += area(c);
        else trace = std::min(trace, area(c));
    }
    // Through the grounds in parallel, or nothing where a plane or pour of infinite width returns.
    const double ret = plane || std::isinf(grounds) || grounds == 0 ? 0.0 : 1 / (sigma * grounds);
    const double own = trace > 0 ? 1 / (sigma * trace) : HUGE_VAL;
    if (board.pairs.empty()) return {own + ret};
    return {own + 2 * ret, own};
}

LineLosses lineLosses(const Board& board, const LossRequest& request) {
    if (board.signalCount() > 2 || (board.signalCount() == 2 && board.pairs.empty()))
        throw RunError("losses are computed for one trace or one marked pair; this cross-section has " +
                       std::to_string(board.signalCount()) + " signal conductors");
    const CrossSection section = boardSection(board);
    const bool pair = section.isPair();
    // The complex media: one set for a constant dielectric, one per frequency for the wideband one.
    const bool wideband = request.dielectric.model != DielectricModel::constant && section.hasDielectricLoss();
    std::vector<FaceMedia> media;
    const auto mediaAt = [&](double f) {
        return faceMedia(section, [&](double er, double tanDelta) {
            return relativePermittivity(er, tanDelta, request.dielectric, f);
        });
    };
    // The wideband model moves every lossy region's permittivity along one complex variable
    // (the same logarithm of the band's corners), on which the line's complex capacitances
    // depend analytically, their singularities far off: interpolated in it from a few solves at
    // Chebyshev points of log f, to rounding.
    const std::vector<double>& fs = request.frequencies;
    std::vector<double> solvedAt;
    if (wideband && fs.size() > wideSolves) {
        for (std::size_t k = 0; k < wideSolves; ++k) {
            const double x = std::cos(pi * (2 * k + 1) / (2 * wideSolves));
            solvedAt.push_back(std::sqrt(fs.front() * fs.back()) * std::pow(fs.back() / fs.front(), x / 2));
        }
    } else if (wideband) {
        solvedAt = fs;
    } else {
        solvedAt = {fs.front()};
    }
    for (const double f : solvedAt) media.push_back(mediaAt(f));

    LineLosses losses;
    losses.solution = convergedQuantities(section, media, true);
    ConvergedQuantities& c = losses.solution;
    const std::size_t n = c.levels.size();
    if (wideband && fs.size() > wideSolves) {
        // The variable: the permittivity of the first lossy face's side, affine in the model's.
        std::pair<double, double> lossy{1.0, 0.0};
        for (const SectionFace& f : section.faces) {
            if (f.leftLossTangent > 0) lossy = {f.leftPermittivity, f.leftLossTangent};
            else if (f.rightLossTangent > 0) lossy = {f.rightPermittivity, f.rightLossTangent};
            else continue;
            break;
        }
        const auto variable = [&](double f) { return relativePermittivity(lossy.first, lossy.second, request.dielectric, f); };
        std::vector<Complex> nodes;
        for (const double f : solvedAt) nodes.push_back(variable(f));
        for (LevelSolution& level : c.levels) {
            std::vector<ComplexModes> at;
            for (const double f : fs) {
                const Complex x = variable(f);
                ComplexModes sum{0.0, 0.0};
                for (std::size_t k = 0; k < nodes.size(); ++k) {
                    Complex weight = 1.0;
                    for (std::size_t j = 0; j < nodes.size(); ++j)
                        if (j != k) weight *= (x - nodes[j]) / (nodes[k] - nodes[j]);
                    sum.even += weight * level.lossy[k].even;
                    sum.odd += weight * level.lossy[k].odd;
                }
                at.push_back(sum);
            }
            level.lossy = std::move(at);
        }
    }
    // A value of every rung with its bar: the lossy capacitances come from the dielectric's rungs
    // (`bar`), the values in air and the skin integrals from the vacuum's.
    const auto barOver = [&](const std::function<double(const LevelSolution&)>& of, double floor) {
        return ValueAndBar{of(c.levels[n - 1]), ladderBar(of(c.levels[n - 3]), of(c.levels[n - 2]), of(c.levels[n - 1]),
                                                          c.settled, floor)};
    };
    const auto bar = [&](const std::function<double(const LevelSolution&)>& of) {
        return barOver(of, c.floors.dielectric);
    };
    const double metres = boardUnit(board);  // the section's length unit, m
    const std::vector<double> dc = dcResistances(board, request.conductor.conductivity);
    const std::size_t modes = pair ? 2 : 1;
    std::vector<ModeParts> parts(modes);
    const double skinRate = skinConvergence(section.inVacuum());
    for (std::size_t m = 0; m < modes; ++m) {
        parts[m].inAir = barOver([&](const LevelSolution& l) { return ofMode(l.vacuumModes, m); }, c.floors.vacuum);
        const auto skin = [&](std::size_t k) { return ofMode(c.levels[k].skin, m) / metres; };
        parts[m].skin = convergedSkin(skin(n - 3), skin(n - 2), skin(n - 1), skinRate, c.settled, c.floors.vacuum);
        parts[m].dcResistance = dc[m];
        if (!std::isfinite(parts[m].skin.value) || !std::isfinite(dc[m]))
            losses.noConductorLoss = "no conductor loss: a conductor of zero thickness carries an infinite current density "
                                     "at its edges; give the traces a thickness (--t) for their resistance";
    }
    for (std::size_t k = 0; k < request.frequencies.size(); ++k) {
        const double f = request.frequencies[k];
        const std::size_t set = wideband ? k : 0;  // after the interpolation, one set a frequency
        LossesAtFrequency row{f, {}, {}, {}, {}};
        std::vector<Complex> z, y;
        for (std::size_t m = 0; m < modes; ++m) {
            parts[m].capacitance = bar([&](const LevelSolution& l) { return ofMode(l.lossy[set], m).real(); });
            parts[m].loss = bar([&](const LevelSolution& l) { return -ofMode(l.lossy[set], m).imag(); });
            row.modes.push_back(modeLosses(parts[m], request, f));
            const auto [zm, ym] = modeLine(parts[m], request, f);
            z.push_back(zm);
            y.push_back(ym);
        }
        row.line = {modes, fromModes(z), fromModes(y)};
        if (pair) {
            const double omega = 2 * pi * f;
            for (const double sign : {1.0, -1.0}) {
                const auto entry = [&](const LevelSolution& l) { return (l.lossy[set].even + sign * l.lossy[set].odd) / 2.0; };
                row.capacitanceEntries.push_back(bar([&](const LevelSolution& l) { return entry(l).real(); }));
                const ValueAndBar g = bar([&](const LevelSolution& l) { return -entry(l).imag(); });
                row.conductanceEntries.push_back({omega * g.value, omega * g.error});
            }
        }
        losses.table.push_back(std::move(row));
    }

    // The W-element's model: constant L0, C0, R0 and the smooth skin coefficient.
    std::vector<double> r0, rs, l0, c0, gd;
    const bool conducting = losses.noConductorLoss.empty();
    for (std::size_t m = 0; m < modes; ++m) {
        r0.push_back(conducting ? dc[m] : 0.0);
        rs.push_back(conducting ? surfaceResistance(request.conductor.conductivity, 1.0) * parts[m].skin.value : 0.0);
        l0.push_back(1 / (speedOfLight * speedOfLight * parts[m].inAir.value));
        c0.push_back(ofMode(c.levels.back().lossy.front(), m).real());
        gd.push_back(-ofMode(c.levels.back().lossy.front(), m).imag() * 2 * pi);
    }
    losses.rlgc = {modes, fromModes(r0), fromModes(l0), std::vector<double>(modes * modes, 0.0), fromModes(c0),
                   fromModes(rs), fromModes(gd)};
    return losses;
}

}  // namespace plattor
