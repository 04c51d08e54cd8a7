#pragma once
// The structures of plattor-lines as descriptions on the one solver: faces, their regions'
// permittivities, the conductors' roles.
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "section/converged_range.hpp"
#include "section/cross_section.hpp"

namespace plattor {

inline constexpr double absent = std::numeric_limits<double>::quiet_NaN();
// Whether an option was given, and its value or a default.
inline bool given(double value) { return !std::isnan(value); }
inline double orDefault(double value, double fallback) { return given(value) ? value : fallback; }

enum class StructureKind { microstrip, stripline, coplanar };

// A board's cross-section as its user gives it: lengths in any one unit; `absent` (NaN) for an
// option not given. Symmetric about x = 0: one trace centred there, or a pair (gap s given)
// whose bottom edges lie s apart.
//  microstrip: plane y = 0; substrate 0 ≤ y ≤ h of er; traces on it (bottom width w, top width
//              wTop, default w, thickness t, default 0); a solder mask of permittivity maskEr,
//              `mask` thick over the bare substrate and maskTop (default mask) over the
//              conductors (the region within `mask` of the substrate's face or within maskTop of
//              a conductor), or a cover layer h ≤ y ≤ h + cover of coverEr embedding the traces;
//              vacuum above.
//  stripline:  planes y = 0 and y = b; the traces' bottoms at y = h; er below y = h, erTop above.
//  coplanar:   the microstrip with a ground of the traces' thickness on each side, g from the
//              traces' outer bottom edges, groundWidth wide (infinite if absent), at 0 V.
struct Structure {
    StructureKind kind = StructureKind::microstrip;
    double w = absent, wTop = absent, t = absent, s = absent;
    double h = absent, b = absent;
    double er = absent, erTop = absent;
    double mask = absent, maskEr = absent, maskTop = absent;
    double cover = absent, coverEr = absent;
    double g = absent, groundWidth = absent;
    // Loss tangents (default 0): the substrate's, above the traces (stripline; default tand), the
    // mask's and the cover's.
    double tand = absent, tandTop = absent, maskTand = absent, coverTand = absent;

    bool isPair() const { return !std::isnan(s); }
};

// An option of the structures, as on the command line (--name) and in a batch's header (the
// name with '_' for '-'): the field it sets, whether it is a length, what it is.
// The structures of a kind, as bits of a mask.
inline constexpr unsigned kindBit(StructureKind kind) { return 1u << static_cast<unsigned>(kind); }
inline constexpr unsigned everyKind = 7u;

struct StructureOption {
    const char* name;
    double Structure::*field;
    bool length;
    const char* meaning;
    const char* placeholder;  // its value in the usage: "W", "EM"
    unsigned kinds;           // the structures that take it
    unsigned required;        // the structures that need it
    bool lossTangent;         // a loss tangent (neither a length nor a permittivity)
};

// Every option, in the order of a batch's columns.
const std::vector<StructureOption>& structureOptions();
// What a structure of that kind is, in a sentence naming its options (as on the command line):
// the one description the help text, the library and the Python module give.
const char* structureDescription(StructureKind kind);
// A structure's options as a usage line: "--w W --h H --er E [--w-top WT] …", those it needs
// first.
std::string structureUsage(StructureKind kind);
// The option of that name ("w-top" or "w_top"), or nullptr.
const StructureOption* findStructureOption(std::string_view name);
// The structure kind of that name, or false.
bool structureKindNamed(std::string_view name, StructureKind& kind);

// The largest relative permittivity accepted.
inline constexpr double largestPermittivity = 1e4;
// The largest loss tangent accepted.
inline constexpr double largestLossTangent = 10.0;

// Raises RunError with one line naming the culprit if the structure is incomplete, not
// physical (a non-positive width, touching or overlapping conductors, a trace through the upper
// plane, a permittivity below 1 or above the limit) or beyond the resolved range of ratios
// (smallestRatio … largestRatio) between its lengths and the differences of them that shape it.
void checkStructure(const Structure& structure);

// The cross-section of a checked structure, lengths in units of its bottom width w.
CrossSection structureSection(const Structure& structure);

// The name of a structure kind as on the command line ("microstrip", …).
const char* structureName(StructureKind kind);

}  // namespace plattor
