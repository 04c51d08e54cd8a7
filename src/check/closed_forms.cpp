#include "check/closed_forms.hpp"

#include <cassert>
#include <cmath>
#include <numbers>

#include "moment/solution/capacitance.hpp"

namespace plattor {

namespace {

// The arithmetic-geometric mean of 1 and x ∈ (0, 1]: K(k) = π / (2·agm(1, k′)). It converges
// quadratically once the means are close, after about log2(ln(1/x)) steps before that: a few
// dozen for any x a double holds.
double agmOfOne(double x) {
    double a = 1.0, b = x;
    for (int step = 0; step < 64 && a - b > 0x1p-52 * a; ++step) {
        const double mean = (a + b) / 2;
        b = std::sqrt(a * b);
        a = mean;
    }
    return (a + b) / 2;
}

}  // namespace

double coplanarStripsCapacitance(double w, double c) {
    assert(w > 0 && std::fabs(c) > w);
    // In the gap's ratio to the width, so that neither 1e150 nor 1e-150 leaves the doubles; k′
    // from its own formula, 2·√(1 + r)/(r + 2), not as √(1 − k²), which loses it as k → 1.
    const double r = (std::fabs(c) - w) / w;
    const double k = r / (r + 2);
    const double kPrime = 2 * std::sqrt(1 + r) / (r + 2);
    // K(k′)/K(k) = agm(1, k′)/agm(1, k).
    return plattorVacuumPermittivity * agmOfOne(kPrime) / agmOfOne(k);
}

}  // namespace plattor
