#include "moment/fields/field_files.hpp"

#include <cassert>

#include "base/text.hpp"

namespace plattor {

void fieldTableText(const FieldGrid& grid, const Matrix& body, std::string& text) {
    assert(body.rows() == grid.gridYValues.size() && body.cols() == grid.gridXValues.size());
    // A line holds the first number in 8 characters and every further one in 13 (a space and
    // 12), widened only by the rare number longer than its field.
    text.clear();
    text.reserve((body.rows() + 1) * (9 + 13 * body.cols()));
    appendSixDigits(text, 0.0, 8);
    for (const double x : grid.gridXValues) {
        text += ' ';
        appendSixDigits(text, x, 12);
    }
    text += '\n';
    for (std::size_t i = 0; i < body.rows(); ++i) {
        appendSixDigits(text, grid.gridYValues[i], 8);
        for (std::size_t j = 0; j < body.cols(); ++j) {
            text += ' ';
            appendSixDigits(text, body(i, j), 12);
        }
        text += '\n';
    }
}

void writeFieldFiles(const FieldGrid& grid, const Matrix& potentialGrid, const Matrix& gradientX,
                     const Matrix& gradientY) {
    FileReplacement files(".", {"hfield3.dat", "exfield3.dat", "eyfield3.dat"});
    std::string text;  // one buffer for the three tables
    fieldTableText(grid, potentialGrid, text);
    files.stage("hfield3.dat", text);
    fieldTableText(grid, gradientX, text);
    files.stage("exfield3.dat", text);
    fieldTableText(grid, gradientY, text);
    files.stage("eyfield3.dat", text);
    files.commit();
}

}  // namespace plattor
