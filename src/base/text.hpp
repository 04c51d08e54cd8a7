#pragma once
// Numbers as text: the default form used on the console, the columns of the field tables, and
// text quoted in messages.
#include <cstddef>
#include <string>
#include <string_view>

namespace plattor {

// The decimal number at the start of `text`: [+-] digits [. digits] [(e|E) [+-] digits], at
// least one digit before the exponent, nothing else (no blanks, no hexadecimal, no inf or nan);
// an exponent marker without digits is not part of it. `length` is 0 where `text` does not
// start with one; `inRange` is false for a number beyond a double: an overflow, an underflow or
// a subnormal (whose square would vanish). The reader of the input file and the programs'
// options read numbers through this one function.
struct Decimal {
    std::size_t length;
    bool inRange;
    double value;  // 0 unless inRange
};
Decimal parseDecimal(std::string_view text);

// The default text of a number: whole numbers below 1e15 in magnitude as integers ("10",
// "-3"); other finite values with max(floor(log10|x|) + 5, 5) significant digits ("2.6604",
// "123456.7", "1.5e-05"); "NaN", "Inf", "-Inf".
std::string numberText(double x);

// The shortest text that reads back to x exactly ("-1", "0.5", "1e+200"); "NaN", "Inf", "-Inf".
std::string shortestText(double x);

// What shortestText and parseDecimal compute through printf and strtod, where the C++ library
// has no floating-point to_chars and from_chars (Emscripten's libc++): the same text; the value
// of a number parseDecimal measured (without a '+'), and whether it is a normal double or 0.
std::string shortestTextByPrintf(double x);
bool decimalByStrtod(std::string_view number, double& value);

// A ratio in few characters: `digits` significant digits, the exponent without '+' or leading
// zeros ("1e-16", "2.5e7", "0.5").
std::string ratioText(double ratio, int digits = 3);

// printf of one number with a precision ("%.*g", "%.*f", "%.*e"), as long as it takes: the one
// formatter behind every number text but the shortest and the field tables'.
std::string formatted(const char* format, int precision, double x);

// Text from a file or a command line made fit for a one-line message: at most `limit` bytes,
// "..." after a cut, and every byte outside printable ASCII, '"' and '\\' written as \xNN.
std::string printableExcerpt(std::string_view text, std::size_t limit = 40);

// Appends x with six significant digits, right-aligned in `width` characters and widened by a
// longer number: what printf's "%<width>.6g" writes in the C locale ("1.23457e-05", "-0",
// "inf", "nan").
void appendSixDigits(std::string& text, double x, std::size_t width);

}  // namespace plattor
