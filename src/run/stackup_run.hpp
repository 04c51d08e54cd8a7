#pragma once
// plattor-lines stackup: a board's impedance table from the layer stack its layout tool keeps.
#include <optional>
#include <string>
#include <vector>

#include "design/impedance_table.hpp"
#include "lines/line_losses.hpp"
#include "stackup/layer_section.hpp"

namespace plattor {

struct StackupRequest {
    std::string fileName;                 // a KiCad board
    std::vector<std::string> planes;      // --planes; empty: the board's own
    std::vector<double> single = {50.0};  // --z, ohm
    std::vector<double> differential = {90.0, 100.0};  // --zdiff, ohm
    PairSpacing spacing;                  // --gap or --width
    MaskChoice mask;                      // --mask, --mask-er
    Tolerances tolerances{12.5e-6, 0.05};  // --etch, --dk-tol
    // --freq F and the loss options, one frequency: the loss column at F. None without --freq.
    std::optional<LossRequest> losses;
    enum class Format { text, json, csv } format = Format::text;
    std::optional<std::string> rules;     // --rules FILE: KiCad custom rules
    unsigned threads = 1;
};

// Reads the board's stack, forms each signal layer's cross-section, solves every target on each
// on `threads` threads (with the losses, each row's attenuation at its solved lengths) and prints
// the table (text, JSON or CSV); writes the rules file if asked,
// whole or not at all. Raises RunError for a board it cannot read and a rules file it cannot
// write (checked before the work).
void runStackup(const StackupRequest& request);

}  // namespace plattor
