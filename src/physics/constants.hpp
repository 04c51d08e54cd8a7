#pragma once
// The physical constants, once: SI's for the converged solver and plattor-lines, and the
// permittivity with which plattor defines its printed capacitances.
#include <numbers>

namespace plattor {

// CODATA 2018: c0 exact by the definition of the metre, μ0 measured, ε0 = 1/(μ0·c0²).
inline constexpr double speedOfLight = 299792458.0;                // c0, m/s
inline constexpr double vacuumPermeability = 1.25663706212e-6;     // μ0, H/m
inline constexpr double vacuumPermittivity = 1.0 / (vacuumPermeability * speedOfLight * speedOfLight);  // ε0, F/m

// The inch, exact by its definition: a board's losses and delays are also quoted per inch.
inline constexpr double metresPerInch = 0.0254;

// plattor's ε0: its capacitances are defined with this value, and its printed digits depend on
// it, so its fixed-count path keeps it (1.38 ppm below SI's).
inline constexpr double plattorVacuumPermittivity = 8.8542e-12;   // F/m

// A charge per unit length in units of 2π ε0 (the logarithmic kernels carry no physical
// constant), in F/m.
inline double inFaradPerMetre(double value) { return 2.0 * std::numbers::pi * vacuumPermittivity * value; }

// The same with plattor's ε0: ((value·2)·π)·ε0, grouped from the left. plattor prints
// differences of such values to their last digits, so the grouping is kept.
inline double inPlattorFaradPerMetre(double value) {
    return ((value * 2.0) * std::numbers::pi) * plattorVacuumPermittivity;
}

}  // namespace plattor
