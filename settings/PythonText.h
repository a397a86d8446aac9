#pragma once

// The scoring file is Python: its constants are read as Python reads them. This reads a
// value that is one number literal, and finds the module-level assignments of a file
// the way Python's tokenizer splits it into statements (strings, brackets, line
// continuations and comments), so that a "constant" inside a docstring or a value that
// runs over several lines is never mistaken or cut in half.

#include <cstddef>
#include <cstdint>
#include <optional>
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
};
std::optional<PythonNumber> readPythonNumber(std::string_view valueText);

// A module-level statement "NAME = value" of the text.
struct PythonAssignment {
    std::string_view name;
    std::size_t statementBegin = 0;  // the start of its first line
    std::size_t valueBegin = 0;      // the value's first character
    std::size_t valueEnd = 0;        // just past its last (before a comment, a ';' or the line end)
    std::size_t statementEnd = 0;    // the end of its last line, line end excluded
};

// The assignments that begin at or after `from`, in file order. Lines before `from` are
// read too, so that a string or bracket opened there is still known to be open.
std::vector<PythonAssignment> findPythonAssignments(std::string_view text, std::size_t from = 0);

}  // namespace tarsun
