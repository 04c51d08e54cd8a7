#pragma once
// A CSV text read as plattor-lines reads a batch, a few bytes at a time so that lines and line
// ends fall across the reader's refills.
#include <algorithm>
#include <string>
#include <vector>

#include "design/csv.hpp"

namespace plattor::testing {

inline std::vector<CsvRecord> readCsv(const std::string& text) {
    std::size_t at = 0;
    CsvReader reader([&](char* buffer, std::size_t size) {
        const std::size_t n = text.copy(buffer, std::min<std::size_t>(size, 7), at);
        at += n;
        return n;
    });
    std::vector<CsvRecord> records;
    while (std::optional<CsvRecord> record = reader.next()) records.push_back(std::move(*record));
    return records;
}

}  // namespace plattor::testing
