#include "base/text.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace plattor {

std::string numberText(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    if (x == std::trunc(x) && std::fabs(x) < 1e15)
        return std::to_string(static_cast<long long>(x));  // -0 gives 0
    // Large magnitudes ask for more digits than any fixed buffer would hold (1e150 has 155):
    // the text is sized by a first, measuring call.
    return formatted("%.*g", std::max(static_cast<int>(std::floor(std::log10(std::fabs(x)))) + 5, 5), x);
}

namespace {
bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

Decimal parseDecimal(std::string_view s) {
    std::size_t k = 0;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    std::size_t digits = 0;
    while (k < s.size() && isDecimalDigit(s[k])) ++k, ++digits;
    if (k < s.size() && s[k] == '.') {
        ++k;
        while (k < s.size() && isDecimalDigit(s[k])) ++k, ++digits;
    }
    if (digits == 0) return {0, false, 0.0};
    if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
        std::size_t e = k + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
        const std::size_t exponentStart = e;
        while (e < s.size() && isDecimalDigit(s[e])) ++e;
        if (e > exponentStart) k = e;
    }
    // from_chars takes no leading '+'; the rest is a form it reads in full, so the only
    // failure left is the range.
    std::string_view number = s.substr(0, k);
    if (number.front() == '+') number.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    assert(result.ptr == number.data() + number.size() || result.ec == std::errc::result_out_of_range);
    const bool inRange = result.ec != std::errc::result_out_of_range && (value == 0.0 || std::isnormal(value));
    return {k, inRange, inRange ? value : 0.0};
}

std::string ratioText(double ratio, int digits) {
    const std::string t = formatted("%.*g", digits, ratio);
    const auto e = t.find('e');
    if (e == std::string::npos) return t;
    const int exponent = std::atoi(t.c_str() + e + 1);
    return t.substr(0, e + 1) + std::to_string(exponent);
}

std::string formatted(const char* format, int precision, double x) {
    const int length = std::snprintf(nullptr, 0, format, precision, x);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, precision, x);
    return text;
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

void appendSixDigits(std::string& text, double x, std::size_t width) {
    // The general form with a precision is defined as printf's %g with that precision, in the
    // C locale: the same digits, exponent ("e-05", at least two digits) and trailing zeros
    // dropped, without printf's parsing of a format at every call.
    char digits[24];  // the longest, "-2.22507e-308", has 13
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, x, std::chars_format::general, 6);
    assert(r.ec == std::errc());
    const auto length = static_cast<std::size_t>(r.ptr - digits);
    if (length < width) text.append(width - length, ' ');
    text.append(digits, length);
}

}  // namespace plattor
