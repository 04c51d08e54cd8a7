#include "base/text.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
#if defined(__cpp_lib_to_chars)
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    assert(result.ptr == number.data() + number.size() || result.ec == std::errc::result_out_of_range);
    const bool inRange = result.ec != std::errc::result_out_of_range && (value == 0.0 || std::isnormal(value));
#else
    double value = 0.0;
    const bool inRange = decimalByStrtod(number, value);
#endif
    return {k, inRange, inRange ? value : 0.0};
}

bool decimalByStrtod(std::string_view number, double& value) {
    const std::string text(number);
    value = std::strtod(text.c_str(), nullptr);
    // An underflow reads as 0 from digits that are not all 0 (the exponent's digits aside).
    const std::string_view mantissa = number.substr(0, number.find_first_of("eE"));
    const bool zeroWritten = mantissa.find_first_of("123456789") == std::string_view::npos;
    return std::isnormal(value) || (value == 0.0 && zeroWritten);
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
#if defined(__cpp_lib_to_chars)
    char text[32];  // the longest shortest form, "-2.2250738585072014e-308", has 24
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, x);
    assert(r.ec == std::errc());
    return std::string(text, r.ptr);
#else
    return shortestTextByPrintf(x);
#endif
}

namespace {

// printf's "%.*e" split into its digits without the point and the power of ten of the first.
struct ScientificDigits {
    std::string digits;
    int exponent;
};

ScientificDigits scientificDigits(double magnitude, int count) {
    const std::string e = formatted("%.*e", count - 1, magnitude);
    const std::size_t marker = e.find('e');
    std::string digits = e.substr(0, marker);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    return {digits, std::atoi(e.c_str() + marker + 1)};
}

// The digits one unit in their last place up or down (999 up is 1000 with the exponent one more).
ScientificDigits lastDigitMoved(ScientificDigits d, int step) {
    int k = static_cast<int>(d.digits.size()) - 1;
    const char wrap = step > 0 ? '9' : '0';
    while (k >= 0 && d.digits[k] == wrap) d.digits[k--] = step > 0 ? '0' : '9';
    if (k < 0) {  // 99…9 up: 10…0, one digit too many, its last dropped
        d.digits.insert(d.digits.begin(), '1');
        d.digits.pop_back();
        ++d.exponent;
        return d;
    }
    d.digits[k] = static_cast<char>(d.digits[k] + step);
    if (d.digits[0] == '0') {  // 10…0 down: 9…9 with the exponent one less
        d.digits.assign(d.digits.size(), '9');
        --d.exponent;
    }
    return d;
}

// Appended piece by piece: GCC 12 warns falsely on a literal + a temporary string.
std::string scientificText(const ScientificDigits& d) {
    std::string text = d.digits.substr(0, 1);
    if (d.digits.size() > 1) text.append(".").append(d.digits, 1);
    const int e = std::abs(d.exponent);
    text += d.exponent < 0 ? "e-" : "e+";
    if (e < 10) text += '0';
    return text.append(std::to_string(e));
}

// A whole number in fixed form is printf's, every digit exact (2^60 is 1152921504606846976, not
// the shortest digits 1152921504606847 padded with zeros), as the C++ library writes it too.
std::string fixedText(const ScientificDigits& d, double magnitude) {
    const int n = static_cast<int>(d.digits.size()), point = d.exponent + 1;  // digits before the point
    if (point <= 0) return std::string("0.").append(static_cast<std::size_t>(-point), '0').append(d.digits);
    if (point >= n) return formatted("%.*f", 0, magnitude);
    return d.digits.substr(0, static_cast<std::size_t>(point)) + "." + d.digits.substr(static_cast<std::size_t>(point));
}

}  // namespace

std::string shortestTextByPrintf(double x) {
    if (!std::isfinite(x)) return numberText(x);
    const double magnitude = std::fabs(x);
    const auto readsBack = [&](const ScientificDigits& d) {
        return std::strtod(scientificText(d).c_str(), nullptr) == magnitude;
    };
    // The fewest digits that read back; of those the nearest, which printf's rounding gives
    // unless the neighbour on the other side of x reads back and it does not: next to a power of
    // two, where the doubles below lie twice as close as those above.
    ScientificDigits d{};
    for (int count = 1; count <= 17; ++count) {
        d = scientificDigits(magnitude, count);
        if (readsBack(d)) break;
        const ScientificDigits up = lastDigitMoved(d, 1), down = lastDigitMoved(d, -1);
        if (readsBack(up)) { d = up; break; }
        if (readsBack(down)) { d = down; break; }
    }
    // Trailing zeros of the digits say nothing; then the shorter of the two forms, fixed on a tie.
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    const std::string scientific = scientificText(d), fixed = fixedText(d, magnitude);
    return (std::signbit(x) ? "-" : "") + (fixed.size() <= scientific.size() ? fixed : scientific);
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
#if defined(__cpp_lib_to_chars)
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, x, std::chars_format::general, 6);
    assert(r.ec == std::errc());
    const auto length = static_cast<std::size_t>(r.ptr - digits);
#else
    const auto length = static_cast<std::size_t>(std::snprintf(digits, sizeof digits, "%.6g", x));
#endif
    if (length < width) text.append(width - length, ' ');
    text.append(digits, length);
}

}  // namespace plattor
