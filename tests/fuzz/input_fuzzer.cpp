// libFuzzer target for the input reader and checks: any bytes give four finite numbers that
// the checks keep or reject, or a one-line, printable RunError naming indata3.txt.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "run/input.hpp"

namespace {

void expectClearMessage(const std::string& message) {
    bool clear = message.rfind("indata3.txt: ", 0) == 0;
    for (const unsigned char c : message) clear = clear && c >= 0x20 && c < 0x7f;
    if (!clear) {
        std::fprintf(stderr, "unclear message: %s\n", message.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const plattor::InputValues v = plattor::parseInput(text, "indata3.txt");
        for (const double x : {v.groundWidth, v.stripWidth, v.centreDistance, v.stripHeight}) {
            if (!std::isfinite(x)) {
                std::fprintf(stderr, "a value that is not finite: %g\n", x);
                std::abort();
            }
        }
        try {
            plattor::checkInput(v, "indata3.txt");
        } catch (const plattor::RunError& e) {
            expectClearMessage(e.what());
        }
    } catch (const plattor::RunError& e) {
        expectClearMessage(e.what());
    }
    return 0;
}
