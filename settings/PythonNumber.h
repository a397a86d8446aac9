#pragma once

// A scoring constant's value, read as the game's Python 2.7 reads a number literal.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarsun {

// A value text that is a single Python 2 number literal, with any unary signs before it
// and brackets (blanks and continued lines between): 2, -4, -(3), 010 (octal: 8), 10L, 0x10L, 0o17, 0b101, 1e3,
// 3., .5. Integers are exact (saturated to 64 bits); the others are Python floats. nullopt
// for anything else (2 * 3, a name, 1_000, 09, 5.5.5, 1j).
struct PythonNumber {
    bool integer = true;
    std::int64_t whole = 0;  // when integer
    double real = 0;         // otherwise
    bool beyond64 = false;   // an integer past 64 bits, saturated
    // The value as the editor shows it: a float rounds half to even, as Python's round().
    std::int64_t rounded() const;
    // rounded() is the value itself: a whole number within 64 bits (the limits included).
    bool exact() const;
};
std::optional<PythonNumber> readPythonNumber(std::string_view valueText);

}  // namespace tarsun
