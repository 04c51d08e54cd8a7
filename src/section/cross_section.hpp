#pragma once
// A cross-section as the solver sees it: the faces that bound conductors and regions of
// piecewise-constant permittivity, the conductors' roles, and the symmetries and planes that
// the solver treats exactly.
//
// Every face is either a conductor's surface (a zero-thickness strip has dielectric on both
// sides, a polygon's face on one side only) or an interface between two permittivities. An
// infinitely wide ground plane on y = 0 is no face: it enters as the negative image of every
// charge. Infinitely wide layers and planes above it are faces long enough that the field
// beyond their ends does not reach the conductors (the builders choose that length).
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "section/face.hpp"
#include "section/regions.hpp"

namespace plattor {

// What a conductor is held at in the modes of a line: a ground at 0 V; a single trace, or the
// left and right trace of a pair, at the line's potentials; one of N signal conductors, each
// driven in turn for their Maxwell matrix (no mode of its own).
enum class ConductorRole { ground, single, left, right, signal };

// The potential of a conductor in a mode: +1 V on every trace, the left one −1 V in the odd mode.
constexpr double conductorPotential(ConductorRole role, bool odd) {
    switch (role) {
        case ConductorRole::ground:
        case ConductorRole::signal: return 0.0;
        case ConductorRole::left: return odd ? -1.0 : 1.0;
        case ConductorRole::single:
        case ConductorRole::right: return 1.0;
    }
    return 0.0;
}

inline constexpr std::size_t noConductor = static_cast<std::size_t>(-1);

inline constexpr std::size_t noFace = static_cast<std::size_t>(-1);

struct SectionFace {
    Face face;
    std::size_t conductor;     // index into CrossSection::conductors, or noConductor: an interface
    double leftPermittivity;   // relative permittivity left of the direction of travel; 0 inside a conductor
    double rightPermittivity;  // the same on the right, the side Face::normal points to (both from the regions)
    std::size_t mirror;        // the face's image under x → −x; itself for a face symmetric about x = 0
    // Whether the face's start and end are where an infinitely wide layer or plane is cut off
    // for the computation: no edge there, so the mesh neither refines towards them nor near them.
    bool openStart = false;
    bool openEnd = false;
    // The loss tangents left and right (0 inside a conductor and in vacuum).
    double leftLossTangent = 0.0;
    double rightLossTangent = 0.0;
};

struct CrossSection {
    Regions regions;  // what lies where: every face's two sides come from it
    std::vector<SectionFace> faces;
    std::vector<ConductorRole> conductors;
    bool groundPlane = false;      // an infinitely wide ground plane on y = 0, the faces above it
    bool mirrorSymmetric = false;  // the arrangement is its own image under x → −x
    double size = 1.0;             // the size of the arrangement itself, its long layers aside
    // Between two parallel planes, their spacing: there the field departs from the plates'
    // uniform field only within a few spacings of an edge (by e^(−π·d/b) at a distance d), so
    // the mesh grades its panels from this length at an edge; infinite without upper plane.
    double planeSpacing = std::numeric_limits<double>::infinity();

    // A face and its mirror image (the image gets `mirrorConductor`), their sides' permittivities
    // looked up in the regions; returns the index of the first. An interface between two equal
    // media is no face: noFace, nothing added.
    std::size_t addMirrorPair(const Face& face, std::size_t conductor, std::size_t mirrorConductor);
    // A face that is its own mirror image (reversed: X(π − t) = −conj X(t)).
    std::size_t addSymmetric(const Face& face, std::size_t conductor);
    // A face of an arrangement without mirror symmetry.
    std::size_t add(const Face& face, std::size_t conductor);
    // What fills the two sides of a face, left and right, a hair off its middle.
    std::pair<Medium, Medium> sidesOf(const Face& face) const;
    std::size_t addConductor(ConductorRole role);
    // Marks the ends of face k (and of its mirror image) that lie at |x| = far, or at |x| = near
    // where near is above 0, as cut off.
    void markOpenEnds(std::size_t k, double far, double near = 0.0);

    bool isInterface(std::size_t face) const { return faces[face].conductor == noConductor; }
    ConductorRole role(std::size_t face) const { return conductors[faces[face].conductor]; }
    // Whether the left and right traces of a pair are present (else one trace, or none).
    bool isPair() const;
    // The conductors of role signal, in their order.
    std::vector<std::size_t> signals() const;
    // The conductor that is conductor c's mirror image (c itself where it is symmetric, or
    // without mirror symmetry), from its faces.
    std::size_t mirrorConductor(std::size_t c) const;
    // Whether conductor c's faces carry unknowns: without mirror symmetry every conductor's;
    // with it, those right of x = 0 or across it.
    bool carriesUnknowns(std::size_t c) const;
    // Whether any dielectric other than vacuum is present.
    bool hasDielectric() const;
    // Where no face is an interface and every face sees one and the same permittivity (a
    // stripline in one laminate), that relative permittivity; else 0.
    double uniformPermittivity() const;
    // Whether any dielectric has a loss tangent.
    bool hasDielectricLoss() const;
    // The same arrangement in vacuum: every permittivity 1, the interfaces gone.
    CrossSection inVacuum() const;
};

}  // namespace plattor
