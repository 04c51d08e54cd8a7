#include "stackup/sexpr.hpp"

#include "base/error.hpp"
#include "base/text.hpp"

namespace plattor {

const std::string& SExpr::head() const {
    static const std::string none;
    return isList() && !items.empty() && items.front().kind == Kind::atom ? items.front().text : none;
}

const SExpr* SExpr::child(std::string_view name) const {
    for (const SExpr& item : items)
        if (item.head() == name) return &item;
    return nullptr;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool endsAtom(char c) { return isBlank(c) || c == '(' || c == ')' || c == '"'; }

class Reader {
public:
    Reader(std::string_view text, const std::string& fileName) : text_(text), fileName_(fileName) {}

    SExpr read() {
        // Lists being read, outermost first: a list joins its parent when it closes, so the
        // reading takes no recursion however deep the file nests (up to the limit).
        std::vector<SExpr> open;
        std::vector<SExpr> done;
        for (;;) {
            skipBlanksAndComments();
            if (at_ == text_.size()) break;
            const char c = text_[at_];
            lineStart_ = false;
            if (!open.empty() || done.empty()) {
                if (c == '(') {
                    if (open.size() == deepestSExpr)
                        throw error(line_, "lists nested deeper than " + std::to_string(deepestSExpr) + " levels");
                    SExpr list;
                    list.line = line_;
                    open.push_back(std::move(list));
                    ++at_;
                    continue;
                }
                if (c == ')') {
                    if (open.empty()) throw error(line_, "')' without a '(' before it");
                    SExpr list = std::move(open.back());
                    open.pop_back();
                    ++at_;
                    (open.empty() ? done : open.back().items).push_back(std::move(list));
                    continue;
                }
                SExpr value = c == '"' ? quoted() : atom();
                if (open.empty()) {
                    done.push_back(std::move(value));
                    continue;
                }
                open.back().items.push_back(std::move(value));
                continue;
            }
            const std::string_view rest = text_.substr(at_, text_.find_first_of("\r\n", at_) - at_);
            throw error(line_, "text after the end of the expression that began on line " +
                                   std::to_string(done.front().line) + " (\"" + printableExcerpt(rest, 20) + "\")");
        }
        if (!open.empty()) throw error(open.back().line, "'(' not closed by the end of the file");
        if (done.empty()) throw error(line_, "no expression: the file is empty");
        return std::move(done.front());
    }

private:
    RunError error(std::size_t line, const std::string& what) const {
        return RunError(fileName_ + ":" + std::to_string(line) + ": " + what);
    }

    void skipBlanksAndComments() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '\n') {
                ++line_;
                lineStart_ = true;
                ++at_;
            } else if (isBlank(c)) {
                ++at_;
            } else if (c == '#' && lineStart_) {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
            } else {
                return;
            }
        }
    }

    SExpr atom() {
        SExpr value;
        value.kind = SExpr::Kind::atom;
        value.line = line_;
        const std::size_t from = at_;
        while (at_ < text_.size() && !endsAtom(text_[at_])) ++at_;
        value.text = std::string(text_.substr(from, at_ - from));
        return value;
    }

    SExpr quoted() {
        SExpr value;
        value.kind = SExpr::Kind::string;
        value.line = line_;
        ++at_;
        for (;;) {
            if (at_ == text_.size()) throw error(value.line, "a string not closed by the end of the file");
            const char c = text_[at_++];
            if (c == '"') break;
            if (c == '\n') ++line_;
            if (c != '\\' || at_ == text_.size()) {
                value.text += c;
                continue;
            }
            const char next = text_[at_];
            switch (next) {
                case '"': value.text += '"'; break;
                case '\\': value.text += '\\'; break;
                case 'n': value.text += '\n'; break;
                case 'r': value.text += '\r'; break;
                case 't': value.text += '\t'; break;
                default: value.text += '\\'; continue;  // kept as written; the next character read as usual
            }
            ++at_;
        }
        return value;
    }

    std::string_view text_;
    const std::string& fileName_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    bool lineStart_ = true;  // nothing but blanks since the line began
};

}  // namespace

SExpr readSExpr(std::string_view text, const std::string& fileName) { return Reader(text, fileName).read(); }

}  // namespace plattor
