#pragma once
// Drawing with gnuplot: a job's script and files in a scratch directory, gnuplot run there for at
// most a time limit, the picture put in place as plattor puts its field files.
#include <string>

#include "design/plots.hpp"

namespace plattor {

// Raises RunError, before the work, where the picture could not be drawn to `destination`:
// naming `option` where gnuplot cannot be run (the GNUPLOT environment variable names no
// executable, or without it no gnuplot is on PATH) or PLATTOR_GNUPLOT_TIMEOUT is not a number
// of seconds above 0; naming `destination` where its directory is missing or not writable, or
// a directory stands under its name.
void checkGnuplot(const std::string& destination, const char* option);

// Flushes the report, writes the job into a fresh directory under the system's temporary one,
// runs gnuplot there in a process group of its own and puts its picture in place: written to a
// temporary beside `destination` and renamed over it (a symbolic link there is replaced, never
// written through; a plain file's permissions are kept). The directory is removed however this
// ends. Raises RunError naming `option` where gnuplot is missing, fails (with the first line it
// printed) or runs longer than the limit (60 s, or PLATTOR_GNUPLOT_TIMEOUT seconds), and
// naming `destination` where the picture cannot be written there; Interrupted where an
// interrupt is asked for while gnuplot runs. gnuplot's group is killed and reaped first.
void runGnuplot(const GnuplotJob& job, const std::string& destination, const char* option);

}  // namespace plattor
