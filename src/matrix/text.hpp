#pragma once
// Numbers as text: the default form used on the console, formatted tables, and text quoted
// in messages.
#include <cstddef>
#include <string>
#include <string_view>

#include "matrix/matrix.hpp"

namespace plattor {

// The default text of a number: whole numbers below 1e15 in magnitude as integers ("10",
// "-3"); other finite values with max(floor(log10|x|) + 5, 5) significant digits ("2.6604",
// "123456.7", "1.5e-05"); "NaN", "Inf", "-Inf".
std::string numberText(double x);
// As above for a 1×1 matrix; the empty matrix gives the empty text.
std::string numberText(const Matrix& x);

// The shortest text that reads back to x exactly ("-1", "0.5", "1e+200"); "NaN", "Inf", "-Inf".
std::string shortestText(double x);

// The decimal places that end at the second significant digit of `error` (a value quoted with
// its error bar is given to that place), at most 20; −1 where error is not positive and finite.
int errorDecimals(double error);

// Text from a file or a command line made fit for a one-line message: at most `limit` bytes,
// "..." after a cut, and every byte outside printable ASCII, '"' and '\\' written as \xNN.
std::string printableExcerpt(std::string_view text, std::size_t limit = 40);

// The elements of `values` in column-major order, each through the next conversion of
// `format`, the format restarted from its beginning until all are used. The format holds
// printf conversions of the form %[flags][width][.precision]g and literal text; "\n"
// (backslash, n) in the format stands for a line end. Always the C locale's decimal point.
std::string formatValues(const std::string& format, const Matrix& values);

}  // namespace plattor
