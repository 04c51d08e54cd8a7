// The input reader on thousands of seeded random and mutated inputs, against a plain oracle
// built another way (white-space split, a regular expression, strtod). Every input gives the
// oracle's four numbers, or a one-line RunError of the kind and count the oracle expects.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "run/input.hpp"

namespace plattor {
namespace {

// What the oracle reads: the four values, or where and why reading fails.
struct Reading {
    enum Outcome { Values, Syntax, Range } outcome = Values;
    double values[4] = {};
    int found = 0;            // numbers read before a syntax failure
    bool atEnd = false;       // a syntax failure at the end of the text
    int numberOutOfRange = 0; // 1-based
};

Reading oracle(const std::string& text) {
    static const std::regex number("[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?");
    std::vector<std::string> tokens;
    std::string token;
    for (const char c : text + ' ') {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!token.empty()) tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    Reading r;
    for (int k = 0; k < 4; ++k) {
        if (k == static_cast<int>(tokens.size())) {
            r.outcome = Reading::Syntax, r.found = k, r.atEnd = true;
            return r;
        }
        std::smatch m;
        // The first three must be numbers through and through; the fourth only needs to start with one.
        const bool ok = k < 3 ? std::regex_match(tokens[k], m, number)
                              : std::regex_search(tokens[k], m, number, std::regex_constants::match_continuous);
        if (!ok) {
            r.outcome = Reading::Syntax, r.found = k;
            return r;
        }
        errno = 0;
        const double value = std::strtod(m.str().c_str(), nullptr);
        if (errno == ERANGE || (value != 0.0 && !std::isnormal(value))) {
            r.outcome = Reading::Range, r.numberOutOfRange = k + 1;
            return r;
        }
        r.values[k] = value;
    }
    return r;
}

// ---- inputs ----

const std::string whiteSpace = " \t\n\r\v\f";

char pick(std::mt19937& random, const std::string& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

// A byte biased towards what numbers are made of.
char numberishByte(std::mt19937& random) {
    const int kind = std::uniform_int_distribution<int>(0, 99)(random);
    if (kind < 45) return pick(random, "0123456789");
    if (kind < 55) return pick(random, "+-");
    if (kind < 63) return '.';
    if (kind < 70) return pick(random, "eE");
    if (kind < 85) return pick(random, whiteSpace);
    if (kind < 90) return pick(random, "xXnNaAiIfF,_");
    return static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
}

std::string randomDigits(std::mt19937& random, int most) {
    std::string digits;
    const int n = std::uniform_int_distribution<int>(1, most)(random);
    for (int k = 0; k < n; ++k) digits += pick(random, "0123456789");
    return digits;
}

// A well-formed number in any of the written forms, now and then beyond a double.
std::string randomNumber(std::mt19937& random) {
    std::string n;
    const int sign = std::uniform_int_distribution<int>(0, 3)(random);
    if (sign == 1) n += '-';
    if (sign == 2) n += '+';
    switch (std::uniform_int_distribution<int>(0, 3)(random)) {
        case 0: n += randomDigits(random, 6); break;
        case 1: n += randomDigits(random, 4), n += '.', n += randomDigits(random, 6); break;
        case 2: n += '.', n += randomDigits(random, 5); break;
        default: n += randomDigits(random, 3), n += '.'; break;
    }
    if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
        n += pick(random, "eE");
        const int s = std::uniform_int_distribution<int>(0, 2)(random);
        if (s == 1) n += '-';
        if (s == 2) n += '+';
        n += std::to_string(std::uniform_int_distribution<int>(0, 330)(random));
    }
    return n;
}

std::string randomSeparator(std::mt19937& random) {
    std::string s;
    const int n = std::uniform_int_distribution<int>(1, 3)(random);
    for (int k = 0; k < n; ++k) s += pick(random, whiteSpace);
    return s;
}

std::string wellFormedInput(std::mt19937& random) {
    std::string text;
    if (std::uniform_int_distribution<int>(0, 3)(random) == 0) text += randomSeparator(random);
    for (int k = 0; k < 4; ++k) text += (k ? randomSeparator(random) : "") + randomNumber(random);
    if (std::uniform_int_distribution<int>(0, 2)(random) == 0) text += randomSeparator(random) + "junk 7";
    return text;
}

// One to three byte edits: insert, delete, replace, or duplicate a stretch.
std::string mutated(std::string text, std::mt19937& random) {
    const int edits = std::uniform_int_distribution<int>(1, 3)(random);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size())(random);
        switch (std::uniform_int_distribution<int>(0, 3)(random)) {
            case 0: text.insert(at, 1, numberishByte(random)); break;
            case 1: if (at < text.size()) text.erase(at, 1); break;
            case 2: if (at < text.size()) text[at] = numberishByte(random); break;
            default: text.insert(at, text.substr(at, std::uniform_int_distribution<std::size_t>(1, 6)(random)));
        }
    }
    return text;
}

