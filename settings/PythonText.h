#pragma once

// The scoring file is Python: its constants are read as Python reads them. This finds every binding of a module-level name with
// tree-sitter's Python grammar, so that a "constant" inside a docstring, a value over
// several lines, or a name that a later statement sets again is never taken for what it
// is not.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

// A name's last binding in a module, as Python runs it, after the module's first
// "from HEADER import" statement (anywhere in a module without one).
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
    // Why the game's Python 2 cannot run the module, with the line ("line 494: expected an
    // indented block"); "" when it can.
    std::string cannotRun;
    // Each name bound after the header (in the whole module without one), by its last binding.
    std::map<std::string, PythonBinding, std::less<>> names;
};

// Which names to keep; all when empty.
using NameFilter = std::function<bool(std::string_view)>;

// Reads the module by Python 2.7's rules, with tree-sitter's Python grammar. The text is
// the file's bytes (a UTF-8 byte order mark and a coding line are taken as Python takes them).
PythonModule readPythonModule(std::string_view text, std::string_view headerModule, const NameFilter& wanted = {});

}  // namespace tarsun
