#pragma once
// The solve of one mesh: the charge on every face, and the free charge of the traces.
//
// The unknowns are the total charge, free and polarisation, on every face, all of it in free
// space (with the negative images of a ground plane on y = 0, and with mirror symmetry the ±
// images of the solved half). Conductor nodes hold their potential. Interface nodes hold the
// continuity of the normal displacement, ε₊·E_n(+) = ε₋·E_n(−), which with the jump σ/ε0 of a
// charged sheet reads π·σ = κ·∫ σ'·Re[n/(z − z')] dl', κ = (ε₋ − ε₊)/(ε₋ + ε₊), the integral a
// principal value (a face on the node's own line adds no normal field; on its own circle the
// integrand is the constant 1/(2r)). A trace's free charge is ε times its total charge where
// one permittivity surrounds it; a zero-thickness trace between two, ε_top above and ε_bottom
// below, carries (ε_top + ε_bottom)/2·Q + (ε_top − ε_bottom)·ε0·∫E_y dx, the flux through it of
// every charge off its line (the angle the trace subtends from each).
//
// Without a ground plane the logarithmic kernel sees no reference: the even system is bordered
// with a free constant potential and the neutrality of the charge, so no length unit makes it
// singular; the odd one is neutral by symmetry.
#include <complex>
#include <functional>
#include <vector>

#include "mesh/mesh.hpp"
#include "section/cross_section.hpp"

namespace plattor {

// Per trace, F/m. even: every trace at +1 V (a single trace at 1 V); odd: the right trace of a
// pair at +1 V, the left at −1 V. NaN where a mode does not exist (no odd mode for one trace,
// no even mode without a ground of any kind).
struct ModeCapacitances {
    double even;
    double odd;
};

ModeCapacitances modeCapacitances(const CrossSection& section, const Mesh& mesh);

// The complex relative permittivities ε′ − jε″ of every face's two sides (indexed as
// CrossSection::faces; 0 inside a conductor): the dielectrics at one frequency.
struct FaceMedia {
    std::vector<std::complex<double>> left, right;
};

// Mode capacitances per trace with complex permittivities, C − jG/ω, F/m.
struct ComplexModes {
    std::complex<double> even;
    std::complex<double> odd;
};

// A solve of the modes with what follows from the same charges:
// - `lossy`: the mode capacitances with each FaceMedia's complex permittivities in place of the
//   faces' own (real) ones. The system differs from the real one only in the rows of the
//   interfaces, by the change of their contrast κ = (ε₋ − ε₊)/(ε₋ + ε₊): solved exactly, by
//   GMRES on x + A⁻¹·ΔA·x = A⁻¹·b with the real system's factors, not to first order in tan δ.
// - `skin`: per mode, ∮ ρ̂² dl over every conductor's surface, the infinite ground plane's
//   included, divided by the number of traces the mode drives: ρ̂ the surface charge for a unit
//   charge on each trace, which in the skin-effect limit is the surface current for a unit
//   current (the mode's resistance per unit length is R_s times it). In the section's length
//   unit⁻¹; +∞ where a conductor has a free edge (a strip of zero thickness, whose charge goes
//   like d^(−1/2) and its square is not integrable). Meant for a section in vacuum.
struct ModeSolution {
    ModeCapacitances modes;
    std::vector<ComplexModes> lossy;
    ModeCapacitances skin;
};
ModeSolution solveModes(const CrossSection& section, const Mesh& mesh, const std::vector<FaceMedia>& media,
                        bool skin);

// The ratio by which the skin-effect integrals' error shrinks from one rung of the ladder to the
// next: the innermost panel at a corner of field angle α leaves an error of the order of
// ∫ σ² dr within it, which goes like r0^(2ν + 1), ν = π/α − 1, and each rung takes r0 down by
// 16 (0.40 at a rectangle's corner, 0.61 at a trapezoid's foot of 55°). The largest over the
// corners of the conductors; 0 without corners.
double skinConvergence(const CrossSection& section);

// Each face's complex permittivities from its own relative permittivity and loss tangent by a
// dielectric model (which keeps vacuum, (1, 0), at 1).
FaceMedia faceMedia(const CrossSection& section,
                    const std::function<std::complex<double>(double permittivity, double lossTangent)>& model);

// The Maxwell capacitance matrix of the signal conductors (CrossSection::signals()), F/m,
// row-major: entry (i, j) the free charge on signal i with signal j at 1 V, every other conductor
// at 0 V. One factored system serves every signal (two, the even and the odd one, with mirror
// symmetry). Needs a reference: a ground plane or a ground conductor.
std::vector<double> maxwellMatrix(const CrossSection& section, const Mesh& mesh);

// A mirrored section's even and odd systems are built and factored side by side, on a second
// thread where the machine has two cores. While one of these lives its thread's solves keep to
// that thread: a pool whose threads each solve a piece already keeps every core busy.
class SolvesOnThisThreadOnly {
public:
    SolvesOnThisThreadOnly();
    ~SolvesOnThisThreadOnly();
    SolvesOnThisThreadOnly(const SolvesOnThisThreadOnly&) = delete;
    SolvesOnThisThreadOnly& operator=(const SolvesOnThisThreadOnly&) = delete;

private:
    bool before_;
};

// While one of these lives (on any thread), the kernels of every mesh solved are kept, up to
// 256 MB, the oldest given up first, and found again by the mesh's geometry: they do not depend
// on any permittivity, so the points of a sweep of one (and their vacuum, at every point the
// same) need only factor their systems. The last one to end frees them.
class KernelsKept {
public:
    KernelsKept();
    ~KernelsKept();
    KernelsKept(const KernelsKept&) = delete;
    KernelsKept& operator=(const KernelsKept&) = delete;
};

// While one of these lives on a thread, a solve there of an arrangement with interfaces (and a
// ground plane) factors the conductors' unknowns, which lead its mesh, as a block of their own,
// and keeps its factored systems; the next solve of its vacuum (section.inVacuum() on
// conductorMesh of the same mesh) solves with those leading blocks instead of assembling and
// factoring its own: the systems in vacuum are those blocks (a conductor's row is its
// potential, whatever the permittivities), so a rung in vacuum costs its solves alone.
class ConductorSystemsKept {
public:
    ConductorSystemsKept();
    ~ConductorSystemsKept();
    ConductorSystemsKept(const ConductorSystemsKept&) = delete;
    ConductorSystemsKept& operator=(const ConductorSystemsKept&) = delete;

private:
    bool before_;
};

// The field of one mode (the odd one of a pair, or the even one), or of any excitation (each
// conductor's potential), from its solved charges, for pictures: each node's charge as a line
// charge, with the images it stands for. Close to a face (within a panel's length) the point
// charges show their graininess.
class ModeField {
public:
    ModeField(const CrossSection& section, const Mesh& mesh, bool odd);
    // `potentials` by conductor (CrossSection::conductors); with mirror symmetry the excitation
    // is split into the part its image shares and the part it reverses, each solved on its own.
    ModeField(const CrossSection& section, const Mesh& mesh, const std::vector<double>& potentials);
    // φ(z), volts, the conductors at their mode potentials.
    double potential(Point z) const;
    // E = −∇φ at z, volts per unit length (the section's unit).
    Point field(Point z) const;

private:
    bool mirror_, plane_;
    double offset_ = 0.0;
    std::vector<Point> positions_;
    // w·g, units of 2π·ε0·V: of the part the mirror images share, and of the part they reverse.
    std::vector<double> charges_, oddCharges_;
};

}  // namespace plattor
