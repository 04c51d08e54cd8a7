#pragma once
// A board's cross-section as data: a stack of dielectric layers between optional planes,
// conductors anywhere in it, a conformal coating over its top face. Every structure of
// plattor-lines is a short form of one of these, and a cross-section file reads into one.
//
// Coordinates: x across the board, y up; the stack's bottom face at y = 0 (where the bottom
// plane is, if any), each layer on the one below. Lengths in one unit throughout: metres where
// the user gave units, else as given.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "section/face.hpp"

namespace plattor {

// A dielectric layer of the stack, bottom to top. A layer may hold a reference plane (a ground
// conductor as wide as the board) with its bottom `planeHeight` above the layer's bottom,
// `planeThickness` thick (0: a sheet), open over each cut-out [x0, x1].
struct BoardLayer {
    std::string name;
    double thickness = 0.0;
    double er = 1.0;
    double tanDelta = 0.0;
    bool plane = false;
    double planeHeight = 0.0;
    double planeThickness = 0.0;
    std::vector<std::pair<double, double>> cutouts;
};

enum class ConductorShape { trace, circle, polygon };

// A conductor: a trace (a trapezoid whose bottom face, `bottomWidth` wide, lies at height y
// centred on x; its top face `topWidth` wide, `thickness` higher; of zero thickness a strip), a
// circle (centre (x, y), radius; a tube where hollow) or a simple polygon (its corners
// counter-clockwise). A signal conductor
// is driven; a ground one is held at the planes' potential.
struct BoardConductor {
    std::string name;
    bool signal = true;
    ConductorShape shape = ConductorShape::trace;
    double x = 0.0, y = 0.0;
    double bottomWidth = 0.0, topWidth = 0.0, thickness = 0.0;  // trace
    // A trace taken to the board's edge (a ground pour): −1 leftwards, +1 rightwards from its
    // inner side at x, a rectangle `thickness` high (no widths); 0 for a trace of finite width.
    int toEdge = 0;
    double radius = 0.0;                                          // circle
    double innerRadius = 0.0;  // a tube: hollow within this radius (a coaxial line's outer conductor)
    std::vector<Point> points;                                    // polygon
};

// A conformal coating (a solder mask) of relative permittivity er over the stack's top face,
// `thickness` thick over the bare face and `thicknessOver` over the conductors lying on it.
struct BoardCoating {
    double thickness = 0.0;
    double thicknessOver = 0.0;
    double er = 1.0;
    double tanDelta = 0.0;
};

struct Board {
    bool bottomPlane = true;  // a plane under the stack, on y = 0
    bool topPlane = false;    // a plane on the stack's top face
    std::vector<BoardLayer> layers;
    std::vector<BoardConductor> conductors;
    std::vector<BoardCoating> coating;  // none or one, over the top face
    // Two signal conductors (indices into `conductors`) reported as a differential pair.
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    // "m" where lengths were given with units (then in metres), "" where bare.
    std::string lengthUnit;

    // The height of layer k's bottom face; of the stack's top face for k = layers.size().
    double layerBottom(std::size_t k) const;
    std::size_t signalCount() const;
};

// The largest board accepted: beyond it a file is refused in one line, not slowly solved.
inline constexpr std::size_t mostConductors = 16;
inline constexpr std::size_t mostLayers = 32;

}  // namespace plattor
