#include "run/gnuplot.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "matrix/error.hpp"

namespace plattor {

namespace {

namespace fs = std::filesystem;

// The program to run: $GNUPLOT, else gnuplot; empty if it is not there to be executed.
std::string gnuplotProgram() {
    const char* named = std::getenv("GNUPLOT");
    const std::string program = named != nullptr && *named != '\0' ? named : "gnuplot";
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    const char* path = std::getenv("PATH");
    std::stringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const std::string candidate = (directory.empty() ? std::string(".") : directory) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

void writeFile(const fs::path& path, const std::string& contents, const char* option) {
    std::ofstream file(path, std::ios::binary);
    file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    file.close();
    if (!file) throw RunError(std::string(option) + ": cannot write the picture's data to " + path.string());
}

std::string firstLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line))
        if (line.find_first_not_of(" \t^") != std::string::npos) return line;
    return "no message";
}

}  // namespace

void checkGnuplot(const char* option) {
    if (gnuplotProgram().empty())
        throw RunError(std::string(option) + ": gnuplot not found (install the gnuplot-nox package or set GNUPLOT)");
}

void runGnuplot(const GnuplotJob& job, const std::string& destination, const char* option) {
    const std::string program = gnuplotProgram();
    if (program.empty())
        throw RunError(std::string(option) + ": gnuplot not found (install the gnuplot-nox package or set GNUPLOT)");

    // 1. A scratch directory, removed however this ends.
    std::string pattern = (fs::temp_directory_path() / "plattor-lines.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw RunError(std::string(option) + ": cannot make a scratch directory: " + std::strerror(errno));
    const struct Scratch {
        fs::path path;
        ~Scratch() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } scratch{pattern};
    for (const auto& [name, contents] : job.files) writeFile(scratch.path / name, contents, option);
    writeFile(scratch.path / "picture.gp", job.script, option);

    // 2. gnuplot in it, its messages kept there; a script file stops at its first error.
    const std::string messages = (scratch.path / "messages.txt").string();
    const int out = ::open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) throw RunError(std::string(option) + ": cannot write to " + messages + ": " + std::strerror(errno));
    const std::string directory = scratch.path.string();
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0 || ::chdir(directory.c_str()) != 0)
            ::_exit(127);
        ::execl(program.c_str(), program.c_str(), "picture.gp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out);
    if (child < 0) throw RunError(std::string(option) + ": cannot start gnuplot: " + std::strerror(errno));
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) throw RunError(std::string(option) + ": lost gnuplot: " + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw RunError(std::string(option) + ": gnuplot failed: " + firstLine(messages));
    const fs::path picture = scratch.path / job.output;
    std::error_code error;
    if (!fs::exists(picture) || fs::file_size(picture, error) == 0)
        throw RunError(std::string(option) + ": gnuplot wrote no picture: " + firstLine(messages));

    // 3. The picture into place.
    fs::copy_file(picture, destination, fs::copy_options::overwrite_existing, error);
    if (error) throw RunError(destination + ": cannot write: " + error.message());
}

}  // namespace plattor
