#pragma once
// Comma-separated values as spreadsheets and CSV readers write them (RFC 4180): cells split at
// commas, a cell in double quotes may hold commas, line breaks and "" for a quote.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plattor {

struct CsvRecord {
    std::size_t line;  // where the record starts, from 1
    std::vector<std::string> cells;
};

// The records of `text`, the first one the header: CRLF or LF line ends, blanks around an
// unquoted cell dropped, blank lines skipped. Raises RunError naming `fileName` and the line
// for a quote left open or text after a closing quote.
std::vector<CsvRecord> parseCsv(std::string_view text, const std::string& fileName);

// A cell as written into CSV: as it is, or in double quotes (inner quotes doubled) where it
// holds a comma, a quote, a line break or blanks at an end.
std::string csvCell(std::string_view text);

// Cells joined by commas, each written by csvCell.
std::string csvLine(const std::vector<std::string>& cells);

}  // namespace plattor
