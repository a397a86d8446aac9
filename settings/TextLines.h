#pragma once

// Line and number reading shared by the loader and the writer.

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// Rounds half to even and saturates into the 64-bit range.
std::int64_t roundToInteger(double value);

}  // namespace tarsun
