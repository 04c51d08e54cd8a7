#include "section/converged_range.hpp"

#include "matrix/text.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace plattor {

std::string convergedRangeProblem(double g, double w, double c, double h) {
    struct Length {
        const char* name;
        double value;
    };
    // A ratio is named against the earlier length of the pair.
    std::vector<Length> lengths{{"strip width", w}, {"gap between the strips", std::fabs(c) - w}};
    if (g != 0.0) {
        lengths.push_back({"ground-plane width", g});
        if (h != 0.0) lengths.push_back({"height", std::fabs(h)});
        else lengths.push_back({"gap between the plane and a strip", (std::fabs(c) - w) / 2 - g / 2});
    }
    // The first pair out of range, the strip width's ratios first.
    std::string text;
    for (std::size_t i = 0; i < lengths.size() && text.empty(); ++i) {
        for (std::size_t j = i + 1; j < lengths.size() && text.empty(); ++j) {
            // A ratio given at a limit may land a rounding unit beyond it.
            const double ratio = lengths[j].value / lengths[i].value;
            if (!(ratio >= convergedRatioMin * (1 - 1e-9) && ratio <= convergedRatioMax * (1 + 1e-9)))
                text = std::string("the ") + lengths[j].name + " is " + ratioText(ratio) + " of the " + lengths[i].name;
        }
    }
    if (text.empty()) return text;
    return text + "; the converged solver resolves " + ratioText(convergedRatioMin) + " … " +
           ratioText(convergedRatioMax);
}

}  // namespace plattor
