#include "run/gnuplot.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/error.hpp"
#include "base/file_replacement.hpp"
#include "base/text.hpp"
#include "run/console.hpp"
#include "solver/interrupt.hpp"

namespace plattor {

namespace {

namespace fs = std::filesystem;

constexpr const char* timeoutVariable = "PLATTOR_GNUPLOT_TIMEOUT";
// A picture takes gnuplot well under a second; a minute is a gnuplot that hangs.
constexpr double defaultTimeout = 60;

// The program to run: $GNUPLOT, else gnuplot; empty if it is not there to be executed. Made
// absolute, as gnuplot runs in the scratch directory (GNUPLOT=./gnuplot, an empty entry of PATH).
std::string gnuplotProgram() {
    const char* named = std::getenv("GNUPLOT");
    const std::string program = named != nullptr && *named != '\0' ? named : "gnuplot";
    std::error_code ignored;
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0 ? fs::absolute(program, ignored).string() : std::string();
    const char* path = std::getenv("PATH");
    std::stringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const std::string candidate = (directory.empty() ? std::string(".") : directory) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return fs::absolute(candidate, ignored).string();
    }
    return {};
}

// gnuplotProgram(), or RunError naming `option` where there is none.
std::string requiredGnuplot(const char* option) {
    const std::string program = gnuplotProgram();
    if (program.empty())
        throw RunError(std::string(option) + ": gnuplot not found (install the gnuplot-nox package or set GNUPLOT)");
    return program;
}

// gnuplot's time limit in seconds: $PLATTOR_GNUPLOT_TIMEOUT, else the default.
double gnuplotTimeout(const char* option) {
    const char* text = std::getenv(timeoutVariable);
    if (text == nullptr || *text == '\0') return defaultTimeout;
    const std::string_view value(text);
    const Decimal number = parseDecimal(value);
    if (number.length != value.size() || !number.inRange || !(number.value > 0) || number.value > 1e6)
        throw RunError(std::string(option) + ": " + timeoutVariable +
                       " needs a number of seconds above 0, at most 1e6, got \"" + printableExcerpt(value) + "\"");
    return number.value;
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

// Runs `program` on picture.gp in `directory`, its output to `messages`, in a process group of
// its own: a Ctrl-C at the terminal reaches plattor-lines alone, which then ends gnuplot and
// whatever it started. Returns gnuplot's wait status once it has ended. Where it outlives
// `limit` seconds or an interrupt is asked for, its group is killed and RunError or Interrupted
// raised. Either way the group is ended and every member reaped: this process is made their
// subreaper, so that what gnuplot started and left comes back here rather than to init.
int runInGroup(const std::string& program, const std::string& directory, const std::string& messages, double limit,
               const char* option) {
    const int out = ::open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) throw RunError(std::string(option) + ": cannot write to " + messages + ": " + std::strerror(errno));
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // left on: this process starts no other children
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        if (::setpgid(0, 0) != 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0 ||
            ::chdir(directory.c_str()) != 0)
            ::_exit(127);
        ::execl(program.c_str(), program.c_str(), "picture.gp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out);
    if (child < 0) throw RunError(std::string(option) + ": cannot start gnuplot: " + std::strerror(errno));
    ::setpgid(child, child);  // as the child does: whichever runs first, the group exists before a kill
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    int status = 0, lost = 0;
    bool interrupted = false, late = false;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) lost = errno;
        interrupted = interruptRequested();
        late = std::chrono::steady_clock::now() >= deadline;
        if (interrupted || late || lost != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Whatever is left of the group, gnuplot itself where it still runs, is ended and reaped.
    ::kill(-child, SIGKILL);
    int ended = 0;
    while (::waitpid(-child, &ended, 0) > 0 || errno == EINTR) {
    }
    if (interrupted) throw Interrupted();
    if (late) throw RunError(std::string(option) + ": gnuplot took longer than " + numberText(limit) + " s");
    if (lost != 0) throw RunError(std::string(option) + ": lost gnuplot: " + std::strerror(lost));
    return status;
}

// The picture in place: a temporary beside the destination renamed over it, as plattor replaces
// its field files. The destination is named as given (relative to the working directory), so
// that a message names it as the user wrote it.
void putInPlace(const fs::path& picture, const std::string& destination, const char* option) {
    std::ifstream file(picture, std::ios::binary);
    std::stringstream contents;
    if (!(contents << file.rdbuf()))
        throw RunError(std::string(option) + ": cannot read gnuplot's picture " + picture.string());
    FileReplacement replacement(".", {destination});
    replacement.keepMode(destination);
    replacement.stage(destination, contents.str());
    replacement.commit();
}

}  // namespace

void checkGnuplot(const std::string& destination, const char* option) {
    requiredGnuplot(option);
    gnuplotTimeout(option);
    // The destination's directory is asked whether this process may make a file in it; the
    // picture is not drawn yet, so nothing is made.
    const fs::path path(destination);
    const std::string directory = path.has_parent_path() ? path.parent_path().string() : ".";
    struct stat named {};
    int error = 0;
    if (::stat(directory.c_str(), &named) != 0) error = errno;
    else if (!S_ISDIR(named.st_mode)) error = ENOTDIR;
    else if (::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0) error = errno;
    else if (::lstat(destination.c_str(), &named) == 0 && S_ISDIR(named.st_mode)) error = EISDIR;
    if (error != 0) throw RunError(destination + ": cannot write: " + std::strerror(error));
}

void runGnuplot(const GnuplotJob& job, const std::string& destination, const char* option) {
    const std::string program = requiredGnuplot(option);
    const double limit = gnuplotTimeout(option);
    // The report goes out whole before gnuplot starts: a run killed while it draws has printed it.
    finishConsole();

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
    const fs::path messages = scratch.path / "messages.txt";
    const int status = runInGroup(program, scratch.path.string(), messages.string(), limit, option);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw RunError(std::string(option) + ": gnuplot failed: " + firstLine(messages));
    const fs::path picture = scratch.path / job.output;
    std::error_code error;
    if (!fs::exists(picture) || fs::file_size(picture, error) == 0)
        throw RunError(std::string(option) + ": gnuplot wrote no picture: " + firstLine(messages));

    // 3. The picture into place.
    putInPlace(picture, destination, option);
}

}  // namespace plattor
