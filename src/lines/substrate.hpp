#pragma once
// The strip pair on a dielectric slab: the slab of relative permittivity εr fills |x| ≤ g/2
// between the ground plane (y = 0) and the strips' level (y = h), the strips lie on its face,
// vacuum elsewhere.
//
// Unknowns are the total (free + polarisation) charge on every face: the conductors and the
// slab's faces beside and between the strips and its two sides, all in free space. Conductor
// nodes hold their potential; interface nodes hold the continuity of the normal displacement,
// εr·E_n(inside) = E_n(outside), with E_n = E_pv ∓ σ/(2ε0) on either side of a charged sheet:
// (εr + 1)/2·σ/ε0 = (εr − 1)·E_pv, E_pv the principal-value normal field of all charges, the
// normal pointing out of the slab. The system is not symmetric. A strip's free charge is its
// total charge less the polarisation charge under it: (εr + 1)/2·Q − (εr − 1)·ε0·∫E_y dx over
// the strip, the field of all charges but the strip's own (which has none normal to it there).
//
// The slab's corners and the plane's edges at its foot carry singularities whose exponents
// depend on εr; their faces are graded geometrically towards them, deeper at each level.
#include <array>
#include <cstddef>
#include <vector>

#include "lines/line_parameters.hpp"
#include "lines/panels.hpp"
#include "lines/strip_pair.hpp"

namespace plattor {

enum class FaceRole { plane, strip, interface };

// The faces of the arrangement and the panels of its right half (x ≥ 0), which carry the
// unknowns; the left half is their mirror image.
struct SubstrateMesh {
    std::vector<Face> faces;
    std::vector<FaceRole> roles;
    std::vector<Point> normals;   // out of the slab, on interfaces
    std::vector<std::size_t> mirrors;  // the face each face maps to under x → −x
    std::vector<Panel> panels;
    std::size_t rightStrip;
    std::size_t order;
};

// The mesh of a pair on a slab (pair.height > 0, strips inside the slab's face) at refinement
// level k = 0, 1, 2, …: panel order 6 + 2k and 6 + 3k geometric layers at each corner.
SubstrateMesh meshSubstratePair(const StripPair& pair, int level);

// The free charges, F/m, of the right strip (at +1 V) and of the left one in the even (+1, +1)
// and odd (left −1, right +1) modes.
struct ModeCapacitances {
    double even;
    double odd;
    double evenLeft;
    double oddLeft;
};
ModeCapacitances substrateModes(const SubstrateMesh& mesh, double permittivity);

// The quantities reported for a pair on a substrate. Capacitances in F/m, impedances in ohm.
enum class SubstrateQuantity : std::size_t {
    maxwell11,                       // Maxwell matrix of the strips (1 at −c/2) with the substrate
    maxwell12,
    maxwell21,
    maxwell22,
    stripToStripCapacitance,         // partial capacitances with the substrate
    stripToGroundCapacitance,
    airMaxwell11,                    // the same with the substrate replaced by vacuum
    airMaxwell12,
    airMaxwell21,
    airMaxwell22,
    airStripToStripCapacitance,
    airStripToGroundCapacitance,
    evenModeCapacitance,             // both strips at +1 V: C_e
    evenModeAirCapacitance,          // C_e,air
    evenModePermittivity,            // ε_eff,e = C_e/C_e,air
    evenModeImpedance,               // Z_e = 1/(c0·√(C_e·C_e,air))
    oddModeCapacitance,              // ±1 V: C_o, and the same for the odd mode
    oddModeAirCapacitance,
    oddModePermittivity,
    oddModeImpedance,
    differentialImpedance,           // 2·Z_o
    commonModeImpedance,             // Z_e/2
    couplingCoefficient,             // (Z_e − Z_o)/(Z_e + Z_o)
    count
};
inline constexpr std::size_t substrateQuantityCount = static_cast<std::size_t>(SubstrateQuantity::count);

class SubstrateValues {
public:
    double& operator[](SubstrateQuantity q) { return values_[static_cast<std::size_t>(q)]; }
    double operator[](SubstrateQuantity q) const { return values_[static_cast<std::size_t>(q)]; }

private:
    std::array<double, substrateQuantityCount> values_{};
};

// One rung of the substrate's ladder: panel order, panels and unknowns of each mode's system.
struct SubstrateLevel {
    std::size_t order;
    std::size_t panels;
    std::size_t unknowns;
};

struct SubstrateParameters {
    double permittivity;
    std::vector<SubstrateLevel> levels;
    SubstrateValues converged;
    SubstrateValues error;  // observed change between the last levels, plus a floor
};

// The pair of `air` (its free-space ladder, whose levels the substrate's are paired with) on a
// slab of relative permittivity ≥ 1; the air quantities are air's own values and bars. A slab
// of zero height, or εr = 1, leaves the free-space values; otherwise the strips lie on the
// slab's face (|c|/2 + w/2 ≤ g/2).
SubstrateParameters substrateParameters(const StripPair& pair, double permittivity, const LineParameters& air);

}  // namespace plattor
