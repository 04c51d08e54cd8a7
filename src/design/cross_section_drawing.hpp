#pragma once
// A structure's cross-section to scale with the potential of a mode, as numbers for whoever
// draws it: gnuplot's script (plattor-lines --picture) and the web page's canvas read the same.
#include <string>
#include <vector>

#include "section/board.hpp"
#include "section/structures.hpp"

namespace plattor {

// A length unit as the pictures label it: "mm", or "length unit" for bare lengths.
struct LengthScale {
    std::string unit;  // as on the command line, "" for bare lengths
    double metres;     // of one unit; 1 for bare lengths
};

// A straight piece of a drawing, from (x0, y0) to (x1, y1).
struct DrawnSegment {
    double x0, y0, x1, y1;
};

// A colour of the drawing, the colour of its border in the key, and what it shows: "#c88a4e",
// "#7a4a1f", "conductor".
struct DrawnColour {
    std::string colour;
    std::string border;
    std::string label;
};

// Every length in the user's unit; y up, the ground plane (where there is one) on y = 0.
struct CrossSectionDrawing {
    double x0, x1, y0, y1;  // the window
    // The regions as a raster of `columns` × `rows` cells (RGB bytes, row by row from the
    // bottom), and the key of its colours: the conductors, the vacuum where it shows, each
    // dielectric by its permittivity.
    int columns, rows;
    std::string image;
    std::vector<DrawnColour> key;
    // The potential (volts, the conductors at theirs) at xs[i], ys[j]: potential[j·xs.size() + i].
    std::vector<double> xs, ys, potential;
    // The field's direction at points of a coarser lattice in the dielectrics: arrows from
    // (x0, y0) by (x1, y1), their length growing with |E| up to the lattice's cell.
    std::vector<DrawnSegment> arrows;
    // The faces in the window: conductors' outlines, zero-thickness conductors and the plane,
    // interfaces between dielectrics.
    std::vector<DrawnSegment> outlines, thin, interfaces;
    std::vector<double> levels;  // the equipotentials drawn, volts
    std::string title;           // "microstrip pair, odd mode: left trace at -1 V, right trace at +1 V"
    std::string options;         // "w 0.2 mm, t 0.035 mm, …"
};

// The cross-section of a checked structure in a window a few times the arrangement's size, with
// the potential and field of the even mode (a single trace at 1 V, or a pair's traces both at
// 1 V) or the odd one (a pair's traces at ∓1 V), from the charges solved on the ladder's third
// rung on a grid of `gridLong` points along the window's longer side. The layers and grounds that
// reach far beyond the window are cut at its edges.
CrossSectionDrawing crossSectionDrawing(const Structure& structure, const LengthScale& scale, bool odd, int gridLong);

// The same of a checked board, its conductors at `potentials` (volts, in the board's order; every
// other conductor and plane at 0 V): the field of any excitation.
CrossSectionDrawing boardDrawing(const Board& board, const std::vector<double>& potentials, const LengthScale& scale,
                                 int gridLong);

// A length of the structure in the user's unit, for titles: "0.2 mm".
std::string lengthText(double value, const LengthScale& scale);

// The structure's options as a line of text: "w 0.2 mm, h 0.1 mm, er 4.3".
std::string optionsText(const Structure& s, const LengthScale& scale);

}  // namespace plattor
