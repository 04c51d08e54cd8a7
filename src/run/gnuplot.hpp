#pragma once
// Drawing with gnuplot: a job's script and files in a scratch directory, the picture copied out.
#include <string>

#include "design/plots.hpp"

namespace plattor {

// Raises RunError naming `option` where gnuplot cannot be run: the GNUPLOT environment variable
// names no executable, or (without it) no gnuplot is on PATH.
void checkGnuplot(const char* option);

// Writes the job into a fresh directory under the system's temporary one, runs gnuplot there,
// copies its picture to `destination` and removes the directory. Raises RunError naming
// `option` where gnuplot is missing or fails (with the first line it printed), and naming
// `destination` where the picture cannot be written there.
void runGnuplot(const GnuplotJob& job, const std::string& destination, const char* option);

}  // namespace plattor
