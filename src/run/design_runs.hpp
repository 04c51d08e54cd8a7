#pragma once
// What plattor-lines does beyond one forward run: a length solved for a target, an option swept,
// a file of structures solved on every core, a picture of the cross-section.
#include <cstddef>
#include <optional>
#include <string>

#include "design/quantity_table.hpp"
#include "design/solve_dimension.hpp"
#include "lines/quantities.hpp"
#include "section/board_file.hpp"
#include "section/structure_arguments.hpp"

namespace plattor {

struct SolveRequest {
    const StructureOption* dimension;
    Quantity quantity;
    double target;  // SI units (ohm)
};

struct PictureRequest {
    std::string fileName;
    std::optional<bool> odd;  // the mode; by default a pair's odd one, a single trace's even one
};

// Solves for the length and prints it with its uncertainty, then the report at it (text or JSON
// with "solved"); draws the picture there if asked.
void runSolve(const StructureInput& input, const SolveRequest& request, bool json,
              const std::optional<PictureRequest>& picture);

// Prints the sweep as CSV, a row written whole as each point is done: the swept option, every
// quantity and its error, the reason of a point without a solution; draws the impedances into
// `plotFile` if given (a RunError after the rows where no point has them). Interrupted, it raises
// a RunError saying how many rows the output holds.
void runSweep(StructureInput input, const SweepRequest& request, const std::optional<std::string>& plotFile,
              unsigned threads);

// The same for a cross-section file: the number at the path request.name swept (FROM and TO as
// the file's values, in one unit); the columns of the first point's kind of board: a line's
// quantities, or each value line of N conductors' report.
void runFileSweep(BoardFile file, const SweepRequest& request, unsigned threads);

// The number at `path` of a cross-section file (one trace, or a marked pair of mirror images)
// at which `quantity` meets `target`, as runSolve finds a structure's length: its value with its
// uncertainty (in the file's unit), then the report there; JSON with "solved".
void runFileSolve(const BoardFile& file, const std::string& path, Quantity quantity, double target, bool json);

// Solves a CSV file of structures ("-": standard input), one a line, on `threads` threads and
// prints the rows in their order with every quantity and its error, or the reason a row has none,
// reading a line at a time and writing each row whole. Interrupted, it raises a RunError saying
// how many rows the output holds.
void runBatch(const std::string& fileName, unsigned threads);

// Draws the checked structure's cross-section with the field of the requested mode.
void drawPicture(const Structure& structure, const std::string& lengthUnit, const PictureRequest& picture);

}  // namespace plattor
