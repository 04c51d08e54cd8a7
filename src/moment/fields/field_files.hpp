#pragma once
// The three field tables: x coordinates across the top, y coordinates down the left, 0 in
// the corner, the grid in the body; and the files they are written to.
#include <string>
#include <utility>
#include <vector>

#include "base/file_replacement.hpp"
#include "moment/fields/fields.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// Replaces `text` with the table of `body` (gridRows×fieldPointsX): a first line of 0 and the
// x values, then per grid row its y value and the row of the body; each line's first number
// as printf's "%8.6g", every further one as " %12.6g", and a line end.
void fieldTableText(const FieldGrid& grid, const Matrix& body, std::string& text);

// "hfield3.dat" (potential), "exfield3.dat" (x differences), "eyfield3.dat" (y differences),
// in the working directory, replaced together.
void writeFieldFiles(const FieldGrid& grid, const Matrix& potentialGrid, const Matrix& gradientX,
                     const Matrix& gradientY);

}  // namespace plattor
