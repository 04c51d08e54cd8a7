#pragma once
// Capacitances known in closed form, exact at any proportions: references that need no solver.

namespace plattor {

// The capacitance per unit length between two coplanar strips of width w whose centres are |c|
// apart, in free space, F/m, with plattor's ε0 (it checks plattor's values): C = ε0·K(k′)/K(k), k = s/(s + 2w), s = |c| − w the gap, k′ = √(1 − k²)
// (a conformal map of the pair onto a parallel-plate capacitor). Precondition: |c| > w > 0.
double coplanarStripsCapacitance(double w, double c);

}  // namespace plattor
