#pragma once
// Whether a board's cross-section is one the solver takes: physical, referenced, and within the
// range of proportions it resolves.
#include <string>
#include <vector>

#include "section/board.hpp"
#include "section/face.hpp"

namespace plattor {

// Raises RunError "<source>: <why>" in one line where the board is not one the solver takes,
// naming the culprit by its place as a cross-section file writes it ("layers[2].er",
// "conductors[1] (\"n\")"): more than mostLayers layers or mostConductors conductors; a layer
// thickness, width, radius or coating thickness that is not positive; a permittivity outside
// 1 … largestPermittivity or a negative loss tangent; a plane outside its layer, cut-outs that
// are empty or overlap, planes that touch; a polygon that is not simple and counter-clockwise;
// a tube's inner radius not below its radius; a trace taken to the board's edge that is not a
// ground; conductors that touch or overlap each other or a plane (the bottom plane is y ≤ 0,
// the top one y ≥ the stack's top face), where a conductor in a tube's hollow keeps clear of its
// wall; a layer's face through a tube or a polygon's notch; a coating with a top
// plane or without a layer; a pair that is not two distinct signal conductors, or a conductor
// in two pairs; no signal conductor, no reference (no plane and no ground conductor); lengths
// and clearances whose ratios leave smallestRatio … largestRatio. Lengths in the message are
// shown in `displayUnit` where the board's are metres.
void checkBoard(const Board& board, const std::string& source, const std::string& displayUnit = "");

// Empty where the corners make a simple polygon: at least three, none repeated, no two sides
// meeting but neighbours at their shared corner; else what is wrong, naming corners by index.
std::string polygonProblem(const std::vector<Point>& corners);

}  // namespace plattor
