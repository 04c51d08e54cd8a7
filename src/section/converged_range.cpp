#include "section/converged_range.hpp"

#include <cmath>
#include <cstdlib>

#include "base/text.hpp"

namespace plattor {

namespace {

// A ratio given at a limit may land a rounding unit beyond it.
bool inRange(double ratio) { return ratio >= smallestRatio * (1 - 1e-9) && ratio <= largestRatio * (1 + 1e-9); }

}  // namespace

std::string outsideRatioText(double ratio) {
    // ratioText's three digits, or more until the number shown lies outside the range too.
    int digits = 3;
    while (digits < 17 && inRange(std::strtod(formatted("%.*g", digits, ratio).c_str(), nullptr))) ++digits;
    return ratioText(ratio, digits);
}

std::string ratioOutOfRange(const std::vector<NamedLength>& lengths, const std::string& who) {
    const auto present = [](const NamedLength& l) { return l.value > 0 && std::isfinite(l.value); };
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        if (!present(lengths[i])) continue;
        for (std::size_t j = i + 1; j < lengths.size(); ++j) {
            if (!present(lengths[j])) continue;
            const double ratio = lengths[j].value / lengths[i].value;
            if (!inRange(ratio))
                return "the " + lengths[j].name + " is " + outsideRatioText(ratio) + " of the " + lengths[i].name + "; " +
                       who + " resolves " + ratioText(smallestRatio) + " … " + ratioText(largestRatio);
        }
    }
    return {};
}

std::string convergedRangeProblem(double g, double w, double c, double h) {
    std::vector<NamedLength> lengths{{"strip width", w}, {"gap between the strips", std::fabs(c) - w}};
    if (g != 0.0) {
        lengths.push_back({"ground-plane width", g});
        if (h != 0.0) lengths.push_back({"height", std::fabs(h)});
        else lengths.push_back({"gap between the plane and a strip", (std::fabs(c) - w) / 2 - g / 2});
    }
    return ratioOutOfRange(lengths, "the converged solver");
}

}  // namespace plattor
