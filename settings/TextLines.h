#pragma once

// Line and number reading shared by the loader and the writer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

// A line's text inside a document: [begin, begin + length), line end excluded.
struct LineRef {
    std::size_t begin = 0;
    std::size_t length = 0;
    std::size_t end() const { return begin + length; }
    std::string_view in(std::string_view text) const { return text.substr(begin, length); }
};

// Where the next CR or LF stands at or after pos (pos <= text.size()); the text's size
// when there is none.
std::size_t findLineEnd(std::string_view text, std::size_t pos);

// Splits at CR LF, CR and LF. Calls f(LineRef content, std::size_t lineEndLength) per line;
// a last line without a line end is still a line, an empty text has none.
template <typename F>
void forEachLine(std::string_view text, F&& f) {
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        std::size_t stop = findLineEnd(text, pos);
        if (stop == size) {
            f(LineRef{pos, size - pos}, std::size_t{0});
            return;
        }
        std::size_t endLength = (text[stop] == '\r' && stop + 1 < size && text[stop + 1] == '\n') ? 2 : 1;
        f(LineRef{pos, stop - pos}, endLength);
        pos = stop + endLength;
    }
}

// Replacements of whole spans of a text, plus lines appended at its end. After it was
// applied, moved() tells where a line of the old text stands in the new one, so that a
// large file need not be read again after a save.
class TextPatch {
public:
    struct Edit {
        LineRef span;
        std::string text;
    };
    // Spans may come in any order but must not overlap. `appended` is whole lines, each
    // with its line end; a text that ends inside a line gets CR LF before them.
    explicit TextPatch(std::vector<Edit> edits, std::string appended = {});

    bool empty() const { return edits_.empty() && appended_.empty(); }
    const std::vector<Edit>& edits() const { return edits_; }
    const std::string& appended() const { return appended_; }
    bool appends() const { return !appended_.empty(); }
    // The patched text as consecutive pieces of `text` and the replacements, so that a
    // large file can be written without first being copied whole.
    std::vector<std::string_view> pieces(std::string_view text) const;
    // Patches text where it stands: what pieces() gave, without a second buffer.
    void applyInPlace(std::string& text) const;
    // Where a span of the old text (one that no edit straddles) stands after apply: it
    // grows or shrinks by the edits inside it, an edited span takes its replacement's
    // length, and an insertion at its end belongs to it.
    LineRef moved(LineRef span) const;

private:
    std::vector<Edit> edits_;
    std::vector<std::ptrdiff_t> growth_;  // how much edits_[0..i] lengthen the text, together
    std::string appended_;
};

// True when the text ends inside a line (non-empty, no final line end).
bool endsWithoutLineEnd(std::string_view text);

// A number read the tolerant way the game's tools read them: blanks, tabs and line feeds
// are skipped wherever they stand; then a sign, digits, a decimal point, digits and an
// exponent, or &H / &O followed by hexadecimal or octal digits.
struct ParsedNumber {
    bool found = false;       // false: the text does not begin with a number
    double value = 0;         // +-inf when out of range
    std::size_t start = 0;    // where the number's first character stands
    std::size_t end = 0;      // just past its last character (trailing blanks excluded)
};
// scale10 shifts the decimal point exactly (2 reads "0.355" as 35.5).
ParsedNumber parseNumber(std::string_view text, int scale10 = 0);

// The digit's value in the base (up to 16); -1 when it is none of its digits.
int digitValue(char c, int base);

// Rounds half to even and saturates into the 64-bit range.
std::int64_t roundToInteger(double value);

}  // namespace tarsun
