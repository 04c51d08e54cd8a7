#include "run/loss_runs.hpp"

#include "base/error.hpp"
#include "report/loss_report.hpp"
#include "run/console.hpp"

namespace plattor {

namespace {

void run(const LossReport& report, const LossOptions& options, bool json) {
    if (json) display(report.json);
    else display(report.text);
    writeLossFiles(report.losses, options);
}

}  // namespace

const char* const lossUsage =
    "       plattor-lines STRUCTURE|file F.json … --freq F|F1,F2,…|FROM:TO:COUNT [--tand T]\n"
    "                     [--dk-model constant|wideband] [--dk-freq F] [--sigma S]\n"
    "                     [--roughness hammerstad|groisse|huray --rq L|--rz L]\n"
    "                     [--length L --touchstone FILE.s2p|.s4p [--z-ref OHM]] [--rlgc FILE] [--json]";

const char* const lossHelp =
    "--freq F, F1,F2,… or FROM:TO:COUNT (Hz, kHz, MHz, GHz; a range in a constant ratio): the line's losses\n"
    "per unit length, R, L, G, C, its complex impedance, attenuation (conductor and dielectric), effective\n"
    "permittivity and delay, each with its bar; CSV over several. Loss tangents --tand, --tand-top,\n"
    "--mask-tand, --cover-tand; --dk-model wideband spreads er and tan delta (at --dk-freq, 1 GHz) over\n"
    "frequency causally (Djordjevic-Sarkar). Conductors: --sigma (5.8e7 S/m), --roughness hammerstad or\n"
    "groisse (--rq RMS) or huray (--rz). --length L --touchstone F.s2p|.s4p writes the S-parameters\n"
    "(--z-ref, 50 ohm); --rlgc F the W-element table. docs/losses.md.";

bool takeLossOption(LossOptions& options, int argc, char** argv, int& k) {
    const std::string argument = argv[k];
    const auto field = lossOption(argument);
    if (field == nullptr) return false;
    if (options.*field) throw RunError(argument + " is given twice");
    if (k + 1 >= argc) throw RunError(argument + " needs a value");
    options.*field = argv[++k];
    return true;
}

void runStructureLosses(const StructureInput& input, const LossOptions& options, bool json) {
    // 1. The request, checked in full; 2. the structure checked (its lengths in metres) and solved
    // up the ladder with the complex permittivities and the skin integrals; 3. the report and the
    // files.
    const LossRequest request = lossRequest(options);
    checkTouchstoneName(options, input.structure.isPair() ? 2 : 1);
    run(structureLosses(input, request), options, json);
}

void runFileLosses(const BoardFile& file, const LossOptions& options, bool json) {
    const LossRequest request = lossRequest(options);
    checkTouchstoneName(options, file.board().pairs.empty() ? 1 : 2);
    run(crossSectionLosses(file, request), options, json);
}

}  // namespace plattor
