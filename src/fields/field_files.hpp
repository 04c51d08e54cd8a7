#pragma once
// The three field tables: x coordinates across the top, y coordinates down the left, 0 in
// the corner, the grid in the body.
#include <string>
#include <utility>
#include <vector>

#include "fields/fields.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// (rows+1)×(cols+1): [0, x values; y values, body].
Matrix fieldTable(const FieldGrid& grid, const Matrix& body);

// "%8.6g" followed by one " %12.6g" per further column and a line end.
std::string rowFormat(std::size_t tableColumns);

// The text of a table: one line per row, each row through rowFormat.
std::string tableText(const Matrix& table);

// Files of one directory replaced together. Each is first written in full to a temporary of
// this process's own beside it (NAME.<pid>.<8 hex digits>.tmp, created exclusively, never
// written through a link), then all are renamed over their files under an exclusive lock on
// the directory: at every moment each file is whole, and when concurrent runs are over, the
// files all come from one of them. A failure raises RunError naming the file and the system's
// reason; temporaries not yet renamed are removed.
class FileReplacement {
public:
    // Opens `directory` and removes the temporaries of `fileNames` that runs which are no longer
    // alive left behind (or that are over an hour old).
    FileReplacement(const std::string& directory, std::vector<std::string> fileNames);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Writes `contents` to a new temporary for `fileName`, one of the names given.
    void stage(const std::string& fileName, const std::string& contents);
    // Renames every staged temporary over its file, in the order staged, under the lock.
    void commit();

private:
    void removeStaleTemporaries();

    std::vector<std::string> fileNames_;
    int directory_ = -1;
    std::vector<std::pair<std::string, std::string>> staged_;  // (file, its temporary), not yet renamed
};

// "hfield3.dat" (potential), "exfield3.dat" (x differences), "eyfield3.dat" (y differences),
// in the working directory, replaced together.
void writeFieldFiles(const FieldGrid& grid, const Matrix& potentialGrid, const Matrix& gradientX,
                     const Matrix& gradientY);

}  // namespace plattor
