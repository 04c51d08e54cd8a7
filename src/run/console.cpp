#include "run/console.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "matrix/error.hpp"

namespace plattor {

void display(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void display(const std::vector<std::string>& lines) {
    for (const auto& line : lines) display(line);
}

void finishConsole() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw RunError(std::string("cannot write to standard output: ") + std::strerror(errno));
}

}  // namespace plattor
