#pragma once
// The one kind of failure a user can cause: bad input, an unwritable file, a system that
// cannot be solved. Raised anywhere, caught once in main, printed on standard error.
#include <stdexcept>
#include <string>

namespace plattor {

class RunError : public std::runtime_error {
public:
    explicit RunError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace plattor
