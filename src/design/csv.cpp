#include "design/csv.hpp"

#include <algorithm>
#include <utility>

#include "base/text.hpp"

namespace plattor {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && blank(text[a])) ++a;
    while (b > a && blank(text[b - 1])) --b;
    return text.substr(a, b - a);
}

// The cells of one line; a fault ends the record with the cells read before it.
void splitCells(std::string_view text, CsvRecord& record) {
    const std::string where = "line " + std::to_string(record.line) + ": ";
    std::size_t k = 0;
    for (;;) {
        std::size_t p = k;
        while (p < text.size() && blank(text[p])) ++p;
        std::string cell;
        if (p < text.size() && text[p] == '"') {
            // A quoted cell: up to the closing quote on the same line, "" standing for one.
            for (k = p + 1;; ++k) {
                if (k >= text.size()) {
                    record.error = where + "a quoted cell is not closed on its line";
                    return;
                }
                if (text[k] == '"' && k + 1 < text.size() && text[k + 1] == '"') ++k;
                else if (text[k] == '"') break;
                cell += text[k];
            }
            ++k;
            while (k < text.size() && blank(text[k])) ++k;
            if (k < text.size() && text[k] != ',') {
                record.error = where + "text after a quoted cell's closing quote";
                return;
            }
        } else {
            const std::size_t comma = std::min(text.find(',', k), text.size());
            cell = trimmed(text.substr(k, comma - k));
            k = comma;
        }
        record.cells.push_back(std::move(cell));
        if (k >= text.size()) return;
        ++k;  // the comma
    }
}

}  // namespace

CsvReader::CsvReader(Source source) : source_(std::move(source)) {}

int CsvReader::peek() {
    if (at_ == end_ && !ended_) {
        if (buffer_.empty()) buffer_.resize(65536);
        end_ = source_(buffer_.data(), buffer_.size());
        at_ = 0;
        ended_ = end_ == 0;
    }
    return at_ < end_ ? static_cast<unsigned char>(buffer_[at_]) : -1;
}

int CsvReader::get() {
    const int c = peek();
    if (c >= 0) ++at_;
    return c;
}

std::optional<CsvRecord> CsvReader::next() {
    if (line_ == 0) {
        // A byte-order mark, as some editors put before UTF-8 text.
        for (const char c : std::string_view("\xEF\xBB\xBF")) {
            if (peek() != static_cast<unsigned char>(c)) break;
            get();
        }
    }
    for (;;) {
        // The rest of a line too long to keep, once its record has been given.
        if (skipping_) {
            int c = get();
            while (c >= 0 && c != '\n' && c != '\r') c = get();
            if (c == '\r' && peek() == '\n') get();
            skipping_ = false;
        }
        if (peek() < 0) return std::nullopt;
        CsvRecord record{++line_, {}, {}};
        std::string text;
        int c = get();
        for (; c >= 0 && c != '\n' && c != '\r'; c = get()) {
            if (text.size() == largestCsvLine) {
                // Given at once, before its end is read: the end may never come (/dev/zero).
                skipping_ = true;
                record.error = "line " + std::to_string(record.line) + " is longer than 1 MiB";
                return record;
            }
            text += static_cast<char>(c);
        }
        if (c == '\r' && peek() == '\n') get();
        splitCells(text, record);
        const bool empty = record.error.empty() && record.cells.size() == 1 && record.cells[0].empty();
        if (!empty) return record;
    }
}

}  // namespace plattor
