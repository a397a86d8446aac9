#pragma once

// The game runs the scoring file with Python 2.7. Its tokenizer, not tree-sitter's, decides
// where a block begins and ends (tab stops of 8), which literals and characters a file may
// hold and how deep a statement may nest: this pass applies those rules, and prepares the
// bytes tree-sitter's grammar reads, which accepts Python 2's statements and Python 3's.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarsun {

// Why Python 2 refuses the module, at the line where it does.
struct PythonFault {
    std::size_t line = 0;  // from 1
    std::string reason;    // in the words a mod author acts on: "expected an indented block"
    std::string text() const { return "line " + std::to_string(line) + ": " + reason; }
};

struct Python2Source {
    // The bytes as the parser takes them, each where it was: a byte beyond ASCII and a NUL
    // become letters, a lone CR a line feed, backticks brackets (`x` is repr(x)). Cut short
    // where a string runs to the end of the file: nothing after its start is code.
    std::string parserText;
    std::optional<PythonFault> fault;  // the first thing Python 2 refuses
    // Where top-level statements begin that a parser may read apart from what stands
    // before them (not an else, elif, except or finally, nor after a decorator): the byte
    // and its line, from 0.
    std::vector<std::pair<std::size_t, std::size_t>> statements;
};

// `text` is the file after its byte order mark, if it has one (`bom`).
Python2Source readPython2Source(std::string_view text, bool bom);

// The line (from 1) of a byte of the parser's text.
std::size_t lineAt(std::string_view parserText, std::size_t at);

}  // namespace tarsun
