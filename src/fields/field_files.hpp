#pragma once
// The three field tables: x coordinates across the top, y coordinates down the left, 0 in
// the corner, the grid in the body.
#include <string>

#include "fields/fields.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// (rows+1)×(cols+1): [0, x values; y values, body].
Matrix fieldTable(const FieldGrid& grid, const Matrix& body);

// "%8.6g" followed by one " %12.6g" per further column and a line end.
std::string rowFormat(std::size_t tableColumns);

// The text of a table: one line per row, each row through rowFormat.
std::string tableText(const Matrix& table);

// Writes contents to `fileName` in the working directory through a temporary file beside it,
// renamed over the old file only once written and closed without error, so a failed or
// interrupted run never leaves a torn file. A failure raises RunError naming the file and
// the system's reason, and removes the temporary file.
void replaceFile(const std::string& fileName, const std::string& contents);

// "hfield3.dat" (potential), "exfield3.dat" (x differences), "eyfield3.dat" (y differences).
void writeFieldFiles(const FieldGrid& grid, const Matrix& potentialGrid, const Matrix& gradientX,
                     const Matrix& gradientY);

}  // namespace plattor
