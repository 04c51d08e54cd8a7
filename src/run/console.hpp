#pragma once
// Console output: whole lines on standard output, and a check that they arrived.
#include <string>
#include <vector>

namespace plattor {

void display(const std::string& line);
void display(const std::vector<std::string>& lines);

// Flushes standard output; raises RunError if anything written to it was lost.
void finishConsole();

}  // namespace plattor
