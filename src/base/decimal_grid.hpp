#pragma once
// Decimal numbers as written, exactly: a grid of points between two of them, and their product.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plattor {

// `count` points from `from` to `to`, decimal numbers as written (parseDecimal's notation, each
// read whole), the ends their own doubles. The points between lie evenly on the decimal grid,
// each the exact decimal from + k·(to − from)/(count − 1) (rounded to 17 significant digits
// where it runs longer), or (`geometric`, both ends above 0) in a constant ratio, each rounded
// to 12 significant digits; each point is the double nearest its decimal, as if typed.
std::vector<double> sweepPoints(std::string_view from, std::string_view to, std::size_t count, bool geometric);

// The product of two decimal numbers as written, exactly, as decimal text ("0.5" and "2.54e-05":
// "127e-7").
std::string decimalProduct(std::string_view a, std::string_view b);

}  // namespace plattor
