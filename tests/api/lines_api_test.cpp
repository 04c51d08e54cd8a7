// The public API of plattor::lines, built with its installed header alone (no internal include
// path): what it reports is what plattor-lines prints, and a user's mistake is a plattor::Error
// with plattor-lines' message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <plattor/lines.hpp>

#include "support/program_run.hpp"

namespace {

using plattor::testing::runProgram;
using plattor::testing::ScratchDir;

// A structure as plattor-lines' arguments: the kind, then option and value pairs.
using Arguments = std::vector<std::string>;

plattor::Line lineOf(const Arguments& arguments) {
    plattor::Line line(arguments[0]);
    for (std::size_t k = 1; k + 1 < arguments.size(); k += 2) line.set(arguments[k].substr(2), arguments[k + 1]);
    return line;
}

// plattor-lines' standard output, or its one message without the program's name.
std::string linesSays(Arguments arguments, bool json = false) {
    if (json) arguments.push_back("--json");
    const ScratchDir dir;
    const auto run = runProgram(PLATTOR_LINES_EXECUTABLE, dir.path(), arguments);
    const std::string said = run.exitStatus == 0 ? run.out : run.err.substr(std::string("plattor-lines: ").size());
    return said.substr(0, said.size() - 1);
}

TEST(LinesApi, TextAndJsonAreThePrograms) {
    for (const Arguments& a : {Arguments{"microstrip", "--w", "4mil", "--h", "3mil", "--er", "3.8", "--t", "1mil"},
                               Arguments{"stripline", "--w", "1", "--s", "0.5", "--h", "1", "--b", "2", "--er", "3"}}) {
        const plattor::Solution s = plattor::solve(lineOf(a));
        EXPECT_EQ(s.text(), linesSays(a)) << a[0];
        EXPECT_EQ(s.json(), linesSays(a, true)) << a[0];
        // The first line, its blanks collapsed: the name, then the quantity's own text.
        std::string first;
        for (const char c : s.text().substr(0, s.text().find('\n')))
            if (c != ' ' || (!first.empty() && first.back() != ' ')) first += c;
        EXPECT_EQ(first, s.quantities().front().name + " " + s.quantities().front().text());
    }
}

// A text's blanks collapsed, so that a report line reads as its name and its value's text.
std::string collapsed(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
    return out;
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number of a member ("value" or "error") of the quantity `key` in a JSON text, after `from`.
double jsonNumber(const std::string& json, const std::string& key, const std::string& member, std::size_t from) {
    const std::size_t at = json.find("\"" + key + "\": {", from);
    if (at == std::string::npos) return NAN;
    const std::size_t number = json.find("\"" + member + "\": ", at);
    return std::strtod(json.c_str() + number + member.size() + 4, nullptr);
}

// A masked pair with lossy dielectrics and rough copper at 5 GHz, through the library and through
// plattor-lines --json: every quantity of each mode the same number, its text the program's line,
// and the files the same to the byte.
TEST(LinesApi, LossesAreThePrograms) {
    const Arguments pair{"microstrip", "--w", "0.11mm", "--s", "0.13mm", "--h", "0.09mm", "--t", "17um", "--er", "4.1",
                         "--tand", "0.018", "--mask", "23um", "--mask-er", "3.4", "--mask-tand", "0.027"};
    plattor::LossSettings settings;
    settings.sigma = 4.7e7;
    settings.roughness = "huray";
    settings.rz = 3.1e-6;
    const plattor::LossSolution losses = plattor::solveLosses(lineOf(pair), {5e9}, settings);
    Arguments cli = pair;
    for (const char* a : {"--freq", "5GHz", "--sigma", "4.7e7", "--roughness", "huray", "--rz", "3.1um", "--length",
                          "37mm", "--touchstone", "pair.s4p", "--z-ref", "45", "--rlgc", "pair.rlgc", "--json"})
        cli.push_back(a);
    const ScratchDir dir;
    const auto run = runProgram(PLATTOR_LINES_EXECUTABLE, dir.path(), cli);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::size_t table = run.out.find("\"losses\"");
    ASSERT_NE(table, std::string::npos);
    ASSERT_EQ(losses.frequencies().size(), 1u);
    const plattor::FrequencyLosses& at = losses.frequencies().front();
    ASSERT_EQ(at.modes.size(), 2u);
    ASSERT_EQ(at.pair.size(), 16u);
    std::vector<plattor::Reading> all = at.pair;
    for (const auto& mode : at.modes) {
        EXPECT_EQ(mode.size(), 12u);
        all.insert(all.end(), mode.begin(), mode.end());
    }
    const std::string text = collapsed(losses.text());
    for (const plattor::Reading& r : all) {
        for (const char* member : {"value", "error"}) {
            const double program = jsonNumber(run.out, r.key, member, table);
            EXPECT_NEAR(member[0] == 'v' ? r.value : r.error, program, 1e-12 * std::fabs(program)) << r.key << " " << member;
        }
        EXPECT_NE(text.find(r.name + " " + r.text()), std::string::npos) << r.name << " " << r.text();
        EXPECT_EQ(at[r.key].name, r.name);
    }
    EXPECT_EQ(at["oddModeAttenuation"].unit, "dB/m");
    EXPECT_EQ(at.modes[1][6].key, "oddModeAttenuation");
    EXPECT_EQ(losses.models().at(1).second, "conductivity 47000000 S/m, Huray roughness (cannonball), Rz 3.1 um");
    EXPECT_EQ(losses.json(), run.out.substr(0, run.out.size() - 1));
    EXPECT_EQ(losses.solution()["differentialImpedance"].value, jsonNumber(run.out, "differentialImpedance", "value", 0));
    // The per-unit-length matrices: the mirror pair's Z11 = (z_even + z_odd)/2, z = R + jωL.
    const double omega = 2 * M_PI * 5e9;
    const std::complex<double> zEven(at["evenModeResistance"].value, omega * at["evenModeInductance"].value),
        zOdd(at["oddModeResistance"].value, omega * at["oddModeInductance"].value);
    EXPECT_NEAR(std::abs(at.series[0] - (zEven + zOdd) / 2.0), 0, 1e-13 * std::abs(zEven));
    EXPECT_EQ(at.series[1], at.series[2]);
    losses.writeTouchstone((dir.path() / "library.s4p").string(), 0.037, 45);
    losses.writeRlgc((dir.path() / "library.rlgc").string());
    EXPECT_EQ(fileText(dir.path() / "library.s4p"), fileText(dir.path() / "pair.s4p"));
    EXPECT_EQ(fileText(dir.path() / "library.rlgc"), fileText(dir.path() / "pair.rlgc"));
}

TEST(LinesApi, QuantitiesByKeyInSiUnits) {
    const plattor::Solution thin = plattor::solve(plattor::Line("microstrip").set("w", 1.0).set("h", 1.0).set("er", 1.0));
    // In vacuum ε_eff is 1, and a TEM line's delay² = L·C, Z = √(L/C), each within the bars.
    const auto value = [&](const char* key) { return thin[key].value; };
    const auto relativeError = [&](const char* key) { return thin[key].error / thin[key].value; };
    EXPECT_NEAR(value("effectivePermittivity"), 1, thin["effectivePermittivity"].error + 1e-15);
    EXPECT_NEAR(value("delay") * value("delay") / (value("inductance") * value("capacitance")), 1,
                2 * relativeError("delay") + relativeError("inductance") + relativeError("capacitance") + 1e-15);
    EXPECT_NEAR(value("impedance") / std::sqrt(value("inductance") / value("capacitance")), 1,
                relativeError("impedance") + relativeError("inductance") + relativeError("capacitance") + 1e-15);
    EXPECT_EQ(thin["impedance"].unit, "ohm");
    EXPECT_EQ(thin["capacitance"].unit, "F/m");
    EXPECT_FALSE(thin.has("differentialImpedance"));
    EXPECT_TRUE(thin.has("inductance"));
    EXPECT_EQ(thin.quantities().size(), 6u);
}

TEST(LinesApi, OptionsReadBackInMetresWhereTheyCarryUnits) {
    plattor::Line line("coplanar");
    line.set("w", "4mil").set("w_top", "0.1mm").set("g", "100um");
    const plattor::Line copy = line;
    line.set("h", "1m");
    EXPECT_DOUBLE_EQ(copy.get("w"), 4 * 25.4e-6);
    EXPECT_DOUBLE_EQ(copy.get("w-top"), 1e-4);
    EXPECT_TRUE(std::isnan(copy.get("h")));
    EXPECT_EQ(line.get("h"), 1.0);
    EXPECT_EQ(copy.lengthUnit(), "m");
    EXPECT_EQ(plattor::Line("stripline").set("w", 2.5).get("w"), 2.5);
    EXPECT_EQ(plattor::Line("stripline").lengthUnit(), "");
    EXPECT_EQ(plattor::Line::options().front(), "w");
    EXPECT_EQ(plattor::Line::options().size(), 19u);
    // A kind's own options, those it needs first, as plattor-lines' usage lists them.
    const std::vector<plattor::Line::Option> strip = plattor::Line::options("stripline");
    std::string names;
    for (const auto& o : strip) names += (o.required ? "" : "[") + o.name + (o.required ? " " : "] ");
    EXPECT_EQ(names, "w h b er [w-top] [t] [s] [er-top] [tand] [tand-top] ");
    EXPECT_NE(plattor::Line::description("coplanar").find("ground-width"), std::string::npos);
}

// Each mistake through the library, and where plattor-lines can make it too, its message.
TEST(LinesApi, MistakesAreErrorsWithTheProgramsMessage) {
    const auto message = [](auto&& f) {
        try {
            f();
        } catch (const plattor::Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const auto solved = [](const Arguments& a) { return [a] { plattor::solve(lineOf(a)); }; };
    for (const Arguments& a : {Arguments{"microstrip", "--w", "1", "--h", "1"},
                               Arguments{"microstrip", "--w", "1", "--h", "1mm", "--er", "4"},
                               Arguments{"stripline", "--w", "1", "--h", "2", "--b", "2", "--er", "4"},
                               Arguments{"coplanar", "--w", "1", "--h", "1", "--er", "0.5", "--g", "1"},
                               Arguments{"microstrip", "--w", "1", "--b", "1", "--h", "1", "--er", "4"},
                               Arguments{"microstrip", "--w", "0.1x", "--h", "1", "--er", "4"},
                               Arguments{"microstrip", "--er", "four"}})
        EXPECT_EQ(message(solved(a)), linesSays(a)) << a[0] << " " << a[1] << " " << a[2];
    EXPECT_EQ(message([] { plattor::Line("microstrip").set("w", 1.0).set("w", 2.0); }), "--w is given twice");
    EXPECT_EQ(message([] { plattor::Line("microstrip").set("w", NAN); }),
              "--w needs a length (a decimal number, bare or with one of the units m, mm, um, mil), got \"NaN\"");
    EXPECT_EQ(message([] { plattor::Line("microstrip").set("width", 1.0); }),
              "unknown option \"width\"; the options are w, w-top, t, s, h, b, er, er-top, mask, mask-er, mask-top, cover, "
              "cover-er, g, ground-width, tand, tand-top, mask-tand, cover-tand");
    EXPECT_EQ(message([] { plattor::Line("slotline"); }),
              "unknown structure \"slotline\"; the structures are microstrip, stripline, coplanar");
    // The losses' settings pass the program's one check of its loss options.
    struct LossMistake {
        std::vector<double> frequencies;
        plattor::LossSettings settings;
        Arguments options;
    };
    plattor::LossSettings hammerstad, conductor;
    hammerstad.roughness = "hammerstad";
    conductor.sigma = 1e7;
    const Arguments trace{"microstrip", "--w", "0.1mm", "--h", "0.1mm", "--er", "4.3"};
    for (const LossMistake& m : {LossMistake{{2e9, 1e9}, {}, {"--freq", "2e+09,1e+09"}},
                                 LossMistake{{5e9}, hammerstad, {"--freq", "5e9", "--roughness", "hammerstad"}},
                                 LossMistake{{}, conductor, {"--sigma", "1e7"}}}) {
        Arguments a = trace;
        a.insert(a.end(), m.options.begin(), m.options.end());
        EXPECT_EQ(message([&] { plattor::solveLosses(lineOf(trace), m.frequencies, m.settings); }), linesSays(a))
            << m.options[0] << " " << m.options[1];
    }
    const Arguments bare{"microstrip", "--w", "1", "--h", "1", "--er", "4", "--freq", "1GHz"};
    EXPECT_EQ(message([&] { plattor::solveLosses(lineOf({"microstrip", "--w", "1", "--h", "1", "--er", "4"}), {1e9}); }),
              linesSays(bare));
    const plattor::LossSolution thin = plattor::solveLosses(lineOf(trace), {1e9});
    EXPECT_EQ(message([&] { thin.writeTouchstone("line.s4p", 0.1); }),
              "--touchstone needs a file named *.s2p for a single trace (2 ports), got \"line.s4p\"");
    EXPECT_EQ(message([&] { thin.writeTouchstone("line.s2p", 0); }), "--length needs a length above 0, got \"0m\"");
    EXPECT_EQ(message([&] { thin.writeTouchstone("line.s2p", 0.1, -50); }),
              "--z-ref needs an impedance in ohm above 0, got \"-50\"");
    EXPECT_EQ(message([&] { thin.writeRlgc("no/such/directory/line.rlgc"); }).rfind("no/such/directory/line.rlgc: cannot ", 0),
              0u);
    EXPECT_EQ(thin.conductorLoss().substr(0, 18), "no conductor loss:");
    EXPECT_EQ(message([&] { (void)thin.frequencies().front()["oddModeDelay"]; }),
              "no loss \"oddModeDelay\" at 1e+09 Hz; there are resistance, inductance, conductance, capacitance, "
              "impedanceReal, impedanceImaginary, attenuation, phaseConstant, conductorAttenuation, dielectricAttenuation, "
              "effectivePermittivity, delay");
    const plattor::Solution s = plattor::solve(plattor::Line("microstrip").set("w", 1.0).set("h", 1.0).set("er", 2.0));
    EXPECT_EQ(message([&] { (void)s["oddModeImpedance"]; }),
              "no quantity \"oddModeImpedance\" for this microstrip; it has capacitance, capacitanceInAir, "
              "effectivePermittivity, impedance, inductance, delay");
}

}  // namespace
