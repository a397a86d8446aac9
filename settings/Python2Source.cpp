#include "Python2Source.h"

#include <algorithm>
#include <vector>

namespace tarsun {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isLetter(c) || isDigit(c); }
bool beyondAscii(char c) { return static_cast<unsigned char>(c) >= 0x80; }
bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

// Python 2.7's parser keeps at most 1500 grammar rules open at once (MAXSTACK): a bracket
// opens about 15 (test down to atom, then the bracket's own), a sign one (factor), "**" two.
constexpr std::size_t ParserStack = 1500;
constexpr std::size_t PerBracket = 15;
constexpr std::size_t StatementRules = 20;

// A number token as Python 2.7's tokenizer takes it: 0x1F, 0777, 10L, 1.5e3, 2j.
bool isPython2Number(std::string_view t) {
    std::size_t i = 0;
    auto run = [&](auto&& digit) {
        const std::size_t from = i;
        while (i < t.size() && digit(t[i])) ++i;
        return i > from;
    };
    auto hex = [](char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); };
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    auto bin = [](char c) { return c == '0' || c == '1'; };
    auto dec = [](char c) { return isDigit(c); };
    auto longSuffix = [&] { return i == t.size() || ((t[i] | 0x20) == 'l' && i + 1 == t.size()); };
    if (t.size() > 1 && t[0] == '0') {
        const char p = static_cast<char>(t[1] | 0x20);
        i = 2;
        if (p == 'x') return run(hex) && longSuffix();
        if (p == 'o') return run(oct) && longSuffix();
        if (p == 'b') return run(bin) && longSuffix();
        i = 0;
    }
    const bool whole = run(dec);
    const bool octal = whole && t[0] == '0';
    bool real = false;
    if (i < t.size() && t[i] == '.') {
        ++i;
        real = run(dec) || whole;
        if (!real) return false;
    }
    if (i < t.size() && (t[i] | 0x20) == 'e') {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (!run(dec) || !(whole || real)) return false;
        real = true;
    }
    if (i < t.size() && (t[i] | 0x20) == 'j') return i + 1 == t.size() && (whole || real);
    if (real) return i == t.size();
    // An integer: a leading 0 makes it octal (09 is refused).
    if (!whole || (octal && !std::all_of(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(i), oct))) return false;
    return longSuffix();
}

// The string prefixes Python 2.7 takes (u, b, r, ur, br in any letter case).
bool isPython2Prefix(std::string_view p) {
    std::string lower(p);
    for (char& c : lower) c = static_cast<char>(c | 0x20);
    return lower == "u" || lower == "b" || lower == "r" || lower == "ur" || lower == "br";
}
bool looksLikePrefix(std::string_view p) {
    return p.size() <= 2 && std::all_of(p.begin(), p.end(), [](char c) {
               const char l = static_cast<char>(c | 0x20);
               return l == 'u' || l == 'b' || l == 'r' || l == 'f';
           });
}

// PEP 263: a comment on line 1 or 2 that names the file's code ("# -*- coding: cp1252 -*-").
bool declaresCoding(std::string_view text) {
    std::size_t lineBegin = 0;
    for (int line = 0; line < 2 && lineBegin <= text.size(); ++line) {
        std::size_t end = text.find_first_of("\r\n", lineBegin);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view l = text.substr(lineBegin, end - lineBegin);
        const std::size_t hash = l.find('#');
        const std::size_t coding = l.find("coding", hash == std::string_view::npos ? l.size() : hash);
        if (hash != std::string_view::npos && l.find_first_not_of(" \t\f") == hash && coding != std::string_view::npos &&
            coding + 6 < l.size() && (l[coding + 6] == ':' || l[coding + 6] == '='))
            return true;
        lineBegin = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    }
    return false;
}

class Tokenizer {
public:
    Tokenizer(std::string_view text, bool bom) : text_(text), coded_(bom || declaresCoding(text)) {
        out_.parserText.assign(text);
    }

    Python2Source run() {
        while (!out_.fault && at_ < text_.size()) logicalLine();
        if (!out_.fault && expectIndent_) fail(line_, "expected an indented block (the file ends after a ':')");
        if (!out_.fault && !openers_.empty()) fail(openers_.back(), "a bracket opened here is never closed");
        for (std::size_t i = 0; i < out_.parserText.size(); ++i) {
            char& c = out_.parserText[i];
            if (beyondAscii(c) || c == '\0') c = 'x';
            else if (c == '\r' && (i + 1 == out_.parserText.size() || out_.parserText[i + 1] != '\n')) c = '\n';
        }
        return std::move(out_);
    }

private:
    void fail(std::size_t line, std::string reason) {
        if (!out_.fault) out_.fault = PythonFault{line, std::move(reason)};
    }

