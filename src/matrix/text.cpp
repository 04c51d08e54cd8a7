#include "matrix/text.hpp"

#include <cassert>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace plattor {

std::string numberText(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    char text[64];
    if (x == std::trunc(x) && std::fabs(x) < 1e15) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(x));  // -0 prints as 0
        return text;
    }
    const int digits = std::max(static_cast<int>(std::floor(std::log10(std::fabs(x)))) + 5, 5);
    std::snprintf(text, sizeof text, "%.*g", digits, x);
    return text;
}

std::string numberText(const Matrix& x) {
    if (x.empty()) return "";
    assert(x.size() == 1);
    return numberText(x[0]);
}

namespace {

// One piece of a format: literal text, or a %g conversion with its width and precision.
struct FormatPiece {
    std::string literal;
    bool conversion = false;
    std::string printfSpec;  // the conversion as printf takes it
};

std::vector<FormatPiece> parseFormat(const std::string& format) {
    std::vector<FormatPiece> pieces;
    std::string literal;
    auto flushLiteral = [&] {
        if (!literal.empty()) pieces.push_back({literal, false, {}});
        literal.clear();
    };
    for (std::size_t k = 0; k < format.size(); ++k) {
        const char c = format[k];
        if (c == '\\' && k + 1 < format.size() && format[k + 1] == 'n') {
            literal += '\n';
            ++k;
        } else if (c == '%' && k + 1 < format.size() && format[k + 1] == '%') {
            literal += '%';
            ++k;
        } else if (c == '%') {
            flushLiteral();
            FormatPiece piece;
            piece.conversion = true;
            const std::size_t start = k++;
            while (k < format.size() && std::string("-+ #0123456789.").find(format[k]) != std::string::npos) ++k;
            assert(k < format.size() && format[k] == 'g');  // the only conversion the program uses
            piece.printfSpec = format.substr(start, k - start + 1);
            pieces.push_back(piece);
        } else {
            literal += c;
        }
    }
    flushLiteral();
    return pieces;
}

void appendConversion(std::string& out, const FormatPiece& piece, double value) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, piece.printfSpec.c_str(), value);
    assert(n >= 0 && n < static_cast<int>(sizeof text));
    out.append(text, static_cast<std::size_t>(n));
}

}  // namespace

std::string formatValues(const std::string& format, const Matrix& values) {
    const std::vector<FormatPiece> pieces = parseFormat(format);
    std::string out;
    std::size_t next = 0;
    bool anyConversion = false;
    for (const auto& p : pieces) anyConversion = anyConversion || p.conversion;
    if (!anyConversion) {
        if (values.empty()) return out;
        for (const auto& p : pieces) out += p.literal;
        return out;
    }
    while (next < values.size()) {
        for (const auto& piece : pieces) {
            if (!piece.conversion) {
                out += piece.literal;
            } else {
                if (next == values.size()) break;  // the last pass stops at the first unused conversion
                appendConversion(out, piece, values[next++]);
            }
        }
    }
    return out;
}

}  // namespace plattor
