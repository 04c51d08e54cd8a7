#pragma once
// plattor::lines' inverse problem: the dimension of a line that gives a target quantity.
//
//     plattor::Line line("microstrip");
//     line.set("h", "0.1mm").set("er", 4.3);
//     const plattor::Dimension w = plattor::solveFor(line, "w", "impedance", 50);
//     // w.value ± w.error metres; w.solution["impedance"] within its bar of 50 ohm
//
// Installed where the library was built with it.
#include <string_view>

#include "plattor/lines.hpp"

namespace plattor {

// A dimension found for a target: its value and bar, and the line solved there.
struct Dimension {
    double value;       // in the line's length unit: metres where its lengths carry units, else as given
    double error;       // how far value may be from the one that meets the target exactly
    Solution solution;  // the line with that dimension, solved
};

// The value of `dimension` ("w", "s", "h", …) at which `quantity` (a key of Solution, such as
// "impedance" or "differentialImpedance") equals `target` in SI units, every other option as in
// `line`. Error for an unknown dimension or quantity and where no value of the dimension meets
// the target, with the message plattor-lines gives.
Dimension solveFor(const Line& line, std::string_view dimension, std::string_view quantity, double target);

}  // namespace plattor
