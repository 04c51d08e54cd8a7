#pragma once
// The report of N signal conductors: their matrices, modes, crosstalk and pairs as text rows and
// as JSON members, the conductors named as the cross-section names them.
#include <string>
#include <vector>

#include "lines/conductor_matrices.hpp"
#include "report/report.hpp"

namespace plattor {

// One line per value with its bar: C[a,b], C_air[a,b], L[a,b] and Zc[a,b] for a before or
// equal to b (the matrices are symmetric); each mode's effective permittivity and impedance (where
// defined) and its voltages ("mode 1 voltages  a 0.707107, b -0.707107", no bar); the near-end
// and far-end crosstalk of every two conductors ("near-end crosstalk a,b", a ratio; far-end in
// s/m, shown as ps/m); each pair's differential, common-mode, odd-mode and even-mode impedances
// and coupling coefficient ("differential impedance a,b"); a line naming the modes without an
// impedance, and the line of a ladder that stopped before its values settled.
std::vector<std::string> conductorText(const ConductorMatrices& m, const std::vector<std::string>& names);

// The rows of conductorText that carry a value with its bar, in its order.
std::vector<ReportRow> conductorRows(const ConductorMatrices& m, const std::vector<std::string>& names);

// The same as members of `json`: "conductors" (the names), "settled", "capacitanceMatrix",
// "capacitanceMatrixInAir", "inductanceMatrix", "impedanceMatrix" (each {"value": [[…]],
// "error": [[…]]}, SI units), "modes" ([{"effectivePermittivity", "impedance" where defined,
// "voltages"}]), "crosstalk" ([{"between": [a, b], "nearEnd", "farEnd"}]) and "pairs"
// ([{"conductors": [a, b], "differentialImpedance", "commonModeImpedance", "oddModeImpedance",
// "evenModeImpedance", "couplingCoefficient"}]), every value as {"value", "error"}.
void addConductorMatrices(JsonObject& json, const ConductorMatrices& m, const std::vector<std::string>& names);

}  // namespace plattor
