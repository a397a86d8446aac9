#include "PythonText.h"
#include "TextLines.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tarsun {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }
bool isNewline(char c) { return c == '\r' || c == '\n'; }

int digitIn(char c, int base) {
    int v = 99;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Digits with single underscores between them ("1_000"), as Python writes them. Appends
// the digits to `out` and returns how many characters were taken; 0 when none, or when
// an underscore does not stand between two digits.
std::size_t digitPart(std::string_view s, std::size_t at, int base, std::string& out, bool underscoreFirst = false) {
    std::size_t i = at;
    bool needDigit = underscoreFirst && i < s.size() && s[i] == '_';
    if (needDigit) ++i;
    std::size_t digits = 0;
    while (i < s.size()) {
        if (digitIn(s[i], base) >= 0) {
            out += s[i++];
            ++digits;
            needDigit = false;
        } else if (s[i] == '_' && !needDigit && digits > 0) {
            ++i;
            needDigit = true;
        } else {
            break;
        }
    }
    if (digits == 0 || needDigit) return 0;
    return i - at;
}

std::int64_t saturated(bool negative, std::uint64_t magnitude, bool overflow) {
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) return overflow || magnitude > max ? std::numeric_limits<std::int64_t>::max()
                                                      : static_cast<std::int64_t>(magnitude);
    if (overflow || magnitude > max + 1) return std::numeric_limits<std::int64_t>::min();
    return magnitude == max + 1 ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(magnitude);
}

std::optional<PythonNumber> integerOf(std::string_view digits, int base, bool negative) {
    std::uint64_t value = 0;
    bool overflow = false;
    for (char c : digits) {
        auto d = static_cast<std::uint64_t>(digitIn(c, base));
        if (value > (std::numeric_limits<std::uint64_t>::max() - d) / static_cast<std::uint64_t>(base)) overflow = true;
        else value = value * static_cast<std::uint64_t>(base) + d;
    }
    PythonNumber n;
    n.whole = saturated(negative, value, overflow);
    return n;
}

}  // namespace

std::int64_t PythonNumber::rounded() const { return integer ? whole : roundToInteger(real); }

std::optional<PythonNumber> readPythonNumber(std::string_view s) {
    std::size_t i = 0, end = s.size();
    while (i < end && isSpace(s[i])) ++i;
    while (end > i && isSpace(s[end - 1])) --end;
    s = s.substr(0, end);
    // Unary signs, as many as Python allows, blanks between them.
    bool negative = false;
    while (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative ^= s[i] == '-';
        ++i;
        while (i < s.size() && isSpace(s[i])) ++i;
    }
    if (i >= s.size()) return std::nullopt;

    std::string digits;
    if (s[i] == '0' && i + 1 < s.size()) {
        char p = static_cast<char>(s[i + 1] | 0x20);
        int base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 0;
        if (base != 0) {
            std::size_t taken = digitPart(s, i + 2, base, digits, true);
            if (taken == 0 || i + 2 + taken != s.size()) return std::nullopt;
            return integerOf(digits, base, negative);
        }
    }

    // Decimal: an integer, or a float with a point and/or an exponent.
    std::string intDigits, fracDigits, expDigits;
    std::size_t at = i + digitPart(s, i, 10, intDigits);
    bool point = false;
    if (at < s.size() && s[at] == '.') {
        point = true;
        std::size_t taken = digitPart(s, at + 1, 10, fracDigits);
        if (taken == 0 && at + 1 < s.size() && s[at + 1] == '_') return std::nullopt;
        at += 1 + taken;
        if (intDigits.empty() && fracDigits.empty()) return std::nullopt;
    } else if (intDigits.empty()) {
        return std::nullopt;
    }
    bool exponent = false;
    bool expNegative = false;
    if (at < s.size() && (s[at] == 'e' || s[at] == 'E')) {
        exponent = true;
        std::size_t e = at + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) expNegative = s[e++] == '-';
        std::size_t taken = digitPart(s, e, 10, expDigits);
        if (taken == 0) return std::nullopt;
        at = e + taken;
    }
    if (at != s.size()) return std::nullopt;  // 1j, 5.5.5, 2 * 3, 1e1e1 ...

    if (!point && !exponent) {
        // Python refuses leading zeros in a decimal integer other than zero itself (010).
        if (intDigits.size() > 1 && intDigits[0] == '0' && intDigits.find_first_not_of('0') != std::string::npos)
            return std::nullopt;
        return integerOf(intDigits, 10, negative);
    }
    std::string literal = (intDigits.empty() ? "0" : intDigits) + "." + (fracDigits.empty() ? "0" : fracDigits);
    if (exponent) literal += std::string("e") + (expNegative ? "-" : "") + expDigits;
    double value = 0;
    auto [ptr, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone: tell an overflow (inf, as Python) from an underflow (0).
        bool tiny = expNegative || literal.find_first_not_of("0.") == std::string::npos;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    PythonNumber n;
    n.integer = false;
    n.real = negative ? -value : value;
    return n;
}

