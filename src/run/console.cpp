#include "run/console.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/error.hpp"

namespace plattor {

namespace {

// The reason the first write to standard output failed, 0 while none has. Kept from the
// moment it happens: errno is long overwritten by the time the output is checked.
int lostOutput = 0;

}  // namespace

void display(const std::string& line) {
    const bool whole = std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fputc('\n', stdout) != EOF;
    if (!whole && lostOutput == 0) lostOutput = errno;
}

void display(const std::vector<std::string>& lines) {
    for (const auto& line : lines) display(line);
}

void displayWhole(const std::string& line) {
    if (std::fflush(stdout) != 0 && lostOutput == 0) lostOutput = errno;
    const std::string whole = line + '\n';
    for (std::size_t written = 0; written < whole.size();) {
        // A signal may cut a write short: the rest follows, and the line stays whole.
        const ssize_t n = ::write(1, whole.data() + written, whole.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (lostOutput == 0) lostOutput = n < 0 ? errno : EIO;
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

void finishConsole() {
    if (std::fflush(stdout) != 0 && lostOutput == 0) lostOutput = errno;
    if (lostOutput == 0 && std::ferror(stdout)) lostOutput = EIO;
    if (lostOutput != 0) throw RunError(std::string("standard output: cannot write: ") + std::strerror(lostOutput));
}

}  // namespace plattor
