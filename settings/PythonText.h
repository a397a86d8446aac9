#pragma once

// The scoring file is Python: its constants are read as Python reads them. This reads a
// value that is one number literal, and finds every binding of a module-level name with
// tree-sitter's Python grammar, so that a "constant" inside a docstring, a value over
// several lines, or a name that a later statement sets again is never taken for what it
// is not.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

// A value text that is a single Python number literal, with any unary signs before it:
// 2, -4, 1_000, 0x10, 0o17, 0b101, 1e3, 3., .5. Integers are exact (saturated to 64 bits);
// the others are Python floats. nullopt for anything else (2 * 3, a name, 010, 5.5.5, 1j).
struct PythonNumber {
    bool integer = true;
    std::int64_t whole = 0;  // when integer
    double real = 0;         // otherwise
    // The value as the editor shows it: a float rounds half to even, as Python's round().
    std::int64_t rounded() const;
    // rounded() is the value itself: a whole number within 64 bits.
    bool exact() const;
};
std::optional<PythonNumber> readPythonNumber(std::string_view valueText);

// A name's last binding in a module, as Python runs it, after the module's first
// "from HEADER import" statement.
struct PythonBinding {
    // The binding's statement: a simple statement whole, a compound one's first line.
    std::size_t statementBegin = 0;
    std::size_t statementEnd = 0;
    // The assigned value, for "NAME = value" (and a chain's shared value); empty otherwise.
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    // Why replacing the value text alone would not set the name to a new value and leave
    // every other name as it was; "" when it would.
    std::string notEditable;
};

struct PythonModule {
    // Just past the header statement ("from qmr import *"); npos when there is none.
    std::size_t headerEnd = std::string_view::npos;
    // Each name bound after the header, by its last binding.
    std::map<std::string, PythonBinding, std::less<>> names;
};

// Reads the module with a Python parser. The text is the file's bytes (a UTF-8 byte
// order mark and a coding line are taken as Python takes them).
PythonModule readPythonModule(std::string_view text, std::string_view headerModule);

}  // namespace tarsun
