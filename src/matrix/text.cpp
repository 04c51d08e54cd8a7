#include "matrix/text.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace plattor {

std::string numberText(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    if (x == std::trunc(x) && std::fabs(x) < 1e15)
        return std::to_string(static_cast<long long>(x));  // -0 gives 0
    // Large magnitudes ask for more digits than any fixed buffer would hold (1e150 has 155):
    // the text is sized by a first, measuring call.
    const int digits = std::max(static_cast<int>(std::floor(std::log10(std::fabs(x)))) + 5, 5);
    std::string text(static_cast<std::size_t>(std::snprintf(nullptr, 0, "%.*g", digits, x)), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*g", digits, x);
    return text;
}

int errorDecimals(double error) {
    if (!(error > 0.0) || !std::isfinite(error)) return -1;
    const int firstDigit = static_cast<int>(std::floor(std::log10(error)));
    return std::clamp(1 - firstDigit, 0, 20);
}

std::string shortestText(double x) {
    if (!std::isfinite(x)) return numberText(x);
    char text[32];  // the longest shortest form, "-2.2250738585072014e-308", has 24
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, x);
    assert(r.ec == std::errc());
    return std::string(text, r.ptr);
}

std::string printableExcerpt(std::string_view text, std::size_t limit) {
    std::string shown;
    for (std::size_t k = 0; k < text.size() && k < limit; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789abcdef";
            shown += {'\\', 'x', hex[c >> 4], hex[c & 15]};
        }
    }
    if (text.size() > limit) shown += "...";
    return shown;
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
    std::string printfConversion;  // the conversion as printf takes it
    // Without flags the conversion is std::to_chars in general form, right-aligned in the
    // field: the same characters as printf gives, without its per-call parsing and locale.
    bool plain = false;
    int width = 0;
    int precision = 6;
};

// Precisions up to this take the plain path; its text then fits in a small buffer.
constexpr int plainPrecisionLimit = 64;

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
            const std::size_t flagsStart = k;
            while (k < format.size() && std::string("-+ #0").find(format[k]) != std::string::npos) ++k;
            const bool flags = k > flagsStart;
            while (k < format.size() && format[k] >= '0' && format[k] <= '9')
                piece.width = piece.width * 10 + (format[k++] - '0');
            if (k < format.size() && format[k] == '.') {
                piece.precision = 0;
                for (++k; k < format.size() && format[k] >= '0' && format[k] <= '9'; ++k)
                    piece.precision = piece.precision * 10 + (format[k] - '0');
            }
            assert(k < format.size() && format[k] == 'g');  // the only conversion the program uses
            piece.printfConversion = format.substr(start, k - start + 1);
            piece.plain = !flags && piece.precision <= plainPrecisionLimit;
            pieces.push_back(piece);
        } else {
            literal += c;
        }
    }
    flushLiteral();
    return pieces;
}

// Appends what printf's %<width>.<precision>g gives for x, with no flags: right-aligned,
// widened by a longer number.
void appendGeneral(std::string& out, double x, int width, int precision) {
    assert(precision <= plainPrecisionLimit);
    char text[plainPrecisionLimit + 32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, x, std::chars_format::general, precision);
    assert(r.ec == std::errc());
    const auto length = static_cast<std::size_t>(r.ptr - text);
    if (length < static_cast<std::size_t>(width)) out.append(static_cast<std::size_t>(width) - length, ' ');
    out.append(text, length);
}

void appendConversion(std::string& out, const FormatPiece& piece, double value) {
    if (piece.plain) {
        appendGeneral(out, value, piece.width, piece.precision);
        return;
    }
    char text[plainPrecisionLimit + 32];
    const int n = std::snprintf(text, sizeof text, piece.printfConversion.c_str(), value);
    if (n >= 0 && n < static_cast<int>(sizeof text)) {
        out.append(text, static_cast<std::size_t>(n));
    } else {  // a wide field or a long precision with flags
        std::string wide(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(wide.data(), wide.size(), piece.printfConversion.c_str(), value);
        out.append(wide.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace

std::string formatValues(const std::string& format, const Matrix& values) {
    const std::vector<FormatPiece> pieces = parseFormat(format);
    std::string out;
    std::size_t conversions = 0;
    std::size_t passLength = 0;  // a guess at the text of one pass, to allocate once
    for (const auto& p : pieces) {
        conversions += p.conversion ? 1 : 0;
        passLength += p.conversion ? static_cast<std::size_t>(std::max(p.width, 12)) : p.literal.size();
    }
    if (conversions == 0) {
        if (values.empty()) return out;
        for (const auto& p : pieces) out += p.literal;
        return out;
    }
    out.reserve((values.size() / conversions + 1) * passLength);
    std::size_t next = 0;
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
