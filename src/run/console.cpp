#include "run/console.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "matrix/error.hpp"

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

void finishConsole() {
    if (std::fflush(stdout) != 0 && lostOutput == 0) lostOutput = errno;
    if (lostOutput == 0 && std::ferror(stdout)) lostOutput = EIO;
    if (lostOutput != 0) throw RunError(std::string("standard output: cannot write: ") + std::strerror(lostOutput));
}

}  // namespace plattor
