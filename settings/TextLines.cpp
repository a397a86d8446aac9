#include "TextLines.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <string>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tarsun {

std::size_t findLineEnd(std::string_view text, std::size_t pos) {
    const std::size_t size = text.size();
#if defined(__SSE2__) || defined(_M_X64)
    // Sixteen bytes at a time: lines are short, so a library call per line (or
    // find_first_of, which tests each byte on its own) made this most of a large load.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (size - pos >= 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
        auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        if (hits != 0) return pos + static_cast<std::size_t>(std::countr_zero(hits));
        pos += 16;
    }
#endif
    while (pos < size && text[pos] != '\r' && text[pos] != '\n') ++pos;
    return pos;
}

TextPatch::TextPatch(std::vector<Edit> edits, std::string appended)
    : edits_(std::move(edits)), appended_(std::move(appended)) {
    std::sort(edits_.begin(), edits_.end(), [](const Edit& a, const Edit& b) { return a.span.begin < b.span.begin; });
    std::ptrdiff_t growth = 0;
    for (const Edit& e : edits_) {
        growth += static_cast<std::ptrdiff_t>(e.text.size()) - static_cast<std::ptrdiff_t>(e.span.length);
        growth_.push_back(growth);
    }
}

std::vector<std::string_view> TextPatch::pieces(std::string_view text) const {
    std::vector<std::string_view> out;
    out.reserve(2 * edits_.size() + 3);
    std::size_t pos = 0;
    for (const Edit& e : edits_) {
        out.push_back(text.substr(pos, e.span.begin - pos));
        out.push_back(e.text);
        pos = e.span.end();
    }
    out.push_back(text.substr(pos));
    if (!appended_.empty() && endsWithoutLineEnd(text)) out.push_back("\r\n");
    if (!appended_.empty()) out.push_back(appended_);
    return out;
}

void TextPatch::applyInPlace(std::string& text) const {
    const bool lineEndFirst = !appended_.empty() && endsWithoutLineEnd(text);
    const std::size_t oldSize = text.size();
    const std::size_t patchedSize =
        static_cast<std::size_t>(static_cast<std::ptrdiff_t>(oldSize) + (growth_.empty() ? 0 : growth_.back()));
    if (patchedSize > oldSize) text.resize(patchedSize);
    char* data = text.data();

    // The unedited stretch k runs from the end of edit k-1 to the start of edit k and
    // moves by what the edits before it added. Moving the stretches that go left in
    // order, then those that go right from the last, never overwrites one not yet moved.
    const std::size_t n = edits_.size();
    auto from = [&](std::size_t k) { return k == 0 ? std::size_t{0} : edits_[k - 1].span.end(); };
    auto to = [&](std::size_t k) { return k == n ? oldSize : edits_[k].span.begin; };
    auto shift = [&](std::size_t k) { return k == 0 ? std::ptrdiff_t{0} : growth_[k - 1]; };
    auto move = [&](std::size_t k) {
        std::memmove(data + static_cast<std::ptrdiff_t>(from(k)) + shift(k), data + from(k), to(k) - from(k));
    };
    for (std::size_t k = 0; k <= n; ++k)
        if (shift(k) < 0) move(k);
    for (std::size_t k = n + 1; k-- > 0;)
        if (shift(k) > 0) move(k);
    for (std::size_t k = 0; k < n; ++k) {
        const Edit& e = edits_[k];
        if (!e.text.empty()) std::memcpy(data + static_cast<std::ptrdiff_t>(e.span.begin) + shift(k), e.text.data(), e.text.size());
    }

    text.resize(patchedSize);
    if (lineEndFirst) text += "\r\n";
    text += appended_;
}

LineRef TextPatch::moved(LineRef span) const {
    // The growth of the edits wholly before pos; insertions at pos count when `atEnd`.
    auto shiftAt = [&](std::size_t pos, bool atEnd) {
        auto after = std::upper_bound(edits_.begin(), edits_.end(), pos,
                                      [](std::size_t p, const Edit& e) { return p < e.span.begin; });
        while (after != edits_.begin()) {
            const Edit& e = *(after - 1);
            if (e.span.begin < pos || (atEnd && e.span.length == 0)) break;
            --after;
        }
        auto before = static_cast<std::size_t>(after - edits_.begin());
        return before == 0 ? std::ptrdiff_t{0} : growth_[before - 1];
    };
    auto begin = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(span.begin) + shiftAt(span.begin, false));
    auto end = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(span.end()) + shiftAt(span.end(), true));
    return {begin, end - begin};
}

