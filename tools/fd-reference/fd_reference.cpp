// fd-reference: even- and odd-mode capacitances of two thin strips on a dielectric slab over a
// finite ground plane, by finite differences on graded tensor-product grids, refined level by
// level and extrapolated (Richardson with the observed order). A reference independent of the
// boundary-integral solver of plattor-lines: it discretises the field, not the charges.
//
// Geometry (lengths in any unit): ground plane y = 0, |x| <= g/2 (thin conductor); slab of
// relative permittivity er filling |x| <= g/2, 0 <= y <= h; strips of width w centred at
// x = ±c/2 on y = h; vacuum elsewhere. The mirror plane x = 0 halves the problem: even mode
// (both strips at 1 V) has no normal field across it, odd mode (+1/−1) zero potential on it.
//
// Discretisation: the potential at the nodes of a tensor-product grid whose lines contain every
// conductor edge, the slab faces and the plane; piecewise-constant permittivity per cell; the
// energy ∫ε|∇φ|² summed cell by cell with the trapezoidal rule for each difference, whose
// minimiser is the five-point finite-volume scheme. The charge per strip is then exactly
// C = ε0·(discrete energy of the unit-potential solution), C/ε0 printed dimensionless.
// Open boundary: the grid grows geometrically to 1e5 times the structure's size, where a
// zero-normal-field box wall sits (the neutral system's far field is a dipole, so the wall
// moves the energy by (size/L)² ~ 1e-10).
// Grading: between consecutive special coordinates the nodes follow t^k/(t^k + (1−t)^k) of a
// uniform parameter (k = 3), so cells shrink like a power towards the strip edges and slab
// corners, where the potential behaves like r^α with α as low as 1/2. Each level doubles every
// interval's node count; the values converge like n^−p and p is measured, not assumed.
//
// Build: g++ -O2 -std=c++20 fd_reference.cpp -o fd-reference -llapack
// Run:   fd-reference g w c h er [levels] [base]   (c = 0: one strip of width w centred at x = 0)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" void dpbsv_(const char* uplo, const int* n, const int* kd, const int* nrhs, double* ab,
                       const int* ldab, double* b, const int* ldb, int* info);

namespace {

constexpr int gradingPower = 3;

// Nodes of one coordinate: sorted special coordinates, power-graded between them, and graded
// plus geometric tails out to ±far (only +far when the lower end is the mirror plane).
struct Axis {
    std::vector<double> nodes;
};

void appendGraded(std::vector<double>& out, double a, double b, int n, bool gradeA, bool gradeB) {
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        double s;
        const double tk = std::pow(t, gradingPower), uk = std::pow(1 - t, gradingPower);
        if (gradeA && gradeB) s = tk / (tk + uk);
        else if (gradeA) s = tk;
        else if (gradeB) s = 1 - uk;
        else s = t;
        out.push_back(a + (b - a) * s);
    }
}

// From b outwards by `direction` (±1): a graded stretch of length d, then geometric to far.
void appendTail(std::vector<double>& out, double b, double d, double far, int n, int direction) {
    std::vector<double> tail;
    appendGraded(tail, 0, d, n, true, false);
    const double ratio = std::log(far / d);
    for (int i = 1; i <= n; ++i) tail.push_back(d * std::exp(ratio * i / n));
    for (double t : tail) out.push_back(b + direction * t);
}

Axis makeAxis(std::vector<double> specials, bool mirrorAtZero, double d, double far, int n) {
    std::sort(specials.begin(), specials.end());
    specials.erase(std::unique(specials.begin(), specials.end()), specials.end());
    Axis axis;
    std::vector<double>& x = axis.nodes;
    if (mirrorAtZero) {
        x.push_back(0.0);
        if (specials.front() > 0) appendGraded(x, 0.0, specials.front(), n, false, true);
    } else {
        std::vector<double> lower;
        appendTail(lower, specials.front(), d, far, n, -1);
        std::reverse(lower.begin(), lower.end());
        x = lower;
        x.push_back(specials.front());
    }
    for (std::size_t k = 1; k < specials.size(); ++k) appendGraded(x, specials[k - 1], specials[k], n, true, true);
    appendTail(x, specials.back(), d, far, n, +1);
    return axis;
}

struct Geometry {
    double g, w, c, h, er;
};

