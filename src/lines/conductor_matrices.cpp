#include "lines/conductor_matrices.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "base/error.hpp"
#include "matrix/linalg.hpp"
#include "matrix/matrix.hpp"
#include "physics/constants.hpp"
#include "solver/ladder.hpp"

namespace plattor {

namespace {

using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;

// The ladder's floor under each value, as for a single trace and a pair, and the rounding: 1e−12
// of the capacitances every quantity derives from (of √(C_ii·C_jj) for entry (i, j): a weak
// coupling is rounded with the charges of the conductors it couples).
constexpr double roundingFloor = 1e-12;

// Where each quantity sits in one flat list of values: the matrices C, C_air, L, Zc (N × N
// each), the modes' effective permittivities and impedances, the near-end and far-end crosstalk
// of every i < j, and five values per pair.
enum class Kind { capacitance, capacitanceInAir, inductance, impedance, permittivity, modeImpedance, nearEnd, farEnd };
enum PairValue { differential, commonMode, oddMode, evenMode, coupling, pairValues };

struct Layout {
    std::size_t n, couplings, pairs;

    explicit Layout(std::size_t conductors, std::size_t pairCount)
        : n(conductors), couplings(conductors * (conductors - 1) / 2), pairs(pairCount) {}
    std::size_t matrix(Kind k, std::size_t i, std::size_t j) const {
        return static_cast<std::size_t>(k) * n * n + i * n + j;
    }
    std::size_t mode(Kind k, std::size_t m) const { return 4 * n * n + (k == Kind::permittivity ? 0 : n) + m; }
    std::size_t crosstalk(Kind k, std::size_t c) const {
        return 4 * n * n + 2 * n + (k == Kind::nearEnd ? 0 : couplings) + c;
    }
    std::size_t pair(std::size_t p, PairValue v) const {
        return 4 * n * n + 2 * n + 2 * couplings + pairValues * p + v;
    }
    std::size_t size() const { return pair(pairs, differential); }
};

// How a quantity's bar is made: whether it is a difference of capacitances (a weak coupling,
// converging with them, its own changes far below theirs), an effective permittivity, and what
// physics allows it: the Maxwell matrices' off-diagonal entries are negative, the inductance's
// positive, an effective permittivity at least 1, every diagonal entry and impedance positive,
// the near-end crosstalk too (the sum of two positive couplings). Zc's off-diagonal entries, the
// far-end crosstalk and a pair's coupling coefficient may take either sign.
struct Slot {
    bool difference = false;
    bool permittivity = false;
    double lower = -HUGE_VAL, upper = HUGE_VAL;
};

std::vector<Slot> slots(const Layout& at) {
    std::vector<Slot> s(at.size());
    for (const Kind k : {Kind::capacitance, Kind::capacitanceInAir, Kind::inductance, Kind::impedance})
        for (std::size_t i = 0; i < at.n; ++i)
            for (std::size_t j = 0; j < at.n; ++j) {
                Slot& slot = s[at.matrix(k, i, j)];
                slot.difference = i != j;
                if (i == j) slot.lower = 0.0;
                else if (k == Kind::capacitance || k == Kind::capacitanceInAir) slot.upper = 0.0;
                else if (k == Kind::inductance) slot.lower = 0.0;
            }
    for (std::size_t m = 0; m < at.n; ++m) {
        s[at.mode(Kind::permittivity, m)] = {false, true, 1.0, HUGE_VAL};
        s[at.mode(Kind::modeImpedance, m)].lower = 0.0;
    }
    for (std::size_t c = 0; c < at.couplings; ++c) {
        s[at.crosstalk(Kind::nearEnd, c)] = {true, false, 0.0, HUGE_VAL};
        s[at.crosstalk(Kind::farEnd, c)].difference = true;
    }
    for (std::size_t p = 0; p < at.pairs; ++p)
        for (int v = 0; v < pairValues; ++v) {
            Slot& slot = s[at.pair(p, static_cast<PairValue>(v))];
            if (v == coupling) slot.difference = true;
            else slot.lower = 0.0;
        }
    return s;
}

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix c(a.rows(), b.cols());
    for (std::size_t j = 0; j < b.cols(); ++j)
        for (std::size_t k = 0; k < a.cols(); ++k)
            for (std::size_t i = 0; i < a.rows(); ++i) c(i, j) += a(i, k) * b(k, j);
    return c;
}

// (A + Aᵀ)/2: what rounding left unsymmetric in a product of symmetric matrices.
Matrix symmetrised(Matrix a) {
    for (std::size_t i = 0; i < a.rows(); ++i)
        for (std::size_t j = i + 1; j < a.cols(); ++j) a(i, j) = a(j, i) = (a(i, j) + a(j, i)) / 2;
    return a;
}

// f(A) = V·diag(f(λ))·Vᵀ for the symmetric A = V·diag(λ)·Vᵀ.
template <class F>
Matrix spectralFunction(const SymmetricEigen& e, F f) {
    const std::size_t n = e.values.size();
    Matrix a(n, n);
    for (std::size_t k = 0; k < n; ++k) {
        const double fk = f(e.values[k]);
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < n; ++i) a(i, j) += e.vectors(i, k) * fk * e.vectors(j, k);
    }
    return a;
}

