#pragma once
// Console output: whole lines on standard output, and a check that they arrived.
#include <string>
#include <vector>

namespace plattor {

void display(const std::string& line);
void display(const std::vector<std::string>& lines);

// A line written at once, after whatever display has buffered: one write of the whole line, so
// that a reader, or a run cut short, sees it whole or not at all.
void displayWhole(const std::string& line);

// Flushes standard output; raises RunError if anything written to it was lost.
void finishConsole();

}  // namespace plattor
