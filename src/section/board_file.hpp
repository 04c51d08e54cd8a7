#pragma once
// A cross-section file: a board's cross-section as JSON text (docs/cross-section.md), read into a
// checked Board, and a Board written back as one.
#include <memory>
#include <string>
#include <string_view>

#include "section/board.hpp"

namespace plattor {

// A cross-section file, read and kept as written, so that a sweep or a solve-for can change one
// number of it and read the board again, with the file's units and checks.
//
// A path names one number of the file: the members from the top joined by '.', an entry of a
// list by its index (".1" or "[1]") or, among the layers and the conductors, by its name
// ("conductors.p.trace.width"). A conductor's path may leave out its shape where the number
// lies in it ("conductors.p.width" for "conductors.p.trace.width").
class BoardFile {
public:
    // Reads and checks the text of the file called `source` in refusals. Raises RunError in one
    // line: "source:line:column: malformed JSON: …" for text that is no JSON, "source: path: …"
    // for a member that is unknown, given twice, missing, of the wrong kind or out of range, and
    // checkBoard's refusals for the board it describes. Built without nlohmann-json, it refuses
    // every file, saying so.
    static BoardFile parse(std::string_view text, std::string source);

    BoardFile(const BoardFile& other);
    BoardFile& operator=(const BoardFile& other);
    BoardFile(BoardFile&&) noexcept;
    BoardFile& operator=(BoardFile&&) noexcept;
    ~BoardFile();

    // Sets the number at `path` from its text, read as the file's field is: a length bare (in
    // the file's "unit" where it gives one) or with a unit, or a plain decimal number. A field
    // the file leaves to its default is added. Raises RunError naming the path where it names no
    // number the file may hold, or for a malformed value; board() checks the result.
    void set(std::string_view path, std::string_view text);
    // The same with a value in the board's units (metres where the file's lengths carry units).
    void set(std::string_view path, double value);
    // The number at `path` in the board's units; its default where the file leaves it out.
    double get(std::string_view path) const;
    // The board the file now describes, checked (checkBoard).
    Board board() const;
    // The unit most of the file's lengths were given in ("mm"; m, mm, um or mil), in which a
    // caller shows lengths; "" for bare lengths.
    const std::string& displayUnit() const;
    // Whether the number at `path` is a length (else a permittivity or a loss tangent).
    bool holdsLength(std::string_view path) const;
    // The file's name in refusals.
    const std::string& source() const;

private:
    struct Document;
    explicit BoardFile(std::unique_ptr<Document> document);
    std::unique_ptr<Document> document_;
};

// The text of a cross-section file that reads back to the same board, every double the same
// (a board built in code has its conductors named; it need not be checked): lengths bare where
// the board's are, else in `unitForDisplay` (metres where it is empty) with a "unit" member, each
// the shortest number in that unit that reads back to the board's double (as a string in metres
// where none does); the other numbers as the shortest text that reads back to them. A trace
// lying on a layer's top face or hanging from its bottom face is written so ("on", "under").
std::string boardJson(const Board& board, const std::string& unitForDisplay);

}  // namespace plattor