// Every quantity of one pair of Maxwell matrices, in the order of `at`; the modes' unit voltage
// vectors into `voltages` where given.
std::vector<double> evaluate(const Matrix& c, const Matrix& cAir, const Layout& at, const Pairs& pairs,
                             std::vector<std::vector<double>>* voltages = nullptr) {
    const std::size_t n = at.n;
    const double c0 = speedOfLight;
    std::vector<double> v(at.size(), std::numeric_limits<double>::quiet_NaN());
    const SymmetricEigen ce = symmetricEigen(c);
    if (!(ce.values.front() > 0))
        throw RunError("the capacitance matrix of the signal conductors is not positive definite");
    const Matrix root = spectralFunction(ce, [](double x) { return std::sqrt(x); });
    const Matrix inverseRoot = spectralFunction(ce, [](double x) { return 1 / std::sqrt(x); });
    Matrix identity(n, n);
    for (std::size_t i = 0; i < n; ++i) identity(i, i) = 1.0;
    // c0²·L = C_air⁻¹.
    const Matrix airInverse = symmetrised(luSolve(luFactor(cAir), identity));
    // M = C^(1/2)·C_air⁻¹·C^(1/2) = c0²·C^(1/2)·L·C^(1/2) is similar to c0²·L·C: its eigenvalues
    // are the modes' effective permittivities, its eigenvectors Q give their voltages C^(−1/2)·Q.
    const SymmetricEigen modes = symmetricEigen(symmetrised(product(root, product(airInverse, root))));
    const Matrix zc = symmetrised(
        product(inverseRoot, product(spectralFunction(modes, [](double x) { return std::sqrt(x); }), inverseRoot)));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            v[at.matrix(Kind::capacitance, i, j)] = c(i, j);
            v[at.matrix(Kind::capacitanceInAir, i, j)] = cAir(i, j);
            v[at.matrix(Kind::inductance, i, j)] = airInverse(i, j) / (c0 * c0);
            v[at.matrix(Kind::impedance, i, j)] = zc(i, j) / c0;
        }
    if (voltages) voltages->assign(n, std::vector<double>(n));
    for (std::size_t m = 0; m < n; ++m) {
        // With V = C^(−1/2)·q_m, Zc⁻¹·V = c0·μ_m^(−1/2)·C^(1/2)·q_m, so V·Zc⁻¹V = c0/√μ_m and the
        // mode's impedance V·V/(V·Zc⁻¹V) is √μ_m·|V|²/c0.
        std::vector<double> voltage(n);
        double squared = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t k = 0; k < n; ++k) voltage[i] += inverseRoot(i, k) * modes.vectors(k, m);
            squared += voltage[i] * voltage[i];
        }
        v[at.mode(Kind::permittivity, m)] = modes.values[m];
        v[at.mode(Kind::modeImpedance, m)] = std::sqrt(modes.values[m]) * squared / c0;
        if (voltages) {
            const auto largest = std::max_element(voltage.begin(), voltage.end(),
                                                  [](double a, double b) { return std::fabs(a) < std::fabs(b); });
            const double scale = (*largest < 0 ? -1.0 : 1.0) / std::sqrt(squared);
            for (std::size_t i = 0; i < n; ++i) (*voltages)[m][i] = voltage[i] * scale;
        }
    }
    // The crosstalk of conductors i and j as a pair on its own, every other conductor at 0 V:
    // its Maxwell matrices are the 2 × 2 blocks of C and C_air, its inductance the inverse of the
    // latter over c0². The capacitive coupling C_m/C = −C_ij/√(C_ii·C_jj), the inductive one
    // L_m/L = −C_air,ij/√(C_air,ii·C_air,jj). In a homogeneous dielectric the two are equal and
    // the far-end crosstalk vanishes, as it does for every mode travelling at one speed; between
    // two conductors alone L_m and L are L's own entries.
    std::size_t pair = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j, ++pair) {
            const double capacitive = -c(i, j) / std::sqrt(c(i, i) * c(j, j));
            const double inductive = -cAir(i, j) / std::sqrt(cAir(i, i) * cAir(j, j));
            const double airDeterminant = cAir(i, i) * cAir(j, j) - cAir(i, j) * cAir(i, j);
            const double inductance = std::sqrt(cAir(i, i) * cAir(j, j)) / (c0 * c0 * airDeterminant);
            const double slowness = std::sqrt(inductance * std::sqrt(c(i, i) * c(j, j)));  // 1/v
            v[at.crosstalk(Kind::nearEnd, pair)] = (inductive + capacitive) / 4;
            v[at.crosstalk(Kind::farEnd, pair)] = (capacitive - inductive) * slowness / 2;
        }
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        const auto [f, s] = pairs[p];
        const double zDiff = (zc(f, f) + zc(s, s) - 2 * zc(f, s)) / c0;
        const double zCommon = (zc(f, f) + zc(s, s) + 2 * zc(f, s)) / (4 * c0);
        const double zOdd = zDiff / 2, zEven = 2 * zCommon;
        v[at.pair(p, differential)] = zDiff;
        v[at.pair(p, commonMode)] = zCommon;
        v[at.pair(p, oddMode)] = zOdd;
        v[at.pair(p, evenMode)] = zEven;
        v[at.pair(p, coupling)] = (zEven - zOdd) / (zEven + zOdd);
    }
    return v;
}

