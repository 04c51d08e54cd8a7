#pragma once
// Files replaced whole: written to temporaries beside them and renamed over them together.
#include <cstddef>
#include <string>
#include <vector>

namespace plattor {

// Files of one directory replaced together. Each is written in full to a temporary beside it,
// NAME.<k>.tmp for a slot k < temporarySlots that the run claims for all its files, then all are
// renamed over their files under an exclusive lock: at every moment each file is whole, and when
// concurrent runs are over, the files all come from one of them. A failure raises RunError
// "<file>: cannot <verb>: <the system's reason>"; temporaries not yet renamed are removed.
//
// The lock is a lock file, NAME.lock of the first name, taken with flock and removed by its
// holder before it lets go (a waiter then finds the name gone or another file under it and takes
// the lock afresh): it needs only the right to write in the directory, not to list it. Every
// run holds an flock on each of its temporaries while it lives and creates and locks them under
// the lock file's lock, the last name's first (it is renamed last, so it exists while any of
// the slot's temporaries does). A temporary is stale only if the lock on the last name of its
// slot can be taken: its run has ended, in whatever process-id namespace it ran. The slots are
// few, so a run finds them all by name, in a directory it may not list.
class FileReplacement {
public:
    static constexpr int temporarySlots = 16;

    // Opens `directory` and, under the lock, removes the temporaries of ended runs and claims a
    // free slot: the temporaries of `fileNames`, created empty and locked. With every slot held
    // by a live run it waits for one of them to end.
    FileReplacement(const std::string& directory, std::vector<std::string> fileNames);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Gives the temporary of `fileName` the permissions of the plain file it is to replace (a
    // 0600 file stays private); where none is there, or something else (a symbolic link is not
    // followed), its own. Before `stage`.
    void keepMode(const std::string& fileName);
    // Writes `contents` to the temporary of `fileName`, one of the names given, once.
    void stage(const std::string& fileName, const std::string& contents);
    // Renames every staged temporary over its file, in the order of the names given, under the
    // lock.
    void commit();

private:
    // The index of `fileName`, one of the names given and not yet staged.
    std::size_t unstaged(const std::string& fileName) const;
    // The temporary of file f in slot k.
    std::string temporaryName(std::size_t f, int slot) const;
    // Removes slot k's temporaries if their run has ended; a live run's locked last temporary
    // is handed to `live` (if it holds none yet), to wait on.
    void removeIfStale(int slot, int& live) const;
    // Creates and locks the temporaries of slot k, the last name first; false, nothing left,
    // where one of its names is taken.
    bool claim(int slot);

    std::vector<std::string> fileNames_;
    int directory_ = -1;
    int slot_ = -1;
    std::vector<int> temporaries_;     // per file, its locked temporary open for writing (−1: none)
    std::vector<std::size_t> staged_;  // files written and not yet renamed
    std::vector<std::size_t> renamed_; // files whose temporary is in place
};

}  // namespace plattor