// C/ε0 per strip for one mode on the half plane x >= 0 at grid parameter n.
double modeCapacitance(const Geometry& geo, double er, bool odd, int n) {
    const double x1 = geo.c / 2 - geo.w / 2, x2 = geo.c / 2 + geo.w / 2, xp = geo.g / 2;
    const double size = std::max({geo.g, geo.c + geo.w, geo.h});
    const double far = 1e5 * size;
    std::vector<double> xs = {x2, xp};
    if (x1 > 0) xs.push_back(x1);  // else one strip across the mirror plane
    const Axis ax = makeAxis(xs, true, std::max(geo.h, geo.w), far, n);
    const Axis ay = makeAxis({0.0, geo.h}, false, std::max(geo.h, geo.w), far, n);
    const std::vector<double>& X = ax.nodes;
    const std::vector<double>& Y = ay.nodes;
    const int nx = static_cast<int>(X.size()), ny = static_cast<int>(Y.size());
    const auto within = [](double v, double lo, double hi) {
        const double tol = 1e-12 * (std::abs(lo) + std::abs(hi) + 1);
        return v >= lo - tol && v <= hi + tol;
    };
    const auto close = [](double a, double b) { return std::abs(a - b) <= 1e-12 * (std::abs(a) + std::abs(b) + 1); };

    // Node (i, j): Dirichlet value or free.
    std::vector<signed char> kind(static_cast<std::size_t>(nx) * ny, -1);  // -1 free, 0/1 fixed value
    const auto at = [&](int i, int j) { return static_cast<std::size_t>(j) * nx + i; };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            if (close(Y[j], 0.0) && within(X[i], 0.0, xp)) kind[at(i, j)] = 0;
            if (close(Y[j], geo.h) && within(X[i], x1, x2)) kind[at(i, j)] = 1;
            if (odd && i == 0) kind[at(i, j)] = 0;
        }

    // Cell permittivity: the slab occupies 0 <= x <= g/2, 0 <= y <= h.
    const auto cellEps = [&](int i, int j) {
        const double xm = 0.5 * (X[i] + X[i + 1]), ym = 0.5 * (Y[j] + Y[j + 1]);
        return (xm < xp && ym > 0 && ym < geo.h) ? er : 1.0;
    };
    // Edge weights: horizontal edge (i,j)-(i+1,j) and vertical edge (i,j)-(i,j+1).
    std::vector<double> wx(static_cast<std::size_t>(nx) * ny, 0.0), wy(static_cast<std::size_t>(nx) * ny, 0.0);
    for (int j = 0; j + 1 < ny; ++j)
        for (int i = 0; i + 1 < nx; ++i) {
            const double hx = X[i + 1] - X[i], hy = Y[j + 1] - Y[j], e = cellEps(i, j);
            wx[at(i, j)] += e * hy / (2 * hx);
            wx[at(i, j + 1)] += e * hy / (2 * hx);
            wy[at(i, j)] += e * hx / (2 * hy);
            wy[at(i + 1, j)] += e * hx / (2 * hy);
        }

    // Band storage, lower triangle, ordering along the shorter direction.
    const bool rowsAlongX = nx <= ny;
    const int nn = nx * ny;
    const int kd = rowsAlongX ? nx : ny;
    const auto index = [&](int i, int j) { return rowsAlongX ? j * nx + i : i * ny + j; };
    const int ldab = kd + 1;
    std::vector<double> ab(static_cast<std::size_t>(ldab) * nn, 0.0), rhs(nn, 0.0);
    const auto add = [&](int p, int q, double v) {  // p >= q
        ab[static_cast<std::size_t>(p - q) + static_cast<std::size_t>(q) * ldab] += v;
    };
    const auto couple = [&](int i, int j, int i2, int j2, double weight) {
        const int p = index(i, j), q = index(i2, j2);
        const signed char kp = kind[at(i, j)], kq = kind[at(i2, j2)];
        if (kp < 0) add(p, p, weight);
        if (kq < 0) add(q, q, weight);
        if (kp < 0 && kq < 0) add(std::max(p, q), std::min(p, q), -weight);
        else if (kp < 0) rhs[p] += weight * kq;
        else if (kq < 0) rhs[q] += weight * kp;
    };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            if (i + 1 < nx) couple(i, j, i + 1, j, wx[at(i, j)]);
            if (j + 1 < ny) couple(i, j, i, j + 1, wy[at(i, j)]);
        }
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            if (kind[at(i, j)] >= 0) {
                add(index(i, j), index(i, j), 1.0);
                rhs[index(i, j)] = kind[at(i, j)];
            }
    const int one = 1;
    int info = 0;
    dpbsv_("L", &nn, &kd, &one, ab.data(), &ldab, rhs.data(), &nn, &info);
    if (info != 0) throw std::runtime_error("dpbsv failed, info " + std::to_string(info));

    // Energy of the solution: Σ over edges of weight·(difference)².
    double energy = 0;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const double v = rhs[index(i, j)];
            if (i + 1 < nx) energy += wx[at(i, j)] * std::pow(rhs[index(i + 1, j)] - v, 2);
            if (j + 1 < ny) energy += wy[at(i, j)] * std::pow(rhs[index(i, j + 1)] - v, 2);
        }
    return energy;
}

