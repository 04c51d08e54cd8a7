#pragma once
// Runs the built plattor in a scratch directory and collects what it did.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plattor::testing {

struct ProgramRun {
    int exitStatus = -1;  // the exit code, or 128 + signal
    std::string out;
    std::string err;
};

// A fresh, empty directory under the system's temporary directory, removed on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    void write(const std::string& name, const std::string& contents) const;
    std::string read(const std::string& name) const;
    std::vector<std::string> fileNames() const;  // sorted

private:
    std::filesystem::path path_;
};

// Runs `executable` with `arguments` in `directory`, standard input from /dev/null.
ProgramRun runProgram(const std::string& executable, const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments = {});

// The conditions of a run that goes wrong on purpose.
struct RunOptions {
    std::vector<std::string> arguments;
    std::vector<std::string> environment;  // "NAME=value", replacing an inherited NAME
    std::string standardOutput;            // a file to send standard output to instead of `out`
    bool closeStandardOutput = false;
    bool brokenPipe = false;  // standard output a pipe that nobody reads
    std::optional<std::uint64_t> fileSizeLimit;          // bytes, as `ulimit -f` sets it
    std::optional<std::uint64_t> addressSpaceLimit;      // bytes, as `ulimit -v` sets it
    std::optional<std::uint64_t> processLimit;           // processes and threads of the user, as `ulimit -u`
    std::optional<std::chrono::microseconds> killAfter;  // killSignal if still running by then
    int killSignal = SIGKILL;
    std::vector<std::string> wrapper;  // a command the program is run under ("unshare", "--pid", "--fork")
    std::optional<unsigned> userId;    // run as this user (and group) instead, where the tests run as root
};

ProgramRun runProgram(const std::string& executable, const std::filesystem::path& directory,
                      const RunOptions& options);

// `count` runs of `executable` in `directory`, all started before the first is waited for;
// `beforeStart(k)`, if given, is called before run k starts, and run k has `optionsFor(k)`.
std::vector<ProgramRun> runTogether(const std::string& executable, const std::filesystem::path& directory,
                                    std::size_t count, const std::function<void(std::size_t)>& beforeStart = {},
                                    const std::function<RunOptions(std::size_t)>& optionsFor = {});

std::vector<std::string> splitLines(const std::string& text);

// The numbers of a field table, row by row.
std::vector<std::vector<double>> readTable(const std::string& text);

}  // namespace plattor::testing
