#include "support/program_run.hpp"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace plattor::testing {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "plattor-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
}

std::string ScratchDir::read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ScratchDir::fileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ProgramRun runProgram(const std::string& executable, const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments) {
    RunOptions options;
    options.arguments = arguments;
    return runProgram(executable, directory, options);
}

namespace {

// A started child and where its output goes.
struct StartedRun {
    pid_t pid = -1;
    std::unique_ptr<ScratchDir> capture;
    std::string outPath, errPath;
};

StartedRun startProgram(const std::string& executable, const std::filesystem::path& directory,
                        const RunOptions& options) {
    StartedRun started;
    started.capture = std::make_unique<ScratchDir>();
    started.outPath =
        options.standardOutput.empty() ? (started.capture->path() / "stdout").string() : options.standardOutput;
    started.errPath = started.capture->path() / "stderr";
    const std::string& outPath = started.outPath;
    const std::string& errPath = started.errPath;

    // Everything the child needs is prepared here: after fork it only opens, duplicates and
    // calls execve.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string inherited = *entry;
        const std::string name = inherited.substr(0, inherited.find('=') + 1);
        bool replaced = false;
        for (const auto& set : options.environment) replaced = replaced || set.rfind(name, 0) == 0;
        if (!replaced) environment.push_back(inherited);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const auto& w : options.wrapper) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& a : options.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    const std::string& program = options.wrapper.empty() ? executable : options.wrapper.front();
    argv.push_back(nullptr);
    // A pipe whose reader is gone before the child writes.
    int brokenPipe[2] = {-1, -1};
    if (options.brokenPipe) {
        if (::pipe(brokenPipe) != 0) throw std::runtime_error("pipe failed");
        ::close(brokenPipe[0]);
    }

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = options.brokenPipe ? brokenPipe[1] : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::chdir(directory.c_str()) != 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (options.closeStandardOutput) ::close(1);
        const auto limit = [](int resource, const std::optional<std::uint64_t>& bytes) {
            if (!bytes) return;
            const rlimit l{*bytes, *bytes};
            if (::setrlimit(resource, &l) != 0) ::_exit(126);
        };
        limit(RLIMIT_FSIZE, options.fileSizeLimit);
        limit(RLIMIT_AS, options.addressSpaceLimit);
        limit(RLIMIT_NPROC, options.processLimit);
        if (options.userId && (::setgroups(0, nullptr) != 0 || ::setgid(*options.userId) != 0 ||
                               ::setuid(*options.userId) != 0))
            ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (options.brokenPipe) ::close(brokenPipe[1]);
    started.pid = pid;
    return started;
}

ProgramRun finishProgram(StartedRun& started, bool readOut) {
    int status = 0;
    ::waitpid(started.pid, &status, 0);
    ProgramRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (readOut) run.out = slurp(started.outPath);
    run.err = slurp(started.errPath);
    return run;
}

}  // namespace

ProgramRun runProgram(const std::string& executable, const std::filesystem::path& directory,
                      const RunOptions& options) {
    StartedRun started = startProgram(executable, directory, options);
    if (options.killAfter) {
        std::this_thread::sleep_for(*options.killAfter);
        ::kill(started.pid, options.killSignal);  // harmless if it has already ended: it is not reaped yet
    }
    return finishProgram(started, options.standardOutput.empty() && !options.brokenPipe);
}

std::vector<ProgramRun> runTogether(const std::string& executable, const std::filesystem::path& directory,
                                    std::size_t count, const std::function<void(std::size_t)>& beforeStart,
                                    const std::function<RunOptions(std::size_t)>& optionsFor) {
    std::vector<StartedRun> started;
    for (std::size_t k = 0; k < count; ++k) {
        if (beforeStart) beforeStart(k);
        started.push_back(startProgram(executable, directory, optionsFor ? optionsFor(k) : RunOptions{}));
    }
    std::vector<ProgramRun> runs;
    for (auto& s : started) runs.push_back(finishProgram(s, true));
    return runs;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::vector<double>> readTable(const std::string& text) {
    std::vector<std::vector<double>> table;
    for (const auto& line : splitLines(text)) {
        std::istringstream in(line);
        std::vector<double> row;
        for (std::string field; in >> field;) row.push_back(std::strtod(field.c_str(), nullptr));
        table.push_back(row);
    }
    return table;
}

}  // namespace plattor::testing
