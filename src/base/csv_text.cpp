#include "base/csv_text.hpp"

#include "base/text.hpp"

namespace plattor {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string csvCell(std::string_view text) {
    const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos &&
                         parseDecimal(text).length != text.size();
    const bool quoted = formula || text.find_first_of(",\"\r\n") != std::string_view::npos ||
                        (!text.empty() && (blank(text.front()) || blank(text.back())));
    if (!quoted) return std::string(text);
    std::string cell = formula ? "\"'" : "\"";
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
