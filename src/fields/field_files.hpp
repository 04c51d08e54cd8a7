#pragma once
// The three field tables: x coordinates across the top, y coordinates down the left, 0 in
// the corner, the grid in the body; and the files they are written to.
#include <string>
#include <utility>
#include <vector>

#include "fields/fields.hpp"
#include "matrix/matrix.hpp"

namespace plattor {

// Replaces `text` with the table of `body` (gridRows×fieldPointsX): a first line of 0 and the
// x values, then per grid row its y value and the row of the body; each line's first number
// as printf's "%8.6g", every further one as " %12.6g", and a line end.
void fieldTableText(const FieldGrid& grid, const Matrix& body, std::string& text);

// Files of one directory replaced together. Each is first written in full to a temporary of
// this process's own beside it (NAME.<pid>.<8 hex digits>.tmp, created exclusively, never
// written through a link), then all are renamed over their files under an exclusive lock on
// the directory: at every moment each file is whole, and when concurrent runs are over, the
// files all come from one of them. A failure raises RunError "<file>: cannot <verb>: <the
// system's reason>"; temporaries not yet renamed are removed.
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