Matrix fromRows(const std::vector<double>& rowMajor, std::size_t n) {
    assert(rowMajor.size() == n * n);
    Matrix a(n, n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) a(i, j) = rowMajor[i * n + j];
    return a;
}

}  // namespace

ConductorMatrices conductorMatrices(const std::vector<MatrixLevel>& levels, bool settled, LadderFloors floors,
                                    const Pairs& pairs) {
    assert(levels.size() >= 3);
    const auto n = static_cast<std::size_t>(std::lround(std::sqrt(static_cast<double>(levels.front().c.size()))));
    assert(n >= 1);
    for ([[maybe_unused]] const MatrixLevel& level : levels)
        assert(level.c.size() == n * n && level.cAir.size() == n * n);
    for ([[maybe_unused]] const auto& [f, s] : pairs) assert(f < n && s < n && f != s);
    const Layout at(n, pairs.size());
    const std::vector<Slot> slot = slots(at);

    // Each level symmetrised; what is left over at the finest is discretisation error of its own.
    std::vector<Matrix> c, cAir;
    bool separateVacuum = false;
    for (const MatrixLevel& level : levels) {
        c.push_back(symmetrised(fromRows(level.c, n)));
        cAir.push_back(symmetrised(fromRows(level.cAir, n)));
        separateVacuum = separateVacuum || level.c != level.cAir;
    }
    const auto halfAsymmetry = [&](bool air, std::size_t i, std::size_t j) {
        const std::vector<double>& finest = air ? levels.back().cAir : levels.back().c;
        return std::fabs(finest[i * n + j] - finest[j * n + i]) / 2;
    };

    ConductorMatrices result;
    result.n = n;
    result.settled = settled;
    const std::size_t last = levels.size() - 1;
    std::vector<std::vector<double>> values;
    for (std::size_t k = 0; k <= last; ++k)
        values.push_back(evaluate(c[k], cAir[k], at, pairs, k == last ? &result.modeVoltages : nullptr));
    std::vector<double> value = values.back();

    // The bar of a ladder's last value: settled, its observed convergence; else both last changes.
    const auto change = [settled](double v0, double v1, double v2) {
        return settled ? observedChange(v0, v1, v2) : std::fabs(v2 - v1) + std::fabs(v1 - v0);
    };
    // What moving each independent entry of the finest C and C_air (C_ij and C_ji together) by
    // `delta(air, i, j)` does to every quantity, summed over the entries. Without a dielectric
    // C_air is C and moves with it.
    const auto propagated = [&](auto delta) {
        std::vector<double> sum(at.size(), 0.0);
        for (const bool air : {false, true}) {
            if (air && !separateVacuum) continue;
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = i; j < n; ++j) {
                    const double d = delta(air, i, j);
                    if (d == 0) continue;
                    Matrix moved = air ? cAir[last] : c[last];
                    moved(i, j) += d;
                    if (j != i) moved(j, i) += d;
                    const std::vector<double> v = air ? evaluate(c[last], moved, at, pairs)
                                                      : evaluate(moved, separateVacuum ? cAir[last] : moved, at, pairs);
                    for (std::size_t q = 0; q < at.size(); ++q) sum[q] += std::fabs(v[q] - value[q]);
                }
        }
        return sum;
    };
    // The rounding floor under every quantity, the asymmetry left in the finest matrices, and
    // each entry's own observed change carried into the quantities: a ratio or product of
    // capacitances must not profit from their changes cancelling by chance at the last rung.
    const std::vector<double> rounding = propagated([&](bool air, std::size_t i, std::size_t j) {
        const Matrix& m = air ? cAir[last] : c[last];
        return roundingFloor * std::sqrt(m(i, i) * m(j, j));
    });
    const std::vector<double> asymmetry = propagated(halfAsymmetry);
    // Which quantities the dielectric's matrix moves: their floor is the dielectric's ladder's;
    // the rest come from the vacuum's alone.
    const std::vector<double> fromDielectric = propagated([&](bool air, std::size_t i, std::size_t j) {
        return air ? 0.0 : 1e-6 * std::sqrt(c[last](i, i) * c[last](j, j));
    });
    const std::vector<double> carried = propagated([&](bool air, std::size_t i, std::size_t j) {
        const std::vector<Matrix>& m = air ? cAir : c;
        return change(m[last - 2](i, j), m[last - 1](i, j), m[last](i, j));
    });

    std::vector<double> error(at.size(), 0.0);
    for (std::size_t q = 0; q < at.size(); ++q) {
        // Without a dielectric an effective permittivity is 1 by construction, exactly.
        if (slot[q].permittivity && !separateVacuum) {
            value[q] = 1.0;
            continue;
        }
        // As for a pair: a difference's bar is its own, its last change at least 0.3 of the one
        // before and the bar at least a tenth of what the entries' own changes do to it.
        const double v0 = values[last - 2][q], v1 = values[last - 1][q];
        const double observed = change(v0, v1, value[q]);
        const double settling = std::max(0.3 * std::fabs(v1 - v0), 0.1 * carried[q]);
        error[q] = (slot[q].difference ? std::max(observed, settling) : std::max(observed, carried[q])) + asymmetry[q] +
                   floors.of(fromDielectric[q] != 0) * std::fabs(value[q]) + rounding[q];
        // A bar reaching past what physics allows keeps only its physical part: the middle of
        // that and half its width.
        const double lo = std::max(value[q] - error[q], slot[q].lower);
        const double hi = std::min(value[q] + error[q], slot[q].upper);
        if (lo > value[q] - error[q] || hi < value[q] + error[q]) {
            value[q] = (lo + hi) / 2;
            error[q] = (hi - lo) / 2;
        }
    }
    // Modes whose effective permittivities agree within their bars travel at one speed as far as
    // the solution tells: every combination of them is a mode, and no impedance is theirs.
    for (std::size_t m = 0; m + 1 < n; ++m) {
        const std::size_t a = at.mode(Kind::permittivity, m), b = at.mode(Kind::permittivity, m + 1);
        if (value[b] - value[a] > error[a] + error[b]) continue;
        for (const std::size_t k : {m, m + 1})
            value[at.mode(Kind::modeImpedance, k)] = error[at.mode(Kind::modeImpedance, k)] =
                std::numeric_limits<double>::quiet_NaN();
    }

    const auto entry = [&](std::size_t q) { return MatrixEntry{value[q], error[q]}; };
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            result.capacitance.push_back(entry(at.matrix(Kind::capacitance, i, j)));
            result.capacitanceInAir.push_back(entry(at.matrix(Kind::capacitanceInAir, i, j)));
            result.inductance.push_back(entry(at.matrix(Kind::inductance, i, j)));
            result.impedance.push_back(entry(at.matrix(Kind::impedance, i, j)));
        }
    for (std::size_t m = 0; m < n; ++m) {
        result.modeEffectivePermittivity.push_back(entry(at.mode(Kind::permittivity, m)));
        result.modeImpedance.push_back(entry(at.mode(Kind::modeImpedance, m)));
    }
    std::size_t pair = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j, ++pair)
            result.crosstalk.push_back(
                {i, j, entry(at.crosstalk(Kind::nearEnd, pair)), entry(at.crosstalk(Kind::farEnd, pair))});
    for (std::size_t p = 0; p < pairs.size(); ++p)
        result.pairs.push_back({pairs[p].first, pairs[p].second, entry(at.pair(p, differential)),
                                entry(at.pair(p, commonMode)), entry(at.pair(p, oddMode)), entry(at.pair(p, evenMode)),
                                entry(at.pair(p, coupling))});
    return result;
}

}  // namespace plattor