    // Past a line end at at_ (CR LF, LF or a lone CR).
    void newline() {
        at_ += text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n' ? 2 : 1;
        ++line_;
    }

    // One logical line: its indentation as Python 2 counts it, then its tokens.
    void logicalLine() {
        std::size_t column = 0;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ') ++column;
            else if (c == '\t') column = (column / 8 + 1) * 8;
            else if (c == '\f') column = 0;
            else break;
            ++at_;
        }
        if (at_ == text_.size()) return;
        if (text_[at_] == '#' || isLineEnd(text_[at_])) {  // a blank line does not indent
            skipComment();
            if (at_ < text_.size()) newline();
            return;
        }
        indent(column);
        if (column == 0 && indents_.size() == 1) splitPoint();
        tokens();
    }

    void splitPoint() {
        std::size_t end = at_;
        while (end < text_.size() && isNameChar(text_[end])) ++end;
        const std::string_view word = text_.substr(at_, end - at_);
        const bool clause = word == "else" || word == "elif" || word == "except" || word == "finally";
        if (!clause && !afterDecorator_ && at_ > 0) out_.statements.emplace_back(at_, line_ - 1);
        afterDecorator_ = text_[at_] == '@';
    }

    void indent(std::size_t column) {
        if (expectIndent_) {
            expectIndent_ = false;
            if (column > indents_.back()) indents_.push_back(column);
            else fail(line_, "expected an indented block");
            return;
        }
        if (column > indents_.back()) return fail(line_, "unexpected indent");
        while (column < indents_.back()) indents_.pop_back();
        if (column != indents_.back()) fail(line_, "unindent does not match any outer indentation level");
    }

    void skipComment() {
        while (at_ < text_.size() && !isLineEnd(text_[at_])) noteByte(text_[at_++]);
    }

    // A byte beyond ASCII in a string or a comment needs the file's code declared.
    void noteByte(char c) {
        if (c == '\0') fail(line_, "a NUL byte");
        if (beyondAscii(c) && !coded_)
            fail(line_, "a character beyond ASCII, and no coding line: add \"# -*- coding: cp1252 -*-\" as the "
                        "first line");
    }

    void tokens() {
        bool colonLast = false;
        while (!out_.fault && at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\f') {
                ++at_;
            } else if (c == '#') {
                skipComment();
            } else if (isLineEnd(c)) {
                newline();
                if (openers_.empty()) {
                    expectIndent_ = colonLast;
                    return;
                }
            } else if (c == '\\') {
                if (at_ + 1 < text_.size() && isLineEnd(text_[at_ + 1])) {
                    ++at_;
                    newline();
                } else {
                    fail(line_, "a backslash that does not end its line");
                }
                continue;
            } else {
                colonLast = c == ':';
                token(c);
            }
        }
    }

    void token(char c) {
        if (c == '\'' || c == '"') return string();
        if (isLetter(c)) return name();
        if (isDigit(c) || (c == '.' && at_ + 1 < text_.size() && isDigit(text_[at_ + 1]))) return number();
        if (beyondAscii(c)) return fail(line_, "a character beyond ASCII outside a string or comment (Python 2 "
                                               "names are ASCII letters, digits and _ only)");
        if (c == '\0') return fail(line_, "a NUL byte");
        ++at_;
        if (c == '`') {
            out_.parserText[at_ - 1] = backtick_ ? ')' : '(';
            backtick_ = !backtick_;
        } else if (c == '(' || c == '[' || c == '{') {
            return open();
        } else if (c == ')' || c == ']' || c == '}') {
            if (!openers_.empty()) openers_.pop_back(), depths_.pop_back();
        } else if ((c == '-' || c == '+' || c == '~') && !operand_) {
            deeper(1);
            return;
        } else if (c == '*' && at_ < text_.size() && text_[at_] == '*') {
            ++at_;
            deeper(2);  // a power nests what follows it
            operand_ = false;
            return;
        }
        operand_ = c == ')' || c == ']' || c == '}' || c == '`';
        run_ = 0;
    }

    void open() {
        openers_.push_back(line_);
        depths_.push_back(depth() + PerBracket);
        run_ = 0;
        operand_ = false;
        if (depth() > ParserStack - StatementRules)
            fail(line_, "nested too deeply for Python 2's parser (more than 98 brackets, one inside the other)");
    }

    std::size_t depth() const { return (depths_.empty() ? 0 : depths_.back()) + run_; }

    void deeper(std::size_t rules) {
        run_ += rules;
        if (depth() > ParserStack - StatementRules)
            fail(line_, "an expression nested too deeply for Python 2's parser (signs or powers, one inside the "
                        "other)");
    }

    void name() {
        const std::size_t from = at_;
        while (at_ < text_.size() && isNameChar(text_[at_])) ++at_;
        const std::string_view word = text_.substr(from, at_ - from);
        if (at_ < text_.size() && (text_[at_] == '\'' || text_[at_] == '"') && looksLikePrefix(word)) {
            if (!isPython2Prefix(word))
                return fail(line_, "the string prefix " + std::string(word) +
                                       (word.find_first_of("fF") != std::string_view::npos
                                            ? " (an f-string) is Python 3 only"
                                            : " is Python 3 only (Python 2 writes br)"));
            return string();
        }
        if (at_ < text_.size() && beyondAscii(text_[at_]))
            return fail(line_, "the name " + std::string(word) + "... holds a character beyond ASCII (Python 2 "
                                   "names are ASCII letters, digits and _ only)");
        operand_ = word != "not" && word != "and" && word != "or" && word != "in" && word != "is" && word != "if" &&
                   word != "else" && word != "lambda" && word != "print" && word != "return";
        if (word == "not") deeper(1);
        else run_ = 0;
    }

    void number() {
        const std::size_t from = at_;
        const bool hex = text_[from] == '0' && from + 1 < text_.size() && (text_[from + 1] | 0x20) == 'x';
        while (at_ < text_.size() && (isNameChar(text_[at_]) || text_[at_] == '.')) {
            const char c = text_[at_++];
            if (!hex && (c | 0x20) == 'e' && at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
        }
        const std::string_view t = text_.substr(from, at_ - from);
        if (t.find('_') != std::string_view::npos) {
            std::string plain(t);
            std::erase(plain, '_');
            return fail(line_, std::string(t) + ": digits grouped with _ are Python 3 only (write " + plain + ")");
        }
        if (!isPython2Number(t)) return fail(line_, "invalid number " + std::string(t));
        operand_ = true;
        run_ = 0;
    }

    void string() {
        const std::size_t start = line_;
        const std::size_t startAt = at_;
        const char q = text_[at_];
        const bool triple = text_.substr(at_, 3) == std::string(3, q);
        at_ += triple ? 3 : 1;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '\\' && at_ + 1 < text_.size()) {
                ++at_;
                if (isLineEnd(text_[at_])) newline();
                else noteByte(text_[at_++]);
            } else if (c == q && (!triple || text_.substr(at_, 3) == std::string(3, q))) {
                at_ += triple ? 3 : 1;
                operand_ = true;
                run_ = 0;
                return;
            } else if (isLineEnd(c)) {
                if (!triple) return fail(start, "a string that does not end on its line (a quote missing)");
                newline();
            } else {
                noteByte(c);
                ++at_;
            }
        }
        fail(start, std::string("a string opened here with ") + (triple ? std::string(3, q) : std::string(1, q)) +
                        " is never closed");
        // Nothing after the string's start is code: the parser need not read the rest.
        out_.parserText.resize(text_.find_last_of("\r\n", startAt) == std::string_view::npos
                                   ? 0
                                   : text_.find_last_of("\r\n", startAt) + 1);
    }

    std::string_view text_;
    bool coded_;
    Python2Source out_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    std::vector<std::size_t> indents_{0};
    bool expectIndent_ = false;
    std::vector<std::size_t> openers_;  // the line of each open bracket
    std::vector<std::size_t> depths_;   // the parser's rules open inside each bracket
    std::size_t run_ = 0;               // rules opened by signs since the last bracket
    bool operand_ = false;              // the last token ends an operand: a sign after it is binary
    bool backtick_ = false;
    bool afterDecorator_ = false;
};

}  // namespace

Python2Source readPython2Source(std::string_view text, bool bom) { return Tokenizer(text, bom).run(); }

std::size_t lineAt(std::string_view parserText, std::size_t at) {
    return 1 + static_cast<std::size_t>(std::count(parserText.begin(),
                                                   parserText.begin() + static_cast<std::ptrdiff_t>(
                                                                            std::min(at, parserText.size())),
                                                   '\n'));
}

}  // namespace tarsun
