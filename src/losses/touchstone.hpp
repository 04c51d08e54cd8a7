#pragma once
// A uniform line as a circuit simulator takes it: its S-parameters over frequency as a
// Touchstone 2.0 file, and its per-unit-length model as a W-element RLGC table.
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "losses/line.hpp"

namespace plattor {

// The S-matrix of `length` m of the line at `frequency` Hz, every port referred to the real
// `referenceImpedance` (ohm), 2N × 2N row-major. Ports: a single line 1 near end, 2 far end; a
// pair 1 left trace near end, 2 right trace near end, 3 left far end, 4 right far end. Each
// mode is a two-port with e = exp(−γℓ):
//   S11 = (Zc² − z0²)(1 − e²)/D,  S21 = 4·Zc·z0·e/D,  D = 2·Zc·z0·(1 + e²) + (Zc² + z0²)(1 − e²),
// which stays finite however long or lossy the line (|e| ≤ 1), and is e exactly on a matched
// line. The pair's ports are the sum and the difference of its modes, with equal references
// on its two traces: reflection (S11e + S11o)/2, near-end crosstalk (S11e − S11o)/2,
// transmission (S21e + S21o)/2, far-end crosstalk (S21e − S21o)/2. Raises RunError for a
// negative or non-finite length, a reference impedance that is not positive, or a frequency as
// lineAtFrequency.
std::vector<std::complex<double>> scatteringMatrix(const LineMatrices& line, double frequency, double length,
                                                   double referenceImpedance = 50.0);

// S-parameters over a sweep: `s[k]` is the matrix at `frequencies[k]`, ports × ports row-major.
struct NetworkData {
    std::size_t ports;
    double referenceImpedance;  // ohm, at every port
    std::vector<double> frequencies;  // Hz, increasing
    std::vector<std::vector<std::complex<double>>> s;
};

// The Touchstone 2.0 text of `data` (the IBIS Open Forum's file format of 2009): each line of `comment` as a "! " comment, "[Version] 2.0", the option line
// "# Hz S RI R <z0>", "[Number of Ports]", "[Two-Port Data Order] 12_21" for two ports,
// "[Number of Frequencies]", "[Network Data]": per frequency the frequency and the matrix in
// real/imaginary pairs, row by row (two ports: S11 S12 S21 S22 on one line; more ports: each
// row on its own line), then "[End]". Every number with 17 significant digits, which reads back
// to the same double. Raises RunError for no frequencies or frequencies that do not increase.
std::string touchstoneText(const NetworkData& data, const std::string& comment = "");

// The per-unit-length model of a W-element, N × N row-major and symmetric:
//   R(f) = R0 + Rs·(1 + j)·√f,   G(f) = G0 + Gd·f,
// with L0 and C0 constant.
struct RlgcTable {
    std::size_t n;
    std::vector<double> r0;  // ohm/m, DC resistance
    std::vector<double> l0;  // H/m
    std::vector<double> g0;  // S/m
    std::vector<double> c0;  // F/m
    std::vector<double> rs;  // ohm/(m·√Hz), skin-effect coefficient
    std::vector<double> gd;  // S/(m·Hz), dielectric-loss coefficient
};

// The table as an RLGC file of the HSPICE W-element: "*" comment lines, then N, L0, C0, R0,
// G0, Rs, Gd in that order, each matrix as its lower triangle one row per line (row i holds
// entries (i, 0) … (i, i)), 17 significant digits.
std::string wElementText(const RlgcTable& table, const std::string& comment = "");

}  // namespace plattor