bool endsWithoutLineEnd(std::string_view text) {
    return !text.empty() && text.back() != '\n' && text.back() != '\r';
}

namespace {

bool isSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Walks the text, skipping blanks, tabs and line feeds before every character.
struct Cursor {
    std::string_view text;
    std::size_t pos = 0;
    std::size_t lastEnd = 0;  // just past the last character taken

    std::size_t peekAt() const {
        std::size_t i = pos;
        while (i < text.size() && isSkipped(text[i])) ++i;
        return i;
    }
    char peek() const {
        std::size_t i = peekAt();
        return i < text.size() ? text[i] : '\0';
    }
    char take() {
        std::size_t i = peekAt();
        pos = i + 1;
        lastEnd = pos;
        return text[i];
    }
};

constexpr long long ExponentLimit = 1'000'000;  // far past any double; keeps the sum from overflowing

}  // namespace

int digitValue(char c, int base) {
    int v = base;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

namespace {

// "&H1F" or "&O17", hexadecimal or octal; nothing for any
// other "&".
ParsedNumber radixNumber(Cursor cur, int scale10) {
    ParsedNumber result;
    result.start = cur.peekAt();
    cur.take();
    const char r = cur.peek();
    const int base = (r == 'h' || r == 'H') ? 16 : (r == 'o' || r == 'O') ? 8 : 0;
    if (base == 0) return result;
    cur.take();
    double value = 0;
    bool any = false;
    while (digitValue(cur.peek(), base) >= 0) {
        value = value * base + digitValue(cur.take(), base);
        any = true;
    }
    if (!any) return result;
    result.found = true;
    result.value = value * std::pow(10.0, scale10);
    result.end = cur.lastEnd;
    return result;
}

// The exponent after the digits ("e-3"), left untaken when no digit follows the e.
long long exponentPart(Cursor& cur) {
    if (cur.peek() != 'e' && cur.peek() != 'E') return 0;
    Cursor e = cur;
    e.take();
    bool negative = false;
    if (e.peek() == '+' || e.peek() == '-') negative = e.take() == '-';
    if (!isDigit(e.peek())) return 0;
    long long exponent = 0;
    while (isDigit(e.peek())) exponent = std::min(exponent * 10 + (e.take() - '0'), ExponentLimit);
    cur = e;
    return negative ? -exponent : exponent;
}

// digits * 10^shift, converted in one step so that shifting the point is exact.
double scaledDigits(const std::string& digits, long long shift) {
    if (digits.find_first_not_of('0') == std::string::npos) return 0.0;
    const std::string canonical = digits + "e" + std::to_string(shift);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
    if (ec == std::errc::result_out_of_range) value = shift > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return value;
}

}  // namespace

ParsedNumber parseNumber(std::string_view text, int scale10) {
    Cursor cur{text};
    if (cur.peek() == '&') return radixNumber(cur, scale10);
    ParsedNumber result;
    result.start = cur.peekAt();
    std::string digits;  // integer part, then fraction part, without the point
    bool negative = false;
    if (cur.peek() == '+' || cur.peek() == '-') negative = cur.take() == '-';
    std::size_t integerDigits = 0;
    while (isDigit(cur.peek())) {
        digits += cur.take();
        ++integerDigits;
    }
    if (cur.peek() == '.') {
        Cursor afterPoint = cur;
        afterPoint.take();
        // A lone point after digits belongs to the number ("5."); a point with no digit
        // on either side does not make one.
        if (integerDigits > 0 || isDigit(afterPoint.peek())) {
            cur = afterPoint;
            while (isDigit(cur.peek())) digits += cur.take();
        }
    }
    if (digits.empty()) return result;
    const long long exponent = exponentPart(cur);
    result.found = true;
    result.end = cur.lastEnd;
    const long long shift = exponent - static_cast<long long>(digits.size() - integerDigits) + scale10;
    const double value = scaledDigits(digits, shift);
    result.value = negative ? -value : value;
    return result;
}

std::int64_t roundToInteger(double value) {
    if (std::isnan(value)) return 0;
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (value >= limit) return std::numeric_limits<std::int64_t>::max();
    if (value < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::nearbyint(value));  // half to even in the default mode
}

}  // namespace tarsun
