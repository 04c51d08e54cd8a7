#pragma once
// The pictures plattor-lines draws with gnuplot, as a script and its data files: a sweep's
// impedances with their bars, and a structure's cross-section with the field of a mode.
#include <string>
#include <utility>
#include <vector>

#include "design/cross_section_drawing.hpp"
#include "design/quantity_table.hpp"
#include "section/structures.hpp"

namespace plattor {

// A gnuplot script and the files it reads, all by names relative to the directory it runs in;
// it writes its picture to `output` there.
struct GnuplotJob {
    std::string script;
    std::vector<std::pair<std::string, std::string>> files;  // name, contents
    std::string output;
};

// Whether a picture's file name asks for PNG or SVG; raises RunError naming `option` and the
// file for any other ending.
enum class PictureFormat { png, svg };
PictureFormat pictureFormat(const std::string& fileName, const char* option);

// The impedances of a sweep (a single trace's, or a pair's four) against the swept option,
// each point with its bar; points without a solution left out. `values` are the option's
// values in the structure's units, `structure` the first point's.
GnuplotJob sweepPlot(const Structure& structure, const StructureOption& option, const LengthScale& scale,
                     const std::vector<double>& values, const std::vector<StructureSolution>& solutions,
                     bool geometric, PictureFormat format);

// The cross-section of a checked structure to scale (conductors filled, the regions shaded by
// permittivity, the ground planes) in a window a few times the arrangement's size, with the
// equipotentials and the field of the even mode (a single trace at 1 V, or a pair's traces both
// at 1 V) or the odd one (a pair's traces at ∓1 V), from the charges solved on the ladder's
// finest mesh. The layers and grounds that reach far beyond the window are cut at its edges.
GnuplotJob crossSectionPicture(const Structure& structure, const LengthScale& scale, bool odd, PictureFormat format);
// The same of a checked board with its conductors at `potentials` (the board's order).
GnuplotJob boardPicture(const Board& board, const std::vector<double>& potentials, const LengthScale& scale,
                        PictureFormat format);
// A drawing as gnuplot's script and data.
GnuplotJob drawingPicture(const CrossSectionDrawing& drawing, const LengthScale& scale, PictureFormat format);

}  // namespace plattor
