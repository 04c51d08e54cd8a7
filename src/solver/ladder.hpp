#pragma once
// The one ladder of refinement every cross-section climbs, and how far its last rung may
// still be off.
//
// Each rung solves the arrangement on its own mesh: a higher panel order, and layers reaching
// deeper into the corners. The panels converge exponentially in both, so the change between the
// last two rungs bounds the error of the coarser one and, the convergence being observed, the
// smaller one of the last.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "mesh/mesh.hpp"
#include "solver/solve.hpp"

namespace plattor {

// One rung: its mesh level, the panels and unknowns of each mode's system, and the mode
// capacitances with the dielectrics and with every permittivity 1.
struct LevelSolution {
    MeshLevel level;
    MeshLevel vacuumLevel;  // the rung of the vacuum's own ladder paired with it
    std::size_t panels;
    std::size_t unknowns;
    std::size_t vacuumPanels;
    std::size_t vacuumUnknowns;
    ModeCapacitances modes;
    ModeCapacitances vacuumModes;
    // Of N signal conductors instead (modes NaN): their Maxwell matrices, row-major, F/m.
    std::vector<double> maxwell;
    std::vector<double> vacuumMaxwell;
    // Where asked for: the mode capacitances with each set of complex media (C − jG/ω), and the
    // skin-effect integral of each mode in vacuum (solveModes).
    std::vector<ComplexModes> lossy;
    ModeCapacitances skin{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
};

// The rungs, coarse to fine.
const std::vector<MeshLevel>& ladderLevels();

// The arrangement solved up the ladder, with its dielectrics and in vacuum (the same solve where
// there are none): its mode capacitances, or with conductors of role signal their Maxwell matrix
// (whose entries count as the mode capacitances below, each against its row's and column's
// diagonal entries). Three rungs, and more while the mode capacitances still move by more than
// 1e−6 of themselves from rung to rung (while the next rung has at most 400 unknowns, 1e−9, or
// with layers towards corners or an interface the floor of their bars, 1e−7), or
// their last change is suspiciously small against the one before, and the next rung's systems
// stay below 1600 unknowns; the vacuum of an arrangement with dielectrics climbs no further
// than to a tenth of the dielectric's last change. A rung of more than 3200 unknowns, which no
// cross-section within the range check needs, raises RunError: time and memory stay bounded
// for every input.
// `settled` is false where the climb stopped at the budget (or the last rung) with the mode
// capacitances still moving by more than 1e−6 of themselves. `floors` are the least parts of
// their values the bars of the last rung claim (see below).
struct LadderFloors {
    double dielectric, vacuum;
    // Of a quantity from the dielectric's rungs (and perhaps the vacuum's), or the vacuum's alone.
    double of(bool fromDielectric) const { return fromDielectric ? std::max(dielectric, vacuum) : vacuum; }
};
struct Ladder {
    std::vector<LevelSolution> levels;
    bool settled;
    LadderFloors floors;
};
// With `media`, each rung also solves the modes with those complex permittivities; with `skin`,
// the vacuum's rungs the skin-effect integrals; both then settle like the mode capacitances (the
// loss, −Im of a complex one, against itself).
Ladder solveLadder(const CrossSection& section, const std::vector<FaceMedia>& media = {}, bool skin = false);

// How far the last value of a ladder v0, v1, v2 may still be off by its observed convergence:
// the last change, never less than a thirtieth of the one before (a crossing must not look like
// convergence), and with that thirtieth added where the ladder turned back (the changes of
// opposite signs); both changes where they do not shrink to less than half.
double observedChange(double v0, double v1, double v2);

// The least part of its value any bar of a ladder's last rung claims. For thin conductors in one
// medium (no corner, no interface), the quadrature and the rounding: the rungs' changes shrink
// by the panels' order alone. With layers towards corners, or an interface beside the
// conductors, what three or four rungs cannot tell: the error has a second part, the corners'
// depth or the charge's change over the gap between a trace's edge and a mask's surface, and
// the two can cancel in the rungs' changes, or the order's part stall for a rung while its sign
// turns (in random draws of thousands of boards, last rungs of thick traces and masks lay up to
// 8e−8 off where their changes promised 1e−8, of thin pairs under a mask 4e−8 where they
// promised 2e−8, and 2.9e−7 where they promised 2.7e−7).
constexpr double orderFloor = 5e-9;
constexpr double twoScalesFloor = 1e-7;

}  // namespace plattor
