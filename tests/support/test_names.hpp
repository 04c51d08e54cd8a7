#pragma once
// Parts of the names of parameterised tests. GoogleTest takes letters, digits and '_' only, and
// a name must not change between builds, so a number is spelled out from its shortest text:
// "-1.5e-07" reads "Minus1p5eMinus07", "0.001" reads "0p001".
#include <charconv>
#include <initializer_list>
#include <string>
#include <utility>

namespace plattor::testing {

inline std::string nameText(double x) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    std::string name;
    for (const char* c = text; c != end; ++c) {
        if (*c == '-') name += "Minus";
        else if (*c == '.') name += 'p';
        else if (*c != '+') name += *c;
    }
    return name;
}

// Labels and their numbers in one name: caseName({{"Gap", 0.001}, {"_Width", 1}}) is
// "Gap0p001_Width1". (Built by appending: GCC 12 warns falsely on literal + temporary string.)
inline std::string caseName(std::initializer_list<std::pair<const char*, double>> parts) {
    std::string name;
    for (const auto& [label, value] : parts) {
        name += label;
        name += nameText(value);
    }
    return name;
}

// The four lengths of an input: "g1000_w1_c3_h0p5" for `1000 1 3 0.5`.
template <class Input>
std::string inputName(const Input& in) {
    return caseName({{"g", in.groundWidth}, {"_w", in.stripWidth}, {"_c", in.centreDistance}, {"_h", in.stripHeight}});
}

}  // namespace plattor::testing