namespace {

// Python's split of a file into logical lines, one character at a time.
class Scanner {
public:
    explicit Scanner(std::string_view text) : t_(text) {}

    std::vector<PythonAssignment> run(std::size_t from) {
        std::vector<PythonAssignment> found;
        std::size_t i = 0;
        bool lineStart = true;
        while (i < t_.size()) {
            if (lineStart) {
                lineStart = false;
                const bool fresh = depth_ == 0 && quote_ == 0 && !continued_;
                continued_ = false;
                if (fresh && i >= from) {
                    if (auto a = assignmentAt(i)) {
                        found.push_back(*a);
                        i = resume_;
                        // After a ';' the next statement of the line may assign again.
                        if (i > 0 && t_[i - 1] == ';') {
                            while (i < t_.size() && (t_[i] == ' ' || t_[i] == '\t')) ++i;
                            lineStart = true;
                        }
                        continue;
                    }
                }
            }
            i = step(i, lineStart);
        }
        return found;
    }

private:
    std::size_t newlineLength(std::size_t i) const {
        return t_[i] == '\r' && i + 1 < t_.size() && t_[i + 1] == '\n' ? 2 : 1;
    }

    // Takes the token or character at i; returns where the next one starts. lineStart is
    // set when a physical line ended.
    std::size_t step(std::size_t i, bool& lineStart) {
        const char c = t_[i];
        if (quote_ != 0) {
            if (c == '\\' && i + 1 < t_.size()) {
                if (isNewline(t_[i + 1])) {
                    lineStart = true;
                    return i + 1 + newlineLength(i + 1);
                }
                return i + 2;
            }
            if (isNewline(c)) {
                if (!triple_) quote_ = 0;  // an unterminated string ends with its line
                lineStart = true;
                return i + newlineLength(i);
            }
            if (c == quote_) {
                if (!triple_) {
                    quote_ = 0;
                    return i + 1;
                }
                if (i + 2 < t_.size() && t_[i + 1] == c && t_[i + 2] == c) {
                    quote_ = 0;
                    return i + 3;
                }
            }
            return i + 1;
        }
        if (isNewline(c)) {
            lineStart = true;
            return i + newlineLength(i);
        }
        if (c == '#') {
            while (i < t_.size() && !isNewline(t_[i])) ++i;
            return i;
        }
        if (c == '\\' && i + 1 < t_.size() && isNewline(t_[i + 1])) {
            continued_ = true;
            lineStart = true;
            return i + 1 + newlineLength(i + 1);
        }
        if (c == '\'' || c == '"') {
            triple_ = i + 2 < t_.size() && t_[i + 1] == c && t_[i + 2] == c;
            quote_ = c;
            return i + (triple_ ? 3 : 1);
        }
        if (c == '(' || c == '[' || c == '{') ++depth_;
        if ((c == ')' || c == ']' || c == '}') && depth_ > 0) --depth_;
        return i + 1;
    }

    // "NAME = value" beginning at column 0 of line start i.
    std::optional<PythonAssignment> assignmentAt(std::size_t start) {
        std::size_t i = start;
        if (!isNameStart(t_[i])) return std::nullopt;
        while (i < t_.size() && isNameChar(t_[i])) ++i;
        PythonAssignment a;
        a.name = t_.substr(start, i - start);
        while (i < t_.size() && isSpace(t_[i])) ++i;
        if (i >= t_.size() || t_[i] != '=' || (i + 1 < t_.size() && t_[i + 1] == '=')) return std::nullopt;
        ++i;
        while (i < t_.size() && isSpace(t_[i])) ++i;
        a.statementBegin = start;
        a.valueBegin = i;
        a.valueEnd = i;

        // The value runs until the statement ends: a ';', or a line end outside any
        // string or bracket (a backslash continuation is taken with its line end).
        while (i < t_.size()) {
            const char c = t_[i];
            if (quote_ == 0 && depth_ == 0 && (c == ';' || isNewline(c))) break;
            const bool continuation = c == '\\' && i + 1 < t_.size() && isNewline(t_[i + 1]);
            const bool significant = quote_ != 0 || !(isSpace(c) || isNewline(c) || c == '#' || continuation);
            bool lineEnded = false;
            const std::size_t next = step(i, lineEnded);
            if (significant) a.valueEnd = next;
            i = next;
        }
        // A string that ran into the end of the text: close it for what follows.
        quote_ = 0;
        depth_ = 0;
        continued_ = false;
        std::size_t lineEnd = i;
        while (lineEnd < t_.size() && !isNewline(t_[lineEnd])) ++lineEnd;
        a.statementEnd = lineEnd;
        resume_ = i < t_.size() && t_[i] == ';' ? i + 1 : i;
        return a;
    }

    std::string_view t_;
    int depth_ = 0;
    char quote_ = 0;
    bool triple_ = false;
    bool continued_ = false;
    std::size_t resume_ = 0;
};

}  // namespace

std::vector<PythonAssignment> findPythonAssignments(std::string_view text, std::size_t from) {
    return Scanner(text).run(from);
}

}  // namespace tarsun
