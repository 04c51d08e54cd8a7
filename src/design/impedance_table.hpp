#pragma once
// A board's controlled-impedance table: on each signal layer's cross-section, the trace width
// for each single-ended target, the width and gap for each differential one, and what etching
// and the laminate's permittivity tolerance do to the impedance there.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "design/solve_dimension.hpp"
#include "lines/line_losses.hpp"
#include "lines/quantities.hpp"
#include "section/board.hpp"
#include "section/structures.hpp"

namespace plattor {

// What a trace on a signal layer sees, as a board: the dielectric layers between its planes (or
// from its plane to the face, with the mask), its bottom face's height and its thickness. Metres.
struct TraceStack {
    Board board;  // no conductors: the trace, or a pair, is placed by traceBoard
    double base = 0.0;
    double thickness = 0.0;
};

// The stack with one trace `width` wide centred on it, or (gap given) a pair `gap` apart marked
// as a pair.
Board traceBoard(const TraceStack& stack, double width, double gap);

struct ImpedanceTarget {
    Quantity quantity;  // impedance (a single trace) or differentialImpedance (a pair)
    double ohms;
};

// How a pair's lengths are chosen: the gap held and the width solved, the width held and the gap
// solved, or (both absent) the gap kept equal to the width and both solved. Metres.
struct PairSpacing {
    double gap = absent;
    double width = absent;
};

// The production tolerances: ±etch on a trace's width (metres; a pair's gap narrows as its traces
// widen, the pitch holds) and ±permittivity, a fraction, on the laminate (er and er-top; the
// mask is another material).
struct Tolerances {
    double etch;
    double permittivity;
};

struct ImpedanceRow {
    std::size_t section = 0;  // the cross-section it belongs to
    ImpedanceTarget target{};
    SolvedLength solved{};  // every quantity at the solved lengths
    double width = absent, widthError = absent;
    double gap = absent, gapError = absent;  // a pair's
    // The target quantity's change for +etch and for +tolerance: half its difference between the
    // two converged forward solves at ±etch (±tolerance), the central difference, which is
    // d(Z)/d(width)·etch to second order. NaN where a side leaves the structure's range.
    double etchChange = absent, permittivityChange = absent;
    // The attenuation at the loss request's frequency, dB/m: a single trace's, a pair's odd
    // mode's (its differential signal's). Absent where no losses were asked for.
    double attenuation = absent, attenuationError = absent;
    std::string error;  // why the row has no solution
};

// Every section with every target, in that order (a differential target on a pair of the
// section's traces), solved on `threads` threads: first each row's lengths by solveLength,
// then the four forward solves of its tolerances and, where `losses` is given (one frequency),
// the line's losses at the solved lengths (lineLosses). A row that cannot be solved carries its
// reason in `error` (its refusals name the section as `layerNames` does: "stripline"); an
// interrupt goes on to the caller as Interrupted.
std::vector<ImpedanceRow> impedanceTable(const std::vector<TraceStack>& sections,
                                         const std::vector<std::string>& layerNames,
                                         const std::vector<ImpedanceTarget>& targets, const PairSpacing& spacing,
                                         const Tolerances& tolerances, const std::optional<LossRequest>& losses,
                                         unsigned threads);

}  // namespace plattor
