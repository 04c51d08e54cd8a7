#pragma once
// The conductor model: flat horizontal strips, each cut into equal segments whose charge
// densities are the unknowns. Segments are numbered conductor by conductor, conductor 0
// first, and within a conductor from its left edge.
#include <cstddef>
#include <vector>

#include "matrix/matrix.hpp"

namespace plattor {

// The unknowns owned by one conductor: rows and columns first … first+count−1.
struct SegmentRange {
    std::size_t first;
    std::size_t count;
};

struct ConductorModel {
    Matrix conductorWidths;  // 1×N, width of each conductor
    Matrix conductorX;       // 1×N, x of each conductor's centre
    Matrix conductorY;       // 1×N, height of each conductor
    Matrix segmentCounts;    // 1×N, whole numbers
    Matrix segmentWidths;    // 1×N, conductorWidths ./ segmentCounts

    std::size_t conductorCount() const { return conductorWidths.size(); }
    std::size_t segmentCount(std::size_t k) const { return static_cast<std::size_t>(segmentCounts[k]); }
    std::size_t totalSegments() const;          // M, the sum of the segment counts
    SegmentRange segmentRange(std::size_t k) const;  // from the sums of the leading counts
    // Centre x of every segment of conductor k: ((t − 0.5)·h − W·0.5) + c for t = 1 … n.
    std::vector<double> segmentCentres(std::size_t k) const;
};

// The same conductors measured in units of `unit` (a power of two keeps every length exact).
ConductorModel inUnitsOf(const ConductorModel& model, double unit);

}  // namespace plattor
