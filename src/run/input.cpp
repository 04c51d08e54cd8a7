#include "run/input.hpp"

#include <algorithm>
#include <cassert>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "moment/fields/fields.hpp"
#include "base/error.hpp"
#include "base/text.hpp"
#include "run/geometry.hpp"

namespace plattor {

namespace {

// The input holds four numbers; anything useful lies well within this many bytes, and a
// cap keeps a wrong file (a device, a huge log) from being read without end.
constexpr std::size_t inputByteLimit = 1 << 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// What stands where reading stopped: the word there, quoted, shortened and escaped.
std::string excerpt(std::string_view rest) {
    std::size_t word = 0;
    while (word < rest.size() && !isSpace(rest[word])) ++word;
    std::string quoted(1, '"');
    quoted += printableExcerpt(rest.substr(0, word));
    return quoted += '"';
}

InputValues parse(std::string_view text, const std::string& fileName, const char* endDescription) {
    double values[4];
    std::size_t k = 0;
    for (int found = 0; found < 4; ++found) {
        while (k < text.size() && isSpace(text[k])) ++k;
        const std::string_view rest = text.substr(k);
        const Decimal number = parseDecimal(rest);
        std::size_t length = number.length;
        // The first three numbers must end at white space; after the fourth nothing matters.
        if (length > 0 && found < 3 && length < rest.size() && !isSpace(rest[length])) length = 0;
        if (length == 0) {
            const std::string where = rest.empty() ? std::string(endDescription) : "stopped at " + excerpt(rest);
            throw RunError(fileName + ": expected 4 numbers, found " + std::to_string(found) + " (" + where + ")");
        }
        if (!number.inRange)
            throw RunError(fileName + ": number " + std::to_string(found + 1) + " (" +
                           printableExcerpt(rest.substr(0, length)) + ") is outside the range of a double");
        values[found] = number.value;
        k += length;
    }
    return {values[0], values[1], values[2], values[3]};
}

}  // namespace

InputValues parseInput(std::string_view text, const std::string& fileName) {
    return parse(text, fileName, "end of file");
}

InputValues readInputFile(const std::string& fileName) {
    // Opened without blocking, so that a pipe without a writer cannot hang the run, and read
    // only if it is a plain file. A directory is left to read(2), which refuses it (EISDIR).
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw RunError(fileName + ": cannot open: " + std::strerror(errno));
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        throw RunError(fileName + ": cannot read: not a regular file");
    // Read in pieces, so that a file of four numbers costs a few bytes rather than the cap; one
    // byte more than the cap tells whether the file goes on.
    std::string text;
    char piece[4096];
    while (text.size() <= inputByteLimit) {
        const ssize_t got = ::read(fd, piece, std::min(sizeof piece, inputByteLimit + 1 - text.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw RunError(fileName + ": cannot read: " + std::strerror(errno));
        if (got == 0) break;
        text.append(piece, static_cast<std::size_t>(got));
    }
    const bool goesOn = text.size() > inputByteLimit;
    if (goesOn) {
        const char next = text.back();
        text.pop_back();
        // The word the limit cuts may go on past it: a number there would be read short
        // ("1234" as "12", "1e-5" as "1"), so the word is dropped rather than read.
        if (!isSpace(next))
            while (!text.empty() && !isSpace(text.back())) text.pop_back();
    }
    return parse(text, fileName, goesOn ? "end of the first MiB" : "end of file");
}

namespace {

// checkLengths; returns the geometry its last check is made on, built only once the lengths
// are known to make one.
Geometry checkedGeometry(const InputValues& input, const std::string& fileName) {
    auto reject = [&fileName](const std::string& rule) { throw RunError(fileName + ": " + rule); };
    // What each length accepts beside the range: 0 means no plane, and height 0 strips in the
    // plane's line; a strip needs a width, and a centre distance of 0 overlaps the strips.
    const struct {
        const char* name;
        double value;
        const char* accepts;
    } lengths[] = {{"ground-plane width", input.groundWidth, "must be 0 or between 1e-150 and 1e150"},
                   {"strip width", input.stripWidth, "must be between 1e-150 and 1e150"},
                   {"centre distance", input.centreDistance, "must be between 1e-150 and 1e150 in magnitude"},
                   {"height", input.stripHeight, "must be 0 or between 1e-150 and 1e150 in magnitude"}};
    // The reader yields normal numbers or zeros only.
    assert(std::all_of(std::begin(lengths), std::end(lengths), [](const auto& l) { return std::isfinite(l.value); }));
    // Squares of lengths and offsets enter the logarithms; they must stay normal doubles.
    for (const auto& length : lengths) {
        const double size = std::fabs(length.value);
        if (size != 0.0 && (size < 1e-150 || size > 1e150))
            reject(std::string(length.name) + " " + length.accepts + ", got " + shortestText(length.value));
    }
    if (!(input.stripWidth > 0.0)) reject("strip width must be positive, got " + shortestText(input.stripWidth));
    if (input.groundWidth < 0.0)
        reject("ground-plane width must not be negative, got " + shortestText(input.groundWidth));
    // Segments of strips at one height that overlap would put a field point on the end of a
    // source segment, where the logarithm diverges.
    if (std::fabs(input.centreDistance) < input.stripWidth)
        reject("the strips overlap: centre distance " + shortestText(input.centreDistance) +
               " is less than the strip width " + shortestText(input.stripWidth));

    Geometry geometry = setUpGeometry(input);
    const ConductorModel& model = geometry.conductors;
    if (geometry.groundPlaneCase && input.stripHeight == 0.0) {
        const double planeLeft = model.conductorX[0] - model.conductorWidths[0] / 2;
        const double planeRight = model.conductorX[0] + model.conductorWidths[0] / 2;
        for (std::size_t k = 1; k < model.conductorCount(); ++k) {
            const double left = model.conductorX[k] - model.conductorWidths[k] / 2;
            const double right = model.conductorX[k] + model.conductorWidths[k] / 2;
            if (left < planeRight && right > planeLeft)
                reject("at height 0 the strip from " + shortestText(left) + " to " + shortestText(right) +
                       " overlaps the ground plane from " + shortestText(planeLeft) + " to " + shortestText(planeRight));
        }
    }
    return geometry;
}

}  // namespace

void checkLengths(const InputValues& input, const std::string& fileName) { checkedGeometry(input, fileName); }

void checkInput(const InputValues& input, const std::string& fileName) {
    const Geometry geometry = checkedGeometry(input, fileName);
    try {
        gridRowCount(geometry.fieldRangeX, geometry.fieldRangeY, geometry.fieldPointsX);
    } catch (const RunError& e) {
        throw RunError(fileName + ": " + e.what());
    }
}

std::vector<std::string> echoLines(const InputValues& input) {
    return {
        "Beraekning startar",
        "Jordplanets bredd = " + numberText(input.groundWidth),
        "Ledarbredd = " + numberText(input.stripWidth),
        "Centrumavstand = " + numberText(input.centreDistance),
        "Hoejd = " + numberText(input.stripHeight),
        " ",
        "Ifyllning av matris ...",
    };
}

}  // namespace plattor
