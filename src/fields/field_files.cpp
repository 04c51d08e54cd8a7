#include "fields/field_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>
#include <string_view>

#include "matrix/error.hpp"
#include "matrix/text.hpp"

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

namespace {

[[noreturn]] void fail(const std::string& fileName, const char* verb, int error) {
    throw RunError(fileName + ": cannot " + verb + ": " + std::strerror(error));
}

// A temporary lives at most this long: a run takes seconds, so an older one belongs to a run
// that is gone even if its process id has since been given to another process.
constexpr std::time_t temporaryLifetime = 3600;

std::string temporaryName(const std::string& fileName, std::uint32_t tag) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%ld.%08x.tmp", static_cast<long>(::getpid()), static_cast<unsigned>(tag));
    return fileName + suffix;
}

// The process id in `entry` if it is named as a temporary of `fileName` (the form above),
// else 0.
pid_t temporaryOwner(std::string_view entry, const std::string& fileName) {
    if (entry.size() <= fileName.size() || entry.compare(0, fileName.size(), fileName) != 0 ||
        entry[fileName.size()] != '.')
        return 0;
    std::string_view rest = entry.substr(fileName.size() + 1);
    long pid = 0;
    std::size_t k = 0;
    for (; k < rest.size() && k < 10 && rest[k] >= '0' && rest[k] <= '9'; ++k) pid = pid * 10 + (rest[k] - '0');
    rest.remove_prefix(k);
    if (k == 0 || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || rest.size() != 13 || rest[0] != '.' ||
        rest.substr(9) != ".tmp")
        return 0;
    for (std::size_t h = 1; h < 9; ++h)
        if (!std::isxdigit(static_cast<unsigned char>(rest[h]))) return 0;
    return static_cast<pid_t>(pid);
}

}  // namespace

FileReplacement::FileReplacement(const std::string& directory, std::vector<std::string> fileNames)
    : fileNames_(std::move(fileNames)) {
    assert(!fileNames_.empty());
    directory_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A directory that may be entered but not listed can still take the files; it is then
    // neither locked nor cleaned (both need it open for reading).
    if (directory_ < 0 && errno == EACCES) directory_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory_ < 0) fail(fileNames_.front(), "write", errno);
    removeStaleTemporaries();
}

FileReplacement::~FileReplacement() {
    for (const auto& [file, temporary] : staged_) ::unlinkat(directory_, temporary.c_str(), 0);
    ::close(directory_);  // also releases the lock if a rename failed under it
}

void FileReplacement::removeStaleTemporaries() {
    const int listing = ::dup(directory_);
    if (listing < 0) return;
    DIR* entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(entries)) {
        for (const auto& fileName : fileNames_) {
            const pid_t owner = temporaryOwner(entry->d_name, fileName);
            if (owner == 0) continue;
            struct stat status {};
            if (::fstatat(directory_, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) break;
            const bool ownerGone = ::kill(owner, 0) != 0 && errno == ESRCH;
            // What cannot be removed (a directory, another user's file) is left: it is in
            // nobody's way, since every run makes names of its own.
            if (ownerGone || now - status.st_mtime > temporaryLifetime) ::unlinkat(directory_, entry->d_name, 0);
            break;
        }
    }
    ::closedir(entries);
}

void FileReplacement::stage(const std::string& fileName, const std::string& contents) {
    assert(std::find(fileNames_.begin(), fileNames_.end(), fileName) != fileNames_.end());
    // The random tag keeps names apart across process-id namespaces sharing the directory, and
    // makes a name planted in advance useless; a clash just draws again.
    std::random_device random;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryName(fileName, random());
        fd = ::openat(directory_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) fail(fileName, "write", errno);
    }
    if (fd < 0) fail(temporary, "create", EEXIST);
    staged_.emplace_back(fileName, temporary);

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
    // A full disk or a quota may show only when the file is closed.
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) fail(fileName, "write", error);
}

void FileReplacement::commit() {
    // Without the lock, two runs could interleave their renames and leave files from both. A
    // file system that cannot lock a directory (some network ones) still gets every file whole.
    int locked = -1;
    do locked = ::flock(directory_, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    while (!staged_.empty()) {
        const auto& [file, temporary] = staged_.front();
        if (::renameat(directory_, temporary.c_str(), directory_, file.c_str()) != 0) fail(file, "write", errno);
        staged_.erase(staged_.begin());
    }
    if (locked == 0) ::flock(directory_, LOCK_UN);
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
