// The public API of plattor::lines, built with its installed header alone (no internal include
// path): what it reports is what plattor-lines prints, and a user's mistake is a plattor::Error
// with plattor-lines' message.
#include <gtest/gtest.h>

#include <cmath>
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
    const plattor::Solution s = plattor::solve(plattor::Line("microstrip").set("w", 1.0).set("h", 1.0).set("er", 2.0));
    EXPECT_EQ(message([&] { (void)s["oddModeImpedance"]; }),
              "no quantity \"oddModeImpedance\" for this microstrip; it has capacitance, capacitanceInAir, "
              "effectivePermittivity, impedance, inductance, delay");
}

}  // namespace
