#include "moment/assembly/conductors.hpp"

#include <cassert>

namespace plattor {

std::size_t ConductorModel::totalSegments() const {
    std::size_t m = 0;
    for (std::size_t k = 0; k < conductorCount(); ++k) m += segmentCount(k);
    return m;
}

SegmentRange ConductorModel::segmentRange(std::size_t k) const {
    assert(k < conductorCount());
    std::size_t first = 0;
    for (std::size_t l = 0; l < k; ++l) first += segmentCount(l);
    return {first, segmentCount(k)};
}

std::vector<double> ConductorModel::segmentCentres(std::size_t k) const {
    const std::size_t n = segmentCount(k);
    const double h = segmentWidths[k];
    std::vector<double> centres(n);
    for (std::size_t s = 0; s < n; ++s)
        centres[s] = ((static_cast<double>(s + 1) - 0.5) * h - conductorWidths[k] * 0.5) + conductorX[k];
    return centres;
}

ConductorModel inUnitsOf(const ConductorModel& model, double unit) {
    ConductorModel m = model;
    for (std::vector<double>* lengths : {&m.conductorWidths, &m.conductorX, &m.conductorY, &m.segmentWidths})
        for (double& length : *lengths) length /= unit;
    return m;
}

}  // namespace plattor