struct Series {
    std::vector<double> values;
};

// Richardson on the last three levels of a doubling sequence: observed order p and the limit.
void report(const char* name, const std::vector<double>& v) {
    std::printf("%s:", name);
    for (double x : v) std::printf(" %.10f", x);
    std::printf("\n");
    for (std::size_t k = 2; k < v.size(); ++k) {
        const double d1 = v[k - 1] - v[k - 2], d2 = v[k] - v[k - 1];
        const double p = std::log2(d1 / d2);
        const double limit = v[k] + d2 / (std::pow(2.0, p) - 1);
        std::printf("  levels %zu..%zu: order %.3f, extrapolated %.10f (last change %.2e rel)\n", k - 2, k, p, limit,
                    std::abs(d2 / v[k]));
    }
}

// The last extrapolation, with its change from the one a level coarser as the error bar: the
// extrapolations themselves converge at a higher order, so that change bounds what is left.
void summary(const char* name, const std::vector<double>& v) {
    const auto extrapolated = [&](std::size_t k) {
        const double d1 = v[k - 1] - v[k - 2], d2 = v[k] - v[k - 1];
        return v[k] + d2 / (std::pow(2.0, std::log2(d1 / d2)) - 1);
    };
    const std::size_t last = v.size() - 1;
    const double value = extrapolated(last), bar = std::abs(value - extrapolated(last - 1));
    std::printf("%-9s %.8f +- %.1e (%.1f ppm)\n", name, value, bar, 1e6 * bar / value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: fd-reference g w c h er [levels] [base]\n");
        return 2;
    }
    const Geometry geo{std::atof(argv[1]), std::atof(argv[2]), std::atof(argv[3]), std::atof(argv[4]),
                       std::atof(argv[5])};
    const int levels = argc > 6 ? std::atoi(argv[6]) : 4;
    const int base = argc > 7 ? std::atoi(argv[7]) : 8;
    std::vector<double> ce, co, cea, coa;
    if (geo.c == 0) {
        // One strip centred on the mirror plane: the even solution is the strip's, and the half
        // plane holds half its energy.
        for (int level = 0; level < levels; ++level) {
            ce.push_back(2 * modeCapacitance(geo, geo.er, false, base << level));
            cea.push_back(2 * modeCapacitance(geo, 1.0, false, base << level));
        }
        std::printf("C/eps0 of one strip, g %g w %g h %g er %g\n", geo.g, geo.w, geo.h, geo.er);
        report("strip", ce);
        report("strip air", cea);
        if (levels >= 4) {
            summary("strip", ce);
            summary("strip air", cea);
        }
        return 0;
    }
    for (int level = 0; level < levels; ++level) {
        const int n = base << level;
        ce.push_back(modeCapacitance(geo, geo.er, false, n));
        co.push_back(modeCapacitance(geo, geo.er, true, n));
        cea.push_back(modeCapacitance(geo, 1.0, false, n));
        coa.push_back(modeCapacitance(geo, 1.0, true, n));
        std::fprintf(stderr, "level %d (n %d) done\n", level, n);
    }
    std::printf("C/eps0 per strip, g %g w %g c %g h %g er %g\n", geo.g, geo.w, geo.c, geo.h, geo.er);
    report("even", ce);
    report("odd", co);
    report("even air", cea);
    report("odd air", coa);
    if (levels >= 4) {
        summary("even", ce);
        summary("odd", co);
        summary("even air", cea);
        summary("odd air", coa);
    }
    return 0;
}
