#include "base/decimal_grid.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/text.hpp"

namespace plattor {

namespace {

// 128-bit integers (a GCC and Clang extension): a sweep's grid in 32 digits times 10^5 points.
__extension__ typedef __int128 Wide;
__extension__ typedef unsigned __int128 UnsignedWide;

// A decimal number exactly: ±digits·10^exponent, the digits without leading or trailing zeros
// ("" for 0).
struct ExactDecimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// d without leading or trailing zeros in its digits.
ExactDecimal trimmed(ExactDecimal d) {
    d.digits.erase(0, std::min(d.digits.find_first_not_of('0'), d.digits.size()));
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back(), ++d.exponent;
    return d;
}

// `text` in parseDecimal's notation, read whole.
ExactDecimal exactDecimal(std::string_view text) {
    ExactDecimal d;
    std::size_t k = 0;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) d.negative = text[k++] == '-';
    for (; k < text.size() && isDigit(text[k]); ++k) d.digits += text[k];
    if (k < text.size() && text[k] == '.')
        for (++k; k < text.size() && isDigit(text[k]); ++k) d.digits += text[k], --d.exponent;
    if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
        ++k;
        const bool down = k < text.size() && text[k] == '-';
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        long e = 0;  // past a double's range either way: held short of overflow
        for (; k < text.size() && isDigit(text[k]); ++k) e = std::min(e * 10 + (text[k] - '0'), 100000L);
        d.exponent += down ? -e : e;
    }
    assert(k == text.size());
    return trimmed(d);
}

std::string decimalText(const ExactDecimal& d) {
    if (d.digits.empty()) return "0";
    return (d.negative ? "-" : "") + d.digits + "e" + std::to_string(d.exponent);
}

double decimalValue(const ExactDecimal& d) { return parseDecimal(decimalText(d)).value; }

// |d| in units of 10^unit, the digits below it rounded half up. Precondition: it fits.
UnsignedWide scaled(const ExactDecimal& d, long unit) {
    UnsignedWide m = 0;
    for (std::size_t k = 0; k < d.digits.size(); ++k) {
        const long place = d.exponent + static_cast<long>(d.digits.size() - 1 - k);
        if (place >= unit) m = m * 10 + static_cast<unsigned>(d.digits[k] - '0');
        else if (place == unit - 1 && d.digits[k] >= '5') ++m;
    }
    for (long place = d.exponent; place > unit; --place) m *= 10;
    return m;
}

// m·10^exponent with at most 17 significant digits, the rest rounded half up.
ExactDecimal roundedDecimal(bool negative, std::string digits, long exponent) {
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    constexpr std::size_t kept = 17;
    if (digits.size() > kept) {
        bool up = digits[kept] >= '5';
        exponent += static_cast<long>(digits.size() - kept);
        digits.resize(kept);
        for (std::size_t k = kept; up; --k) {
            if (k == 0) {
                digits.insert(digits.begin(), '1');
                break;
            }
            up = digits[k - 1] == '9';
            digits[k - 1] = up ? '0' : static_cast<char>(digits[k - 1] + 1);
        }
    }
    return trimmed({negative, digits, exponent});
}

std::string integerDigits(UnsignedWide m) {
    std::string digits;
    for (; m > 0; m /= 10) digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    return digits;
}

}  // namespace

std::vector<double> sweepPoints(std::string_view from, std::string_view to, std::size_t count, bool geometric) {
    const ExactDecimal a = exactDecimal(from), b = exactDecimal(to);
    std::vector<double> points = {decimalValue(a)};
    if (count == 1) return points;
    const auto den = static_cast<UnsignedWide>(count - 1);
    // Both ends in units of 10^unit, at most 32 digits: the sums below stay within 128 bits for
    // up to 10^5 points, and 32 digits are far more than the 17 a point keeps.
    long low = 0, top = 0;
    bool seen = false;
    for (const ExactDecimal* d : {&a, &b}) {
        if (d->digits.empty()) continue;
        low = seen ? std::min(low, d->exponent) : d->exponent;
        const long first = d->exponent + static_cast<long>(d->digits.size());
        top = seen ? std::max(top, first) : first;
        seen = true;
    }
    const long unit = std::max(low, top - 32);
    const auto signedScaled = [&](const ExactDecimal& d) {
        const auto m = static_cast<Wide>(scaled(d, unit));
        return d.negative ? -m : m;
    };
    const Wide sa = signedScaled(a), sb = signedScaled(b);
    char text[40];
    for (std::size_t k = 1; k + 1 < count; ++k) {
        if (geometric) {
            const double f = static_cast<double>(k) / static_cast<double>(count - 1);
            std::snprintf(text, sizeof text, "%.11e", points.front() * std::pow(decimalValue(b) / points.front(), f));
            points.push_back(parseDecimal(text).value);
            continue;
        }
        // (a·(n − 1) + k·(b − a)) / (n − 1) by long division, to one digit past the 17 kept.
        const Wide num = sa * static_cast<Wide>(den) + static_cast<Wide>(k) * (sb - sa);
        UnsignedWide m = num < 0 ? static_cast<UnsignedWide>(-num) : static_cast<UnsignedWide>(num);
        std::string digits = integerDigits(m / den);
        long exponent = unit;
        for (UnsignedWide r = m % den; r != 0 && digits.size() < 18; r %= den) {
            r *= 10;
            digits += static_cast<char>('0' + static_cast<int>(r / den));
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
            --exponent;
        }
        points.push_back(decimalValue(roundedDecimal(num < 0, digits, exponent)));
    }
    points.push_back(decimalValue(b));
    return points;
}

std::string decimalProduct(std::string_view a, std::string_view b) {
    const ExactDecimal x = exactDecimal(a), y = exactDecimal(b);
    std::vector<int> sum(x.digits.size() + y.digits.size(), 0);
    for (std::size_t i = x.digits.size(); i-- > 0;)
        for (std::size_t j = y.digits.size(); j-- > 0;) sum[i + j + 1] += (x.digits[i] - '0') * (y.digits[j] - '0');
    for (std::size_t k = sum.size(); k-- > 1;) sum[k - 1] += sum[k] / 10, sum[k] %= 10;
    std::string digits;
    for (const int d : sum) digits += static_cast<char>('0' + d);
    return decimalText(trimmed({x.negative != y.negative, digits, x.exponent + y.exponent}));
}

}  // namespace plattor
