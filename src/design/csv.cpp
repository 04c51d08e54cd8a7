#include "design/csv.hpp"

#include "matrix/error.hpp"

namespace plattor {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& text) {
    std::size_t a = 0, b = text.size();
    while (a < b && blank(text[a])) ++a;
    while (b > a && blank(text[b - 1])) --b;
    return text.substr(a, b - a);
}

}  // namespace

std::vector<CsvRecord> parseCsv(std::string_view text, const std::string& fileName) {
    std::vector<CsvRecord> records;
    std::size_t k = 0, line = 1;
    while (k < text.size()) {
        CsvRecord record{line, {}};
        bool endOfRecord = false;
        while (!endOfRecord) {
            std::string cell;
            std::size_t p = k;
            while (p < text.size() && blank(text[p])) ++p;
            if (p < text.size() && text[p] == '"') {
                // A quoted cell: up to the closing quote, "" standing for one.
                const std::size_t opened = line;
                k = p + 1;
                for (;;) {
                    if (k >= text.size())
                        throw RunError(fileName + ": line " + std::to_string(opened) + ": a quoted cell is not closed");
                    if (text[k] == '"') {
                        if (k + 1 < text.size() && text[k + 1] == '"') {
                            cell += '"';
                            k += 2;
                            continue;
                        }
                        ++k;
                        break;
                    }
                    if (text[k] == '\n') ++line;
                    cell += text[k++];
                }
                while (k < text.size() && blank(text[k])) ++k;
                if (k < text.size() && text[k] != ',' && text[k] != '\n' && text[k] != '\r')
                    throw RunError(fileName + ": line " + std::to_string(line) +
                                   ": text after a quoted cell's closing quote");
            } else {
                while (k < text.size() && text[k] != ',' && text[k] != '\n' && text[k] != '\r') cell += text[k++];
                cell = trimmed(cell);
            }
            record.cells.push_back(cell);
            if (k < text.size() && text[k] == ',') {
                ++k;
                continue;
            }
            // The end of the record: LF, CRLF, a lone CR, or the end of the text.
            if (k < text.size() && text[k] == '\r') ++k;
            if (k < text.size() && text[k] == '\n') ++k;
            ++line;
            endOfRecord = true;
        }
        const bool empty = record.cells.size() == 1 && record.cells[0].empty();
        if (!empty) records.push_back(std::move(record));
    }
    return records;
}

std::string csvCell(std::string_view text) {
    const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                        (!text.empty() && (blank(text.front()) || blank(text.back())));
    if (!quoted) return std::string(text);
    std::string cell = "\"";
    for (const char c : text) {
        if (c == '"') cell += '"';
        cell += c;
    }
    return cell + '"';
}

std::string csvLine(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        if (k > 0) line += ',';
        line += csvCell(cells[k]);
    }
    return line;
}

}  // namespace plattor
