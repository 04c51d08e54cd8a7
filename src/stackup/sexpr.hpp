#pragma once
// S-expressions as KiCad writes its files: lists in parentheses of bare atoms (symbols and
// numbers) and quoted strings. A small reader of our own: every list and atom keeps the line it
// starts on, so that a message can send the user to it.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plattor {

struct SExpr {
    enum class Kind { list, atom, string };
    Kind kind = Kind::list;
    std::string text;          // an atom as written; a string with its escapes resolved
    std::vector<SExpr> items;  // a list's items
    std::size_t line = 0;      // the line it starts on, from 1

    bool isList() const { return kind == Kind::list; }
    // An atom or a string: a value rather than a list.
    bool isValue() const { return kind != Kind::list; }
    // The text of a list's first item where that is an atom ("layer" for (layer …)); else "".
    const std::string& head() const;
    // The first item of this list that is a list headed `name`, or nullptr.
    const SExpr* child(std::string_view name) const;
};

// Lists nested deeper than this are refused: a board nests a handful of levels, and a file that
// goes on opening lists is no board.
inline constexpr std::size_t deepestSExpr = 64;

// The one expression of `text`, which must hold nothing else but blanks and comments (a line
// whose first character other than a blank is '#'). In a quoted string \" is a quote, \\ a
// backslash, \n, \r and \t the control characters; any other backslash is kept as written.
// Raises RunError "<fileName>:<line>: <what>" for a parenthesis without its partner, a string not
// closed, lists nested deeper than deepestSExpr, text after the expression, or no expression.
SExpr readSExpr(std::string_view text, const std::string& fileName);

}  // namespace plattor
