#pragma once
// The message of the RunError a call raises, for tables of refusals.
#include <string>

#include "base/error.hpp"

namespace plattor::testing {

// What `run` raises as RunError; "" where it returns.
template <class Run>
std::string runError(Run run) {
    try {
        run();
    } catch (const RunError& e) {
        return e.what();
    }
    return "";
}

}  // namespace plattor::testing
