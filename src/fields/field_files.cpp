#include "fields/field_files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "matrix/error.hpp"
#include "matrix/text.hpp"

namespace plattor {

Matrix fieldTable(const FieldGrid& grid, const Matrix& body) {
    const Matrix top = joinStacked(grid.gridXValues, body);
    const Matrix left = joinStacked(Matrix::scalar(0.0), transpose(grid.gridYValues));
    return joinSideBySide(left, top);
}

std::string rowFormat(std::size_t tableColumns) {
    std::string format = "%8.6g";
    for (std::size_t c = 1; c < tableColumns; ++c) format += " %12.6g";
    return format + "\\n";
}

namespace {

// One line of a table through rowFormat: `count` values `stride` apart in storage after
// `first`.
void appendRow(std::string& out, double first, const double* rest, std::size_t count, std::size_t stride) {
    appendGeneral(out, first, 8, 6);
    for (std::size_t c = 0; c < count; ++c) {
        out += ' ';
        appendGeneral(out, rest[c * stride], 12, 6);
    }
    out += '\n';
}

// The text of fieldTable(grid, body), made from the grid and the body without the table.
void appendFieldText(std::string& out, const FieldGrid& grid, const Matrix& body) {
    const std::size_t rows = body.rows();
    const std::size_t cols = body.cols();
    // Fields are 8 and 12 characters wide unless a number needs more; a sixteenth more room
    // spares a reallocation (and a second copy of the text) when a few do.
    out.reserve((rows + 1) * (8 + 13 * cols + 1) * 17 / 16);
    appendRow(out, 0.0, grid.gridXValues.data(), cols, 1);
    for (std::size_t r = 0; r < rows; ++r) appendRow(out, grid.gridYValues[r], body.data() + r, cols, rows);
}

[[noreturn]] void fail(const std::string& fileName, const char* what, int error) {
    throw RunError("cannot " + std::string(what) + " " + fileName + ": " + std::strerror(error));
}

}  // namespace

void replaceFile(const std::string& fileName, const std::string& contents) {
    const std::string temporary = fileName + ".tmp";
    // A stale temporary file (or anything planted under its name) is removed, never written
    // through: the new one is created afresh.
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = ::open(temporary.c_str(), flags, 0666);
    if (fd < 0 && errno == EEXIST) {
        ::unlink(temporary.c_str());
        fd = ::open(temporary.c_str(), flags, 0666);
    }
    if (fd < 0) fail(fileName, "write", errno);

    int error = 0;
    const char* next = contents.data();
    std::size_t left = contents.size();
    while (left > 0 && error == 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0) {
            if (errno != EINTR) error = errno;
        } else {
            next += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), fileName.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail(fileName, "write", error);
    }
}

std::string tableText(const Matrix& table) {
    std::string text;
    text.reserve(table.rows() * (8 + 13 * table.cols()));
    for (std::size_t r = 0; r < table.rows(); ++r)
        if (table.cols() > 0) appendRow(text, table(r, 0), table.data() + r + table.rows(), table.cols() - 1, table.rows());
    return text;
}

void writeFieldFiles(const FieldGrid& grid, const Matrix& potentialGrid, const Matrix& gradientX,
                     const Matrix& gradientY) {
    // One text buffer serves the three files in turn.
    std::string text;
    const struct {
        const char* name;
        const Matrix& body;
    } files[] = {{"hfield3.dat", potentialGrid}, {"exfield3.dat", gradientX}, {"eyfield3.dat", gradientY}};
    for (const auto& file : files) {
        text.clear();
        appendFieldText(text, grid, file.body);
        replaceFile(file.name, text);
    }
}

}  // namespace plattor
