#pragma once

// The 8-bit code page the game's files are written in. Bytes are decoded to UTF-8 only
// for display, and text is encoded back only when the user edited it, so bytes that a
// code page leaves undefined survive untouched.

#include <optional>
#include <string>
#include <string_view>

namespace tarsun {

class CodePage {
public:
    // The system's ANSI code page on Windows; Windows-1252 elsewhere.
    static CodePage system();
    static CodePage windows1252();

    unsigned id() const { return id_; }

    std::string decode(std::string_view bytes) const;
    // nullopt when the text is not valid UTF-8 or holds a character the code page lacks.
    std::optional<std::string> encode(std::string_view utf8) const;

private:
    explicit CodePage(unsigned id) : id_(id) {}
    unsigned id_;
};

// Reads the code point at pos and moves pos past it; false on malformed UTF-8.
bool readUtf8(std::string_view text, std::size_t& pos, char32_t& c);

}  // namespace tarsun
