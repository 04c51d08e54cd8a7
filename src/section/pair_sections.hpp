#pragma once
// plattor's strip pair (indata3.txt) as a cross-section of the one solver.
#include <string>

#include "section/cross_section.hpp"

namespace plattor {

// The strip pair of plattor's input (ground-plane width g, 0 for none; strip width w; centre
// distance c; height h, in any one unit) in strip widths: in vacuum, or with permittivity > 1 on
// a slab as wide as the plane between it and the strips. Raises RunError where two conductors
// touch (the capacitance between them is infinite), where a ratio of the lengths lies beyond
// the resolved range, and where the slab has no plane or the strips leave its face.
CrossSection stripPairSection(double g, double w, double c, double h, double permittivity = 1);

// Where two conductors of that pair touch, why the capacitance between them is infinite ("the
// strips touch: …"); else empty.
std::string touchingConductors(double g, double w, double c, double h);

// Two zero-thickness strips of width 1 centred at x = ∓c/2 at height h over a plane of width
// g (a thin conductor on y = 0, |x| ≤ g/2), or without a plane (g = 0) side by side on y = 0;
// all in vacuum. c ≥ 1; the conductors do not touch.
CrossSection freeSpacePairSection(double planeWidth, double centreDistance, double height);

// The same pair over its plane on a slab of relative permittivity er filling |x| ≤ g/2,
// 0 ≤ y ≤ h (h > 0), the strips on its face (their outer edges within the board, or on its
// edge up to the rounding of the unit).
CrossSection slabPairSection(double planeWidth, double centreDistance, double height, double permittivity);

}  // namespace plattor
