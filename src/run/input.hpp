#pragma once
// The input file: four lengths in one unit, separated by white space.
#include <string>
#include <string_view>
#include <vector>

#include "base/text.hpp"

namespace plattor {

inline constexpr const char* inputFileName = "indata3.txt";

struct InputValues {
    double groundWidth;     // 0 exactly: no ground plane
    double stripWidth;
    double centreDistance;  // between the strip centres
    double stripHeight;     // above the ground plane
};


// The first four numbers of `text`, in decimal notation (optional sign, digits with an
// optional point, optional exponent), separated by white space; anything after the fourth is
// ignored. Fewer than four numbers, or a number beyond the range of a double, raises
// RunError naming `fileName`, the count found and where reading stopped.
InputValues parseInput(std::string_view text, const std::string& fileName);

// Reads and parses the file (its first MiB); a file that cannot be opened or read, or is not
// a plain file, raises RunError.
InputValues readInputFile(const std::string& fileName);

// Rejects what the conductor model cannot represent: lengths whose squares leave the range of a
// double, a strip width ≤ 0, a negative ground-plane width, overlapping strips, and strips in
// the ground plane's plane overlapping it. Precondition: finite values, as parseInput yields.
void checkLengths(const InputValues& input, const std::string& fileName);

// checkLengths, and also a field grid that is degenerate or too large.
void checkInput(const InputValues& input, const std::string& fileName);

// Console lines 1 to 7: the banner, the four labelled values, a blank line, the assembly notice.
std::vector<std::string> echoLines(const InputValues& input);

}  // namespace plattor
