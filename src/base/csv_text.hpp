#pragma once
// Cells written as CSV, for every table the programs print.
#include <string>
#include <string_view>
#include <vector>

namespace plattor {

// A cell as written into CSV: as it is, or in double quotes (inner quotes doubled) where it
// holds a comma, a quote, a line break or blanks at an end. A cell a spreadsheet would take for
// a formula (starting with =, +, -, @, a tab or a CR) and that is not a decimal number is
// written as text: in quotes after a single quote ("'=1+2"); "-0.5" and "-2.67e-12" stay numbers.
std::string csvCell(std::string_view text);

// Cells joined by commas, each written by csvCell.
std::string csvLine(const std::vector<std::string>& cells);

}  // namespace plattor
