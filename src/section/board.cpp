#include "section/board.hpp"

#include <algorithm>

namespace plattor {

double Board::layerBottom(std::size_t k) const {
    double y = 0.0;
    for (std::size_t i = 0; i < k && i < layers.size(); ++i) y += layers[i].thickness;
    return y;
}

std::size_t Board::signalCount() const {
    return static_cast<std::size_t>(
        std::count_if(conductors.begin(), conductors.end(), [](const BoardConductor& c) { return c.signal; }));
}

}  // namespace plattor