std::string soup(std::mt19937& random) {
    std::string text;
    const int n = std::uniform_int_distribution<int>(0, 40)(random);
    for (int k = 0; k < n; ++k) text += numberishByte(random);
    return text;
}

std::string shown(const std::string& text) {
    std::string s;
    for (const unsigned char c : text) {
        char b[8];
        std::snprintf(b, sizeof b, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
        s += b;
    }
    return s;
}

// ---- the check ----

struct Tally {
    int values = 0, syntax = 0, range = 0;
};

void checkOne(const std::string& text, Tally& tally) {
    const Reading expected = oracle(text);
    SCOPED_TRACE("input \"" + shown(text) + "\"");
    try {
        const InputValues v = parseInput(text, "indata3.txt");
        ASSERT_EQ(expected.outcome, Reading::Values) << "accepted what the oracle rejects";
        const double got[4] = {v.groundWidth, v.stripWidth, v.centreDistance, v.stripHeight};
        for (int k = 0; k < 4; ++k) {
            ASSERT_TRUE(std::isfinite(got[k])) << k;
            // Bit for bit: -0 stays -0, and every digit counts.
            ASSERT_EQ(std::memcmp(&got[k], &expected.values[k], sizeof(double)), 0)
                << "number " << k + 1 << ": " << got[k] << " against " << expected.values[k];
        }
        ++tally.values;
        // The checks either keep the values or reject them with a one-line reason.
        try {
            checkInput(v, "indata3.txt");
        } catch (const RunError& e) {
            const std::string message = e.what();
            ASSERT_EQ(message.rfind("indata3.txt: ", 0), 0u) << message;
            ASSERT_EQ(message.find('\n'), std::string::npos) << message;
        }
    } catch (const RunError& e) {
        const std::string message = e.what();
        for (const unsigned char c : message)
            ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "unprintable byte in " << shown(message);
        switch (expected.outcome) {
            case Reading::Values: FAIL() << "rejected what the oracle reads: " << message;
            case Reading::Syntax: {
                const std::string start =
                    "indata3.txt: expected 4 numbers, found " + std::to_string(expected.found) + " (";
                ASSERT_EQ(message.rfind(start, 0), 0u) << message;
                const bool atEnd = message.compare(start.size(), std::string::npos, "end of file)") == 0;
                ASSERT_EQ(atEnd, expected.atEnd) << message;
                ++tally.syntax;
                break;
            }
            case Reading::Range:
                ASSERT_EQ(message.rfind("indata3.txt: number " + std::to_string(expected.numberOutOfRange) + " (", 0),
                          0u)
                    << message;
                ASSERT_NE(message.find(") is outside the range of a double"), std::string::npos) << message;
                ++tally.range;
                break;
        }
    }
}

TEST(InputReaderRandom, AgreesWithThePlainOracleOnSeededRandomAndMutatedInputs) {
    std::mt19937 random(20240605);
    Tally tally;
    for (int k = 0; k < 20000 && !HasFatalFailure(); ++k) {
        std::string text;
        switch (k % 4) {
            case 0: text = wellFormedInput(random); break;
            case 1:
            case 2: text = mutated(wellFormedInput(random), random); break;
            default: text = soup(random); break;
        }
        checkOne(text, tally);
    }
    // Every outcome must be well represented, or the generators test less than they seem to.
    EXPECT_GT(tally.values, 4000);
    EXPECT_GT(tally.syntax, 4000);
    EXPECT_GT(tally.range, 400);
}

}  // namespace
}  // namespace plattor
