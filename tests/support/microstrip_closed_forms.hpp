#pragma once
// Published closed forms for thin microstrip on an infinitely wide substrate and ground plane,
// used by the tests as references of known, published accuracy. Lengths enter only as ratios:
// u = w/h (strip width over substrate height), g = s/h (gap over height). Impedances in ohm
// with the wave impedance η0 = √(μ0/ε0) of the program's constants.
//
// Single strip: E. Hammerstad and Ø. Jensen, "Accurate models for microstrip computer-aided
// design", IEEE MTT-S International Microwave Symposium Digest, 1980, pp. 407–409. Published
// accuracy (zero thickness, static): the air impedance better than 0.01 % for u ≤ 1 and 0.03 %
// for u ≤ 1000; the effective permittivity better than 0.2 % for εr ≤ 128, 0.01 ≤ u ≤ 100.
//
// Coupled pair: M. Kirschning and R. H. Jansen, "Accurate wide-range design equations for the
// frequency-dependent characteristic of parallel coupled microstrip lines", IEEE Transactions
// on Microwave Theory and Techniques, vol. 32, no. 1, 1984, pp. 83–90 (static part, zero
// thickness). Published accuracy: even- and odd-mode impedances within 0.6 % for 0.1 ≤ u ≤ 10,
// 0.1 ≤ g ≤ 10, 1 ≤ εr ≤ 18, against the authors' spectral-domain reference. The mode
// permittivities are a step on the way and are not held to that bound.

namespace plattor::testing {

// η0 = μ0·c0 = √(μ0/ε0) with CODATA 2018's μ0 = 1.25663706212e-6 H/m and c0 = 299792458 m/s, ohm.
double waveImpedance();

// Hammerstad–Jensen: the impedance of the strip with the substrate replaced by air, ohm.
// Z01 = η0/(2π)·ln(f(u)/u + √(1 + (2/u)²)), f(u) = 6 + (2π − 6)·exp(−(30.666/u)^0.7528).
double hammerstadAirImpedance(double u);

// Hammerstad–Jensen: effective permittivity εeff = (εr+1)/2 + (εr−1)/2·(1 + 10/u)^(−a(u)·b(εr)).
double hammerstadEffectivePermittivity(double u, double er);

// Hammerstad–Jensen: the strip's impedance on the substrate, Z01/√εeff, ohm.
double hammerstadImpedance(double u, double er);

// Static even/odd-mode quantities of a symmetric coupled pair.
struct CoupledModes {
    double evenPermittivity;  // εeff,e
    double oddPermittivity;   // εeff,o
    double evenImpedance;     // Z_e, ohm
    double oddImpedance;      // Z_o, ohm
};

// Kirschning–Jansen static even/odd-mode εeff and impedances of strips of width u·h, gap g·h.
CoupledModes kirschningCoupled(double u, double g, double er);

}  // namespace plattor::testing
