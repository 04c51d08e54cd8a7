#pragma once
// The conductor model: flat horizontal strips, each cut into equal segments whose charge
// densities are the unknowns. Segments are numbered conductor by conductor, conductor 0
// first, and within a conductor from its left edge.
#include <cstddef>
#include <vector>

namespace plattor {

// The unknowns owned by one conductor: rows and columns first … first+count−1.
struct SegmentRange {
    std::size_t first;
    std::size_t count;
};

// One entry per conductor in every list.
struct ConductorModel {
    std::vector<double> conductorWidths;    // W(k)
    std::vector<double> conductorX;         // x of each conductor's centre
    std::vector<double> conductorY;         // height of each conductor
    std::vector<std::size_t> segmentCounts; // n(k) ≥ 1
    std::vector<double> segmentWidths;      // h(k) = W(k) / n(k)

    std::size_t conductorCount() const { return conductorWidths.size(); }
    std::size_t segmentCount(std::size_t k) const { return segmentCounts[k]; }
    std::size_t totalSegments() const;               // M, the sum of the segment counts
    SegmentRange segmentRange(std::size_t k) const;  // from the sums of the leading counts
    // Centre x of every segment of conductor k: ((t − 0.5)·h − W·0.5) + c for t = 1 … n.
    std::vector<double> segmentCentres(std::size_t k) const;
};

// The same conductors measured in units of `unit` (a power of two keeps every length exact).
ConductorModel inUnitsOf(const ConductorModel& model, double unit);

}  // namespace plattor
