#include "support/program_run.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
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

ProgramRun runProgram(const std::string& executable, const std::filesystem::path& directory,
                      const RunOptions& options) {
    ScratchDir capture;
    const std::string outPath =
        options.standardOutput.empty() ? (capture.path() / "stdout").string() : options.standardOutput;
    const std::string errPath = capture.path() / "stderr";

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
    std::vector<char*> argv{const_cast<char*>(executable.c_str())};
    for (const auto& a : options.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::chdir(directory.c_str()) != 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (options.closeStandardOutput) ::close(1);
        if (options.fileSizeLimit) {
            const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        }
        ::execve(executable.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (options.killAfter) {
        std::this_thread::sleep_for(*options.killAfter);
        ::kill(pid, SIGKILL);  // harmless if it has already ended: it is not reaped yet
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ProgramRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (options.standardOutput.empty()) run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
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
