#include "base/file_replacement.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/error.hpp"

namespace plattor {

namespace {

[[noreturn]] void fail(const std::string& fileName, const char* verb, int error) {
    throw RunError(fileName + ": cannot " + verb + ": " + std::strerror(error));
}

// An exclusive flock on the file `name` in a directory, made for the purpose and removed by its
// holder before it lets go. A run that waited on a removed file finds another file, or none,
// under the name and takes the lock afresh; so the one holder is always the holder of the file
// the name holds. Not held where no lock can be had (a file system without flock, a name that
// cannot be made a plain file): the files are then still whole, but runs may cross.
class LockFile {
public:
    LockFile(int directory, std::string name) : directory_(directory), name_(std::move(name)) {
        for (;;) {
            const int fd = ::openat(directory_, name_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0) return;
            int locked = -1;
            do locked = ::flock(fd, LOCK_EX);
            while (locked != 0 && errno == EINTR);
            struct stat held {}, named {};
            if (locked == 0 && ::fstat(fd, &held) == 0 &&
                ::fstatat(directory_, name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                fd_ = fd;
                return;
            }
            ::close(fd);
            if (locked != 0) return;
        }
    }
    ~LockFile() {
        if (fd_ < 0) return;
        ::unlinkat(directory_, name_.c_str(), 0);
        ::close(fd_);
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int directory_;
    std::string name_;
    int fd_ = -1;
};

// A descriptor closed on leaving its scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

FileReplacement::FileReplacement(const std::string& directory, std::vector<std::string> fileNames)
    : fileNames_(std::move(fileNames)), temporaries_(fileNames_.size(), -1) {
    assert(!fileNames_.empty());
    // Opened only to name files in: a directory that may be entered and written but not listed
    // (mode 0333) takes the files, the lock and the clean-up all the same.
    directory_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory_ < 0) fail(fileNames_.front(), "write", errno);
    try {
        for (;;) {
            Descriptor live;
            {
                const LockFile lock(directory_, fileNames_.front() + ".lock");
                // Without the lock a run between creating a temporary and locking it would look
                // ended: nothing is removed then.
                if (lock.held())
                    for (int k = 0; k < temporarySlots; ++k) removeIfStale(k, live.fd);
                for (int k = 0; k < temporarySlots && slot_ < 0; ++k)
                    if (claim(k)) slot_ = k;
            }
            if (slot_ >= 0) return;
            if (live.fd < 0)
                throw RunError(fileNames_.front() + ": cannot write: its temporaries' names " + temporaryName(0, 0) +
                               " to " + temporaryName(0, temporarySlots - 1) + " are all taken");
            // Every slot is a live run's: wait for one of them to end, then look again.
            while (::flock(live.fd, LOCK_SH) != 0 && errno == EINTR) {
            }
        }
    } catch (...) {
        ::close(directory_);
        throw;
    }
}

FileReplacement::~FileReplacement() {
    // The last name goes last: it marks the slot as long as any of its temporaries exists.
    for (std::size_t f = 0; f < fileNames_.size(); ++f)
        if (temporaries_[f] >= 0) {
            if (std::find(renamed_.begin(), renamed_.end(), f) == renamed_.end())
                ::unlinkat(directory_, temporaryName(f, slot_).c_str(), 0);
            ::close(temporaries_[f]);
        }
    ::close(directory_);
}

std::string FileReplacement::temporaryName(std::size_t f, int slot) const {
    return fileNames_[f] + "." + std::to_string(slot) + ".tmp";
}

void FileReplacement::removeIfStale(int slot, int& live) const {
    const std::size_t last = fileNames_.size() - 1;
    const std::string marker = temporaryName(last, slot);
    // Only a plain file can be a run's temporary; anything else under the name is left alone.
    struct stat named {}, opened {};
    if (::fstatat(directory_, marker.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode)) return;
    Descriptor fd{::openat(directory_, marker.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (fd.fd < 0 || ::fstat(fd.fd, &opened) != 0 || opened.st_ino != named.st_ino) return;
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) == 0) {
        // Its run has ended: the slot's other temporaries go with it, the marker last.
        for (std::size_t f = 0; f <= last; ++f) {
            const std::string name = temporaryName(f, slot);
            struct stat other {};
            if (::fstatat(directory_, name.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(other.st_mode))
                ::unlinkat(directory_, name.c_str(), 0);
        }
    } else if (errno == EWOULDBLOCK && live < 0) {
        std::swap(live, fd.fd);
    }
}

bool FileReplacement::claim(int slot) {
    for (std::size_t f = fileNames_.size(); f-- > 0;) {
        const std::string name = temporaryName(f, slot);
        const int fd = ::openat(directory_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int error = errno;
            for (std::size_t g = f + 1; g < fileNames_.size(); ++g) {
                ::unlinkat(directory_, temporaryName(g, slot).c_str(), 0);
                ::close(temporaries_[g]);
                temporaries_[g] = -1;
            }
            if (error == EEXIST) return false;
            fail(fileNames_.front(), "write", error);
        }
        // Fresh and made under the lock file's lock: nobody else can hold its lock yet.
        ::flock(fd, LOCK_EX | LOCK_NB);
        temporaries_[f] = fd;
    }
    return true;
}

std::size_t FileReplacement::unstaged(const std::string& fileName) const {
    const auto found = std::find(fileNames_.begin(), fileNames_.end(), fileName);
    assert(found != fileNames_.end());
    const auto f = static_cast<std::size_t>(found - fileNames_.begin());
    assert(std::find(staged_.begin(), staged_.end(), f) == staged_.end());
    return f;
}

void FileReplacement::keepMode(const std::string& fileName) {
    const std::size_t f = unstaged(fileName);
    struct stat replaced {};
    if (::fstatat(directory_, fileName.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(replaced.st_mode) &&
        ::fchmod(temporaries_[f], replaced.st_mode & 0777) != 0)
        fail(fileName, "write", errno);
}

void FileReplacement::stage(const std::string& fileName, const std::string& contents) {
    const std::size_t f = unstaged(fileName);
    // Written through a second descriptor, whose close reports what only a close reports (a
    // full disk or a quota on some file systems); the first keeps the temporary locked.
    const int fd = ::dup(temporaries_[f]);
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
    if (error != 0) fail(fileName, "write", error);
    staged_.push_back(f);
}

void FileReplacement::commit() {
    // Without the lock, two runs could interleave their renames and leave files from both. The
    // files go in the order of their names, so that the last temporary is renamed last.
    const LockFile lock(directory_, fileNames_.front() + ".lock");
    for (std::size_t f = 0; f < fileNames_.size(); ++f) {
        if (std::find(staged_.begin(), staged_.end(), f) == staged_.end()) continue;
        if (::renameat(directory_, temporaryName(f, slot_).c_str(), directory_, fileNames_[f].c_str()) != 0)
            fail(fileNames_[f], "write", errno);
        renamed_.push_back(f);
    }
    staged_.clear();
}

}  // namespace plattor
