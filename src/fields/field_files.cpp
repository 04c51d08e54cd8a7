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
    // The format holds one row's worth of conversions and is applied to the transpose in
    // column-major order, so each line of text is one row of the table.
    return formatValues(rowFormat(table.cols()), transpose(table));
}

void writeFieldFiles(const FieldGrid& grid, const Matrix& potentialGrid, const Matrix& gradientX,
                     const Matrix& gradientY) {
    // The coordinates frame every file alike; only the body changes between them.
    Matrix table = fieldTable(grid, potentialGrid);
    replaceFile("hfield3.dat", tableText(table));
    table.setBlock(1, 1, gradientX);
    replaceFile("exfield3.dat", tableText(table));
    table.setBlock(1, 1, gradientY);
    replaceFile("eyfield3.dat", tableText(table));
}

}  // namespace plattor
