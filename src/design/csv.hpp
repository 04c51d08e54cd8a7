#pragma once
// Comma-separated values as spreadsheets and CSV readers write them (RFC 4180): cells split at
// commas, a cell in double quotes may hold commas and "" for a quote. A record is one line: a
// structure's cells are names and numbers, which never hold a line break, and a quote left open
// must not swallow the rows after it.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/csv_text.hpp"

namespace plattor {

// The longest line a record may take: a longer one is that record's error, given as soon as the
// limit is passed, and the rest of it skipped without being kept.
inline constexpr std::size_t largestCsvLine = std::size_t{1} << 20;

struct CsvRecord {
    std::size_t line;  // its line, from 1
    std::vector<std::string> cells;
    // Empty, or why the line is no record ("line 4: a quoted cell is not closed on its line");
    // the cells are then those read before the fault.
    std::string error;
};

// Records read one at a time from a stream of bytes, holding one line at most.
class CsvReader {
public:
    // Fills up to `size` bytes of `buffer` and returns how many, 0 at the end of the input;
    // may raise (a read that fails, an interrupt).
    using Source = std::function<std::size_t(char* buffer, std::size_t size)>;

    explicit CsvReader(Source source);

    // The next record that is not blank (LF, CRLF or a lone CR ends a line; blanks around an
    // unquoted cell dropped; a UTF-8 byte-order mark before the first one skipped), or nothing
    // at the end of the input.
    std::optional<CsvRecord> next();

private:
    int get();   // the next byte, or -1 at the end
    int peek();  // the same without taking it

    Source source_;
    std::string buffer_;
    std::size_t at_ = 0, end_ = 0;  // the bytes of buffer_ not yet taken
    std::size_t line_ = 0;
    bool ended_ = false;
    bool skipping_ = false;  // the rest of a line too long to keep
};


}  // namespace plattor
