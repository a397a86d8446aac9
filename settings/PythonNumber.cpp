#include "PythonNumber.h"
#include "TextLines.h"

#include <charconv>
#include <limits>
#include <string>

namespace tarsun {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\f'; }

// Digits of the base from `at` on, appended to `out`; how many were taken.
std::size_t digitPart(std::string_view s, std::size_t at, int base, std::string& out) {
    std::size_t i = at;
    while (i < s.size() && digitValue(s[i], base) >= 0) out += s[i++];
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
        auto d = static_cast<std::uint64_t>(digitValue(c, base));
        if (value > (std::numeric_limits<std::uint64_t>::max() - d) / static_cast<std::uint64_t>(base)) overflow = true;
        else value = value * static_cast<std::uint64_t>(base) + d;
    }
    PythonNumber n;
    n.whole = saturated(negative, value, overflow);
    const std::uint64_t limit = (std::uint64_t{1} << 63) - (negative ? 0 : 1);
    n.beyond64 = overflow || value > limit;
    return n;
}

}  // namespace

std::int64_t PythonNumber::rounded() const { return integer ? whole : roundToInteger(real); }

bool PythonNumber::exact() const {
    if (integer) return !beyond64;
    // A saturated value stands for a larger one.
    const std::int64_t r = rounded();
    if (r == std::numeric_limits<std::int64_t>::max() || r == std::numeric_limits<std::int64_t>::min()) return false;
    return static_cast<double>(r) == real;
}

namespace {

// Blanks, and a backslash that continues the line; inside brackets line ends too.
std::size_t blanksAt(std::string_view s, std::size_t i, bool inBrackets) {
    for (;;) {
        if (i < s.size() && (isSpace(s[i]) || (inBrackets && (s[i] == '\n' || s[i] == '\r')))) ++i;
        else if (s.substr(i, 2) == "\\\n" || s.substr(i, 2) == "\\\r") i += 2;
        else return i;
    }
}

// The text without the blanks, unary signs and brackets around the number; nullopt when
// no number follows: -(-(3)) is 3, not negative.
std::optional<std::string_view> unsignedPart(std::string_view s, bool& negative) {
    std::size_t i = blanksAt(s, 0, false), end = s.size();
    std::size_t brackets = 0;
    while (i < s.size() && (s[i] == '+' || s[i] == '-' || s[i] == '(')) {
        if (s[i] == '(') ++brackets;
        else negative ^= s[i] == '-';
        i = blanksAt(s, i + 1, brackets > 0);
    }
    for (;;) {
        while (end > i && (isSpace(s[end - 1]) || (brackets > 0 && (s[end - 1] == '\n' || s[end - 1] == '\r')))) --end;
        if (brackets == 0) break;
        if (end <= i || s[end - 1] != ')') return std::nullopt;
        --end;
        --brackets;
    }
    if (i >= end) return std::nullopt;
    return s.substr(i, end - i);
}

// A float's text in the form from_chars takes, and its value as Python reads it.
PythonNumber floatOf(const std::string& intDigits, const std::string& fracDigits, const std::string* expDigits,
                     bool expNegative, bool negative) {
    std::string literal = (intDigits.empty() ? "0" : intDigits) + "." + (fracDigits.empty() ? "0" : fracDigits);
    if (expDigits) literal += std::string("e") + (expNegative ? "-" : "") + *expDigits;
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

// Decimal: an integer (a leading 0 makes it octal), or a float with a point and/or an exponent.
std::optional<PythonNumber> decimalOf(std::string_view s, bool negative) {
    std::string intDigits, fracDigits, expDigits;
    std::size_t at = digitPart(s, 0, 10, intDigits);
    bool point = false;
    if (at < s.size() && s[at] == '.') {
        point = true;
        at += 1 + digitPart(s, at + 1, 10, fracDigits);
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
    if (point || exponent) {
        if (at != s.size()) return std::nullopt;  // 1j, 5.5.5, 2 * 3, 1e1e1 ...
        return floatOf(intDigits, fracDigits, exponent ? &expDigits : nullptr, expNegative, negative);
    }
    if (at + 1 == s.size() && (s[at] | 0x20) == 'l') ++at;  // 10L, a long
    if (at != s.size()) return std::nullopt;
    if (intDigits.size() > 1 && intDigits[0] == '0') {
        if (intDigits.find_first_not_of("01234567") != std::string::npos) return std::nullopt;  // 09
        return integerOf(std::string_view(intDigits).substr(1), 8, negative);
    }
    return integerOf(intDigits, 10, negative);
}

}  // namespace

std::optional<PythonNumber> readPythonNumber(std::string_view text) {
    bool negative = false;
    const std::optional<std::string_view> number = unsignedPart(text, negative);
    if (!number) return std::nullopt;
    const std::string_view s = *number;
    if (s[0] == '0' && s.size() > 1) {
        char p = static_cast<char>(s[1] | 0x20);
        int base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 0;
        if (base != 0) {
            std::string digits;
            std::size_t end = 2 + digitPart(s, 2, base, digits);
            if (end + 1 == s.size() && (s[end] | 0x20) == 'l') ++end;  // 0x10L
            if (digits.empty() || end != s.size()) return std::nullopt;
            return integerOf(digits, base, negative);
        }
    }
    return decimalOf(s, negative);
}

}  // namespace tarsun
