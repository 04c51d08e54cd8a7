#include "lines/quantities.hpp"

#include <cmath>

#include "physics/constants.hpp"

namespace plattor {

namespace {

using Q = Quantity;

constexpr QuantityInfo registry[] = {
    {"capacitance", "capacitance", Unit::capacitance},
    {"capacitance in air", "capacitanceInAir", Unit::capacitance},
    {"effective permittivity", "effectivePermittivity", Unit::ratio},
    {"impedance", "impedance", Unit::impedance},
    {"inductance", "inductance", Unit::inductance},
    {"delay", "delay", Unit::delay},
    {"delay per inch", "delayPerInch", Unit::delayPerInch},
    {"Maxwell matrix C11", "maxwell11", Unit::capacitance},
    {"Maxwell matrix C12", "maxwell12", Unit::capacitance},
    {"Maxwell matrix C21", "maxwell21", Unit::capacitance},
    {"Maxwell matrix C22", "maxwell22", Unit::capacitance},
    {"Maxwell matrix C11 in air", "maxwell11InAir", Unit::capacitance},
    {"Maxwell matrix C12 in air", "maxwell12InAir", Unit::capacitance},
    {"Maxwell matrix C21 in air", "maxwell21InAir", Unit::capacitance},
    {"Maxwell matrix C22 in air", "maxwell22InAir", Unit::capacitance},
    {"strip-to-strip capacitance", "stripToStripCapacitance", Unit::capacitance},
    {"strip-to-ground capacitance", "stripToGroundCapacitance", Unit::capacitance},
    {"strip-to-strip capacitance in air", "stripToStripCapacitanceInAir", Unit::capacitance},
    {"strip-to-ground capacitance in air", "stripToGroundCapacitanceInAir", Unit::capacitance},
    {"even-mode capacitance", "evenModeCapacitance", Unit::capacitance},
    {"even-mode capacitance in air", "evenModeCapacitanceInAir", Unit::capacitance},
    {"even-mode effective permittivity", "evenModeEffectivePermittivity", Unit::ratio},
    {"even-mode impedance", "evenModeImpedance", Unit::impedance},
    {"odd-mode capacitance", "oddModeCapacitance", Unit::capacitance},
    {"odd-mode capacitance in air", "oddModeCapacitanceInAir", Unit::capacitance},
    {"odd-mode effective permittivity", "oddModeEffectivePermittivity", Unit::ratio},
    {"odd-mode impedance", "oddModeImpedance", Unit::impedance},
    {"differential impedance", "differentialImpedance", Unit::impedance},
    {"common-mode impedance", "commonModeImpedance", Unit::impedance},
    {"coupling coefficient", "couplingCoefficient", Unit::ratio},
    {"line impedance", "lineImpedance", Unit::impedance},
};
static_assert(std::size(registry) == quantityCount);

// The ladder's floor under each value, and the rounding: 1e−12 of the mode capacitances that
// every quantity derives from.
constexpr double modeFloor = 1e-12;

double lineImpedanceOf(double c, double cAir) { return 1.0 / (speedOfLight * std::sqrt(c * cAir)); }

// What physics allows a quantity: the Maxwell matrix's off-diagonal entries are negative, an
// effective permittivity is at least 1, everything else positive.
struct Bounds {
    double lower, upper;
};
Bounds physicalBounds(Q q) {
    switch (q) {
        case Q::maxwell12: case Q::maxwell21: case Q::maxwell12InAir: case Q::maxwell21InAir:
            return {-HUGE_VAL, 0.0};
        case Q::effectivePermittivity: case Q::evenModeEffectivePermittivity: case Q::oddModeEffectivePermittivity:
            return {1.0, HUGE_VAL};
        default:
            return {0.0, HUGE_VAL};
    }
}

bool isDifference(Q q) {
    switch (q) {
        case Q::maxwell12: case Q::maxwell21: case Q::maxwell12InAir: case Q::maxwell21InAir:
        case Q::stripToStripCapacitance: case Q::stripToStripCapacitanceInAir: case Q::couplingCoefficient:
            return true;
        default:
            return false;
    }
}

bool isPermittivity(Q q) {
    return q == Q::effectivePermittivity || q == Q::evenModeEffectivePermittivity || q == Q::oddModeEffectivePermittivity;
}

}  // namespace

const QuantityInfo& quantityInfo(Quantity q) { return registry[static_cast<std::size_t>(q)]; }

QuantityValues lineQuantities(const ModeCapacitances& m, const ModeCapacitances& air) {
    QuantityValues v;
    const double c0 = speedOfLight;
    const bool pair = !std::isnan(m.odd);
    if (!pair) {
        v[Q::capacitance] = m.even;
        v[Q::capacitanceInAir] = air.even;
        v[Q::effectivePermittivity] = m.even / air.even;
        v[Q::impedance] = lineImpedanceOf(m.even, air.even);
        v[Q::inductance] = 1.0 / (c0 * c0 * air.even);
        v[Q::delay] = std::sqrt(m.even / air.even) / c0;
        v[Q::delayPerInch] = v[Q::delay] * metresPerInch;
        return v;
    }
    if (std::isnan(m.even)) {
        // No ground: the traces at ±1 V carry ±C·2 V.
        const double c = m.odd / 2, cAir = air.odd / 2;
        v[Q::stripToStripCapacitance] = c;
        v[Q::stripToStripCapacitanceInAir] = cAir;
        v[Q::maxwell11] = v[Q::maxwell22] = c;
        v[Q::maxwell12] = v[Q::maxwell21] = -c;
        v[Q::maxwell11InAir] = v[Q::maxwell22InAir] = cAir;
        v[Q::maxwell12InAir] = v[Q::maxwell21InAir] = -cAir;
        v[Q::lineImpedance] = lineImpedanceOf(c, cAir);
        return v;
    }
    // Strips at (+1, +1) carry C11 + C12 each, at (−1, +1) C22 − C21 = C11 − C12.
    v[Q::maxwell11] = v[Q::maxwell22] = (m.even + m.odd) / 2;
    v[Q::maxwell12] = v[Q::maxwell21] = (m.even - m.odd) / 2;
    v[Q::maxwell11InAir] = v[Q::maxwell22InAir] = (air.even + air.odd) / 2;
    v[Q::maxwell12InAir] = v[Q::maxwell21InAir] = (air.even - air.odd) / 2;
    v[Q::stripToStripCapacitance] = (m.odd - m.even) / 2;
    v[Q::stripToGroundCapacitance] = m.even;
    v[Q::stripToStripCapacitanceInAir] = (air.odd - air.even) / 2;
    v[Q::stripToGroundCapacitanceInAir] = air.even;
    v[Q::evenModeCapacitance] = m.even;
    v[Q::evenModeCapacitanceInAir] = air.even;
    v[Q::evenModeEffectivePermittivity] = m.even / air.even;
    v[Q::evenModeImpedance] = lineImpedanceOf(m.even, air.even);
    v[Q::oddModeCapacitance] = m.odd;
    v[Q::oddModeCapacitanceInAir] = air.odd;
    v[Q::oddModeEffectivePermittivity] = m.odd / air.odd;
    v[Q::oddModeImpedance] = lineImpedanceOf(m.odd, air.odd);
    const double zEven = v[Q::evenModeImpedance], zOdd = v[Q::oddModeImpedance];
    v[Q::differentialImpedance] = 2 * zOdd;
    v[Q::commonModeImpedance] = zEven / 2;
    v[Q::couplingCoefficient] = (zEven - zOdd) / (zEven + zOdd);
    return v;
}

namespace {

// How far a ladder's last value may be off: settled, its observed convergence; else both last
// changes.
double ladderChange(double v0, double v1, double v2, bool settled) {
    return settled ? observedChange(v0, v1, v2) : std::fabs(v2 - v1) + std::fabs(v1 - v0);
}

}  // namespace

double ladderBar(double v0, double v1, double v2, bool settled, double floor) {
    return ladderChange(v0, v1, v2, settled) + floor * std::fabs(v2) + modeFloor * std::fabs(v2);
}

ConvergedQuantities convergedQuantities(const CrossSection& section, const std::vector<FaceMedia>& media, bool skin) {
    ConvergedQuantities c;
    Ladder ladder = solveLadder(section, media, skin);
    c.levels = std::move(ladder.levels);
    c.settled = ladder.settled;
    c.floors = ladder.floors;
    const auto change = [&c](double v0, double v1, double v2) { return ladderChange(v0, v1, v2, c.settled); };
    std::vector<QuantityValues> values;
    for (const LevelSolution& level : c.levels) values.push_back(lineQuantities(level.modes, level.vacuumModes));
    const LevelSolution& finest = c.levels.back();
    c.value = values.back();

    // What moving each mode capacitance by `delta(mode, value)` does to every quantity, summed
    // over the modes (four with a dielectric: with it and in vacuum).
    const bool separateVacuum = section.hasDielectric();
    const std::size_t n = values.size();
    const auto propagated = [&](auto delta) {
        QuantityValues sum;
        for (std::size_t k = 0; k < quantityCount; ++k) sum[static_cast<Q>(k)] = 0.0;
        for (int mode = 0; mode < 4; ++mode) {
            ModeCapacitances m = finest.modes, air = finest.vacuumModes;
            double& moved = mode == 0 ? m.even : mode == 1 ? m.odd : mode == 2 ? air.even : air.odd;
            if (std::isnan(moved) || (mode >= 2 && !separateVacuum)) continue;
            moved += delta(mode, moved);
            if (!separateVacuum) air = m;
            const QuantityValues v = lineQuantities(m, air);
            for (std::size_t k = 0; k < quantityCount; ++k) {
                const auto q = static_cast<Q>(k);
                if (c.value.applies(q)) sum[q] += std::fabs(v[q] - c.value[q]);
            }
        }
        return sum;
    };
    // The rounding floor under every quantity, and each mode capacitance's own observed change
    // carried into the quantities: a ratio or product of mode capacitances must not profit from
    // their changes cancelling by chance at the last rung.
    const QuantityValues rounding = propagated([](int, double v) { return modeFloor * std::fabs(v); });
    // Which quantities the dielectric's mode capacitances move: their floor is the dielectric's
    // ladder's; the rest come from the vacuum's alone.
    const QuantityValues fromDielectric =
        propagated([](int mode, double v) { return mode < 2 ? 1e-6 * std::fabs(v) : 0.0; });
    const QuantityValues carried = propagated([&](int mode, double) {
        const auto at = [&](std::size_t k) {
            const ModeCapacitances& m = mode < 2 ? c.levels[k].modes : c.levels[k].vacuumModes;
            return mode % 2 == 0 ? m.even : m.odd;
        };
        return change(at(n - 3), at(n - 2), at(n - 1));
    });
    for (std::size_t k = 0; k < quantityCount; ++k) {
        const auto q = static_cast<Q>(k);
        if (!c.value.applies(q)) continue;
        // In vacuum an effective permittivity is 1 by construction, exactly.
        if (isPermittivity(q) && !separateVacuum) {
            c.error[q] = 0.0;
            continue;
        }
        // A difference of mode capacitances (a weak coupling) converges with them, its own
        // changes far below theirs: its bar is its own. The modes' last changes can cancel in it,
        // so its last change counts as at least 0.3 of the one before (a rung's usual ratio), and
        // its bar as at least a tenth of what the modes' own changes do to it.
        const double observed = change(values[n - 3][q], values[n - 2][q], values[n - 1][q]);
        const double settling = std::max(0.3 * std::fabs(values[n - 2][q] - values[n - 3][q]), 0.1 * carried[q]);
        c.error[q] = (isDifference(q) ? std::max(observed, settling) : std::max(observed, carried[q])) +
                     c.floors.of(fromDielectric[q] != 0) * std::fabs(c.value[q]) + rounding[q];
        // A bar reaching past what physics allows (a coupling below the rounding floor) keeps
        // only its physical part: the middle of that and half its width.
        const Bounds b = physicalBounds(q);
        const double lo = std::max(c.value[q] - c.error[q], b.lower), hi = std::min(c.value[q] + c.error[q], b.upper);
        if (lo > c.value[q] - c.error[q] || hi < c.value[q] + c.error[q]) {
            c.value[q] = (lo + hi) / 2;
            c.error[q] = (hi - lo) / 2;
        }
    }
    return c;
}

}  // namespace plattor
