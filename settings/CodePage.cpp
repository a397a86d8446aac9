#include "CodePage.h"

#include <algorithm>
#include <array>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarsun {

namespace {

constexpr unsigned Windows1252 = 1252;

// Windows-1252's 0x80..0x9F; the five bytes it leaves undefined map to the C1 controls
// of the same value, as Windows itself decodes them, so every byte round-trips.
constexpr std::array<char16_t, 32> cp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

// False on malformed, overlong or surrogate sequences.
bool readUtf8(std::string_view s, std::size_t& i, char32_t& c) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t extra;
    char32_t minimum;
    if (b < 0x80) {
        c = b;
        ++i;
        return true;
    } else if ((b & 0xE0) == 0xC0) {
        extra = 1, c = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2, c = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3, c = b & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    if (i + extra >= s.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
        auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return false;
        c = (c << 6) | (t & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += extra + 1;
    return true;
}

namespace {

std::string decode1252(std::string_view bytes) {
    // Names and lines are nearly always plain ASCII, which is already UTF-8.
    auto isAscii = [](char ch) { return static_cast<unsigned char>(ch) < 0x80; };
    if (std::all_of(bytes.begin(), bytes.end(), isAscii)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) out += ch;
        else if (b < 0xA0) appendUtf8(out, cp1252High[b - 0x80]);
        else appendUtf8(out, b);
    }
    return out;
}

std::optional<std::string> encode1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c;
        if (!readUtf8(utf8, i, c)) return std::nullopt;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < cp1252High.size(); ++k) {
            if (cp1252High[k] == c) {
                out += static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
    }
    return out;
}

#ifdef _WIN32
std::wstring toWide(unsigned codePage, std::string_view bytes, DWORD flags) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    return w;
}

std::string fromWide(unsigned codePage, const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}
#endif

}  // namespace

CodePage CodePage::windows1252() { return CodePage(Windows1252); }

CodePage CodePage::system() {
#ifdef _WIN32
    return CodePage(GetACP());
#else
    return CodePage(Windows1252);
#endif
}

std::string CodePage::decode(std::string_view bytes) const {
#ifdef _WIN32
    if (id_ != Windows1252) return fromWide(CP_UTF8, toWide(id_, bytes, 0));
#endif
    return decode1252(bytes);
}

std::optional<std::string> CodePage::encode(std::string_view utf8) const {
#ifdef _WIN32
    if (id_ != Windows1252) {
        if (utf8.empty()) return std::string();
        std::wstring w = toWide(CP_UTF8, utf8, MB_ERR_INVALID_CHARS);
        if (w.empty()) return std::nullopt;
        // No best-fit mapping: a character the code page lacks is refused, never replaced.
        BOOL usedDefault = FALSE;
        BOOL* usedDefaultArg = (id_ == CP_UTF8 || id_ == CP_UTF7) ? nullptr : &usedDefault;
        DWORD flags = usedDefaultArg ? WC_NO_BEST_FIT_CHARS : 0;
        int n = WideCharToMultiByte(id_, flags, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, usedDefaultArg);
        if (n <= 0 || usedDefault) return std::nullopt;
        std::string s(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(id_, flags, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, usedDefaultArg);
        if (usedDefault) return std::nullopt;
        return s;
    }
#endif
    return encode1252(utf8);
}

}  // namespace tarsun
