#pragma once
// A board's layer stack as its layout tool keeps it: KiCad's (setup (stackup …)) section of a
// .kicad_pcb file, copper and dielectric layers from the front (top) to the back, with the solder
// masks over them; which copper layers carry tracks, and which the board calls power planes.
#include <cstddef>
#include <string>
#include <vector>

namespace plattor {

enum class StackupLayerKind { copper, dielectric, mask };

// One layer of the stack. A dielectric with sublayers (KiCad's addsublayer) is one entry a
// sublayer, in their order, each with its own thickness and permittivity. Lengths in metres;
// NaN (`absent`) where the file gives no value.
struct StackupLayer {
    std::string name;  // "F.Cu", "dielectric 2", "F.Mask"
    StackupLayerKind kind = StackupLayerKind::copper;
    std::string type;  // as written: "copper", "core", "prepreg", "Top Solder Mask"
    double thickness = 0.0;
    double er = 0.0;  // relative permittivity (epsilon_r)
    double tanDelta = 0.0;  // loss tangent (loss_tangent; 0 where absent)
    std::size_t sublayer = 0;  // 0: the layer itself; k: its k-th added sublayer
    std::size_t line = 0;      // where the entry (or the sublayer) starts in the file
    // "layer \"dielectric 3\"" or "layer \"dielectric 3\", sublayer 1": the entry in a message.
    std::string label() const;
};

struct Stackup {
    std::string fileName;
    std::size_t line = 0;              // of the (stackup …) section
    std::vector<StackupLayer> layers;  // front to back: the masks, the copper and the dielectrics between
    // The copper layers the board's (layers …) section types "power" (plane layers), and those a
    // track (segment or arc) lies on; `tracks` whether the file holds any track at all.
    std::vector<std::string> powerLayers;
    std::vector<std::string> routedLayers;
    bool tracks = false;

    // "<file>:<line>": where a message points.
    std::string at(std::size_t line) const;
    // The copper layers' indices into `layers`, front to back.
    std::vector<std::size_t> copperLayers() const;
};

// The largest file read: far beyond any board, small enough to hold whole.
inline constexpr std::size_t largestBoardFile = std::size_t{1} << 28;

// Reads the stack of a KiCad board file (KiCad 5.1 and later; lengths in mm there). Raises
// RunError in one line naming the file, the line and the field: a file that cannot be read or is
// no KiCad board, no stackup section, a copper or dielectric layer without its thickness, a
// dielectric (or a sublayer of some thickness) without epsilon_r, a value that is no number in
// its range (a loss tangent negative or not finite), two copper layers with no dielectric between
// them.
Stackup readStackup(const std::string& fileName);

// The copper layers taken as reference planes: `requested` where given (each must name a copper
// layer of the stack), else every copper layer typed power, and where the board holds tracks
// every copper layer without one. Raises RunError where a requested name is no copper layer of
// the stack, or where no layer (or every layer) would be a plane.
std::vector<std::string> referencePlanes(const Stackup& stackup, const std::vector<std::string>& requested);

}  // namespace plattor
