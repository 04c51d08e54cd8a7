// Writes the Touchstone file of a uniform line from its per-unit-length values, for the Python
// check that reads it back with another reader.
// Usage: write_line_files FILE LENGTH Z0 F1,F2,... R L G C [R12 L12 G12 C12]
//   four values: a single line (2 ports); eight: a symmetric pair, self then mutual (4 ports).
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "losses/network_files.hpp"

int main(int argc, char** argv) {
    using namespace plattor;
    if (argc != 9 && argc != 13) {
        std::fprintf(stderr, "usage: %s FILE LENGTH Z0 F1,F2,... R L G C [R12 L12 G12 C12]\n", argv[0]);
        return 2;
    }
    try {
        const std::string file = argv[1];
        const double length = std::atof(argv[2]), z0 = std::atof(argv[3]);
        std::vector<double> frequencies;
        std::istringstream list(argv[4]);
        for (std::string f; std::getline(list, f, ',');) frequencies.push_back(std::atof(f.c_str()));
        std::vector<double> v;
        for (int k = 5; k < argc; ++k) v.push_back(std::atof(argv[k]));
        const std::size_t n = v.size() == 4 ? 1 : 2;
        NetworkData data{2 * n, z0, frequencies, {}};
        for (const double f : frequencies) {
            const std::complex<double> jw(0.0, 2.0 * 3.141592653589793 * f);
            const auto z = [&](std::size_t o) { return v[o] + jw * v[o + 1]; };
            const auto y = [&](std::size_t o) { return v[o + 2] + jw * v[o + 3]; };
            LineMatrices line{n, {z(0)}, {y(0)}};
            if (n == 2) line = {2, {z(0), z(4), z(4), z(0)}, {y(0), y(4), y(4), y(0)}};
            data.s.push_back(scatteringMatrix(line, f, length, z0));
        }
        writeTouchstone(file, data, "uniform line, length " + std::string(argv[2]) + " m");
    } catch (const RunError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
