#include "PythonText.h"
#include "Python2Source.h"
#include "TextLines.h"

#include <tree_sitter/api.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

extern "C" const TSLanguage* tree_sitter_python(void);

namespace tarsun {

namespace {

using Place = std::size_t;  // a binding's place: the byte where its name stands

enum class Kind {
    Plain,
    Chained,
    Annotated,
    Augmented,
    Unpacked,
    Walrus,
    Loop,
    Import,
    Definition,
    Deleted,
    As,
    Case,
    Global
};

// A binding, by its bytes only: the tree it was found in is gone once its part is read.
struct Event {
    std::string_view name;
    Place at = 0;
    Kind kind = Kind::Plain;
    std::size_t statementBegin = 0, statementEnd = 0;  // a compound statement's first line only
    bool topLevel = false;  // the statement stands in the module itself, not in a block
    std::size_t valueBegin = 0, valueEnd = 0;  // Plain and Chained: the assigned value (else empty)
    bool valueCalls = false, valueSetsAName = false;
};

bool isKeyword(std::string_view word) {
    static constexpr std::string_view keywords[] = {
        "and",  "as",   "assert", "break", "class",  "continue", "def",    "del",   "elif",
        "else", "except", "exec", "finally", "for", "from",     "global", "if",    "import",
        "in",   "is",   "lambda", "not",   "or",     "pass",     "print",  "raise", "return",
        "try",  "while", "with",  "yield"};
    return std::find(std::begin(keywords), std::end(keywords), word) != std::end(keywords);
}

// True when a node of type `type` stands anywhere below n.
bool containsNode(TSNode n, std::string_view type);

std::string_view typeOf(TSNode n) { return ts_node_type(n); }
std::size_t beginOf(TSNode n) { return ts_node_start_byte(n); }
std::size_t endOf(TSNode n) { return ts_node_end_byte(n); }
TSNode field(TSNode n, const char* name) {
    return ts_node_child_by_field_name(n, name, static_cast<std::uint32_t>(std::strlen(name)));
}
bool isNull(TSNode n) { return ts_node_is_null(n); }

// Calls f(child, field name or "") for each child of n. A cursor steps from one child to the
// next at once, where asking for child i walks the first i again.
template <typename F>
void forEachChild(TSNode n, F&& f) {
    TSTreeCursor c = ts_tree_cursor_new(n);
    if (ts_tree_cursor_goto_first_child(&c)) {
        do {
            const char* name = ts_tree_cursor_current_field_name(&c);
            f(ts_tree_cursor_current_node(&c), std::string_view(name ? name : ""));
        } while (ts_tree_cursor_goto_next_sibling(&c));
    }
    ts_tree_cursor_delete(&c);
}

// Calls f(node, path) for every node below root, parents first, path holding the node's
// ancestors and itself; f returns whether to go below the node. Without recursion: a file
// of deeply nested brackets must not run the stack out.
template <typename F>
void forEachNode(TSNode root, F&& f) {
    TSTreeCursor c = ts_tree_cursor_new(root);
    std::vector<TSNode> path{root};
    for (;;) {
        const char* name = ts_tree_cursor_current_field_name(&c);
        if (f(path, std::string_view(name ? name : "")) && ts_tree_cursor_goto_first_child(&c)) {
            path.push_back(ts_tree_cursor_current_node(&c));
            continue;
        }
        while (!ts_tree_cursor_goto_next_sibling(&c)) {
            if (path.size() == 1 || !ts_tree_cursor_goto_parent(&c)) {
                ts_tree_cursor_delete(&c);
                return;
            }
            path.pop_back();
        }
        path.back() = ts_tree_cursor_current_node(&c);
    }
}

class Bindings {
public:
    Bindings(std::string_view text, const NameFilter& wanted, std::vector<Event>& events, std::vector<Place>& stars)
        : text_(text), wanted_(wanted), events_(events), stars_(stars) {}

    void walk(TSNode root) {
        std::vector<bool> inner;  // per depth: inside a function, class or lambda
        forEachNode(root, [&](const std::vector<TSNode>& path, std::string_view fieldName) {
            inner.resize(path.size());
            const bool outer = path.size() < 2 || !inner[path.size() - 2];
            inner.back() = !outer;
            path_ = &path;
            const TSNode n = path.back();
            const std::string_view t = typeOf(n);
            if (!refused_) refused_ = python3Only(n, t, path.size() >= 2 ? typeOf(path[path.size() - 2]) : "");
            // A comprehension's own loop variables live in the comprehension.
            if (path.size() >= 2 && fieldName == "left" && typeOf(path[path.size() - 2]) == "for_in_clause")
                return false;
            if (t == "function_definition" || t == "class_definition" || t == "lambda") {
                if (outer && t != "lambda") add(field(n, "name"), Kind::Definition);
                inner.back() = true;
            } else if (t == "global_statement") {
                forEachChild(n, [&](TSNode id, std::string_view) { add(id, Kind::Global); });
            } else if (outer) {
                visit(n, t);
            }
            return true;
        });
    }

    // A plain top-level assignment read without the parser (simpleAssignment).
    void addPlain(const Event& e) {
        if (!wanted_ || wanted_(e.name)) events_.push_back(e);
    }

    // The first node Python 2 refuses: what the grammar could not read, or Python 3's own syntax.
    std::optional<std::pair<std::size_t, const char*>> refused() const { return refused_; }

private:
    std::string_view nodeText(TSNode n) const { return isNull(n) ? "" : text_.substr(beginOf(n), endOf(n) - beginOf(n)); }

    std::optional<std::pair<std::size_t, const char*>> python3Only(TSNode n, std::string_view t,
                                                                   std::string_view parent) {
        const char* why = nullptr;
        if (t == "ERROR" || ts_node_is_missing(n)) why = "invalid syntax";
        else if (t == "named_expression") why = "an assignment expression (:=) is Python 3 only";
        else if (t == "assignment" && !isNull(field(n, "type")))
            // "else:" where no if stands before it reads as "NAME: type" to the grammar.
            why = isKeyword(nodeText(field(n, "left"))) ? "invalid syntax"
                                                        : "an annotated assignment (NAME: type = ...) is Python 3 only";
        else if (t == "match_statement") why = "match is Python 3 only";
        else if (t == "nonlocal_statement") why = "nonlocal is Python 3 only";
        else if (t == "await") why = "await is Python 3 only";
        else if (t == "function_definition" && !isNull(field(n, "return_type")))
            why = "a return annotation (->) is Python 3 only";
        else if (t == "typed_parameter" || t == "typed_default_parameter")
            why = "a parameter annotation is Python 3 only";
        else if (t == "keyword_separator" || t == "positional_separator")
            why = "a lone * or / among the parameters is Python 3 only";
        else if (t == "except_group_clause") why = "except* is Python 3 only";
        else if (t == "type_alias_statement") why = "a type statement is Python 3 only";
        else if (t == "raise_statement" && !isNull(field(n, "cause"))) why = "raise ... from is Python 3 only";
        else if (t == "list_splat_pattern" && (parent == "pattern_list" || parent == "tuple_pattern" || parent == "list_pattern"))
            why = "a starred assignment (A, *B = ...) is Python 3 only";
        else if ((t == "function_definition" || t == "for_statement" || t == "with_statement") &&
                 ts_node_child_count(n) > 0 && typeOf(ts_node_child(n, 0)) == "async")
            why = "async is Python 3 only";
        if (!why) return std::nullopt;
        return std::pair{beginOf(n), why};
    }

    void add(TSNode id, Kind kind, TSNode value = {}) {
        if (isNull(id) || typeOf(id) != "identifier") return;
        const std::string_view name = text_.substr(beginOf(id), endOf(id) - beginOf(id));
        if (wanted_ && !wanted_(name)) return;
        // The statement is the innermost node of the path that stands in the module or in a
        // block, or the except or case clause that binds.
        const std::vector<TSNode>& path = *path_;
        std::size_t s = path.size() - 1;
        for (std::size_t i = path.size() - 1; i > 0; --i) {
            const std::string_view parent = typeOf(path[i - 1]), own = typeOf(path[i]);
            if (parent == "module" || parent == "block" || own == "except_clause" || own == "case_clause") {
                s = i;
                break;
            }
        }
        Event e{name, beginOf(id), kind};
        const TSNode statement = path[s];
        const std::string_view t = typeOf(statement);
        const bool simple = t == "expression_statement" || t == "delete_statement" || t == "import_statement" ||
                            t == "import_from_statement" || t == "global_statement";
        e.statementBegin = beginOf(statement);
        e.statementEnd = simple ? endOf(statement)
                                : std::min<std::size_t>(endOf(statement), text_.find_first_of("\r\n", e.statementBegin));
        e.topLevel = s == 1 && typeOf(path[0]) == "module";
        e.valueBegin = e.valueEnd = e.statementEnd;
        if (!isNull(value)) {
            e.valueBegin = beginOf(value);
            e.valueEnd = endOf(value);
            e.valueCalls = containsNode(value, "call");
            e.valueSetsAName = containsNode(value, "named_expression");
        }
        events_.push_back(e);
    }

    // The names a target binds: a name, or names inside a tuple, list, star or brackets.
    void targets(TSNode n, Kind kind) {
        forEachNode(n, [&](const std::vector<TSNode>& path, std::string_view) {
            const std::string_view t = typeOf(path.back());
            if (t == "identifier") add(path.back(), kind);
            return path.size() == 1 || t == "pattern_list" || t == "tuple_pattern" || t == "list_pattern" ||
                   t == "tuple" || t == "list" || t == "expression_list" || t == "parenthesized_expression" ||
                   t == "list_splat_pattern" || t == "list_splat" || t == "as_pattern_target";
        });
    }

    void visit(TSNode n, std::string_view t) {
        if (t == "assignment") {
            TSNode left = field(n, "left"), right = field(n, "right");
            if (isNull(right)) return;  // "NAME: int" annotates, binds nothing
            const std::vector<TSNode>& path = *path_;
            const bool chained = typeOf(right) == "assignment" ||
                                 (path.size() >= 2 && typeOf(path[path.size() - 2]) == "assignment");
            TSNode value = right;
            while (typeOf(value) == "assignment" && !isNull(field(value, "right"))) value = field(value, "right");
            if (typeOf(left) != "identifier") targets(left, Kind::Unpacked);
            else if (!isNull(field(n, "type"))) add(left, Kind::Annotated);
            else add(left, chained ? Kind::Chained : Kind::Plain, value);
        } else if (t == "augmented_assignment") {
            targets(field(n, "left"), Kind::Augmented);
        } else if (t == "named_expression") {
            add(field(n, "name"), Kind::Walrus);
        } else if (t == "for_statement") {
            targets(field(n, "left"), Kind::Loop);
        } else if (t == "delete_statement") {
            targets(n, Kind::Deleted);
        } else if (t == "as_pattern") {
            TSNode alias = field(n, "alias");
            if (!isNull(alias)) targets(alias, Kind::As);
            else add(ts_node_named_child(n, ts_node_named_child_count(n) - 1), Kind::Case);
        } else if (t == "case_pattern" || t == "splat_pattern" || t == "keyword_pattern") {
            // Any name in a pattern may capture; a few more than Python binds are taken.
            forEachChild(n, [&](TSNode c, std::string_view) {
                if (typeOf(c) == "dotted_name" && ts_node_named_child_count(c) == 1) add(ts_node_named_child(c, 0), Kind::Case);
                else add(c, Kind::Case);
            });
        } else if (t == "except_clause") {
            // Python 2's "except Error, NAME:" binds NAME.
            bool comma = false;
            forEachChild(n, [&](TSNode c, std::string_view) {
                if (comma && ts_node_is_named(c) && typeOf(c) != "block") targets(c, Kind::As), comma = false;
                comma = comma || typeOf(c) == ",";
            });
        } else if (t == "import_statement" || t == "import_from_statement") {
            forEachChild(n, [&](TSNode c, std::string_view fieldName) {
                // "import a.b" binds a; "import a.b as c" and "from m import b as c" bind c.
                if (fieldName == "name")
                    add(typeOf(c) == "aliased_import" ? field(c, "alias") : ts_node_named_child(c, 0), Kind::Import);
                if (typeOf(c) == "wildcard_import") stars_.push_back(beginOf(n));
            });
        }
    }

    std::string_view text_;
    const NameFilter& wanted_;
    std::vector<Event>& events_;
    std::vector<Place>& stars_;
    const std::vector<TSNode>* path_ = nullptr;
    std::optional<std::pair<std::size_t, const char*>> refused_;
};

bool containsNode(TSNode n, std::string_view type) {
    bool found = false;
    forEachNode(n, [&](const std::vector<TSNode>& path, std::string_view) {
        found = found || typeOf(path.back()) == type;
        return !found;
    });
    return found;
}

const char* reasonFor(Kind kind) {
    switch (kind) {
    case Kind::Plain: return "";
    case Kind::Chained:
        return "it shares one value with another name (A = B = ...), which a new value would change too";
    case Kind::Annotated: return "its last assignment carries a type annotation";
    case Kind::Augmented: return "its last binding changes it with an operator (+=, -= ...)";
    case Kind::Unpacked: return "its last binding unpacks several values at once";
    case Kind::Walrus: return "its last binding is an assignment expression (:=)";
    case Kind::Loop: return "it is a for loop's variable";
    case Kind::Import: return "an import sets it";
    case Kind::Definition: return "a def or class statement sets it";
    case Kind::Deleted: return "del removes it";
    case Kind::As: return "a with or except clause sets it (as ..., or except Error, NAME)";
    case Kind::Case: return "a match statement's case can set it";
    case Kind::Global: return "a function sets it through global";
    }
    return "";
}

struct ParserDeleter {
    void operator()(TSParser* p) const { ts_parser_delete(p); }
    void operator()(TSTree* t) const { ts_tree_delete(t); }
};

// The module's first "from HEADER import" statement.
std::optional<TSNode> headerOf(TSNode root, std::string_view text, std::string_view headerModule) {
    std::optional<TSNode> header;
    forEachChild(root, [&](TSNode c, std::string_view) {
        if (header || typeOf(c) != "import_from_statement") return;
        TSNode name = field(c, "module_name");
        if (!isNull(name) && text.substr(beginOf(name), endOf(name) - beginOf(name)) == headerModule) header = c;
    });
    return header;
}

struct Later {
    std::map<std::string_view, const Event*> global;  // names a function sets through global
    Place lastStar = 0;                                // where the last "import *" stands
    std::string cannotRun;                             // why the game cannot run the file
};

std::string notEditable(const Event& e, const Later& later) {
    if (!later.cannotRun.empty()) return "the game's Python 2 cannot run the file: " + later.cannotRun;
    if (later.global.count(e.name)) return reasonFor(Kind::Global);
    if (later.lastStar > e.at) return "a later from ... import * can set it again";
    if (e.kind != Kind::Plain) return reasonFor(e.kind);
    if (!e.topLevel)
        return "it is set inside a block (if, for, while, try, with, match or def), so what it holds depends on "
               "how the file runs";
    if (e.valueSetsAName) return "its value also sets another name (:=)";
    if (e.valueCalls) return "its value calls a function, which a new value would no longer do";
    return "";
}

// Where a binding stands in the file (past the byte order mark `bom`).
PythonBinding bindingOf(const Event& e, std::size_t bom) {
    PythonBinding b;
    b.statementBegin = bom + e.statementBegin;
    b.statementEnd = bom + e.statementEnd;
    b.valueBegin = bom + e.valueBegin;
    b.valueEnd = bom + e.valueEnd;
    return b;
}

// Tree-sitter keeps a whole tree in memory, about 30 bytes a byte: the module is parsed in
// parts of about this size, each a run of whole top-level statements, and each part's tree
// is let go once its bindings are taken. Small enough that a 100 KB file's tree stays
// under a tenth of it; a part costs the parser little more than its bytes.
constexpr std::size_t PartBytes = 16 * 1024;

bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isNameByte(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Skips blanks and a comment, then one line end; npos when anything else stands there.
std::size_t pastLineEnd(std::string_view text, std::size_t at) {
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at < text.size() && text[at] == '#') at = findLineEnd(text, at);
    if (at == text.size()) return at;
    if (text[at] == '\r') return at + 1 < text.size() && text[at + 1] == '\n' ? at + 2 : at + 1;
    return text[at] == '\n' ? at + 1 : std::string_view::npos;
}

// A top-level statement that is one line "NAME = 12" (a comment after it, then only blank or
// comment lines up to `end`): a plain binding that needs no parser. Most lines of a large
// generated file are such; what could be anything else (a keyword, an octal or long
// literal, a continued line) is left to the parser.
std::optional<Event> simpleAssignment(std::string_view text, std::size_t begin, std::size_t end) {
    std::size_t at = begin;
    bool upper = false;
    if (at >= end || !isNameStart(text[at])) return std::nullopt;
    while (at < end && isNameByte(text[at])) upper = upper || (text[at] >= 'A' && text[at] <= 'Z'), ++at;
    const std::string_view name = text.substr(begin, at - begin);
    // Python's keywords are lower case; None, True and False are not plain names.
    if (!upper || name == "None" || name == "True" || name == "False") return std::nullopt;
    while (at < end && isBlank(text[at])) ++at;
    if (at + 1 >= end || text[at] != '=' || text[at + 1] == '=') return std::nullopt;
    ++at;
    while (at < end && isBlank(text[at])) ++at;
    const std::size_t value = at;
    if (at < end && text[at] == '-') ++at;
    const std::size_t digits = at;
    while (at < end && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == digits || (text[digits] == '0' && at - digits > 1)) return std::nullopt;
    Event e{name, begin, Kind::Plain, begin, at, true, value, at};
    for (std::size_t line = at; line < end;) {
        const std::size_t next = pastLineEnd(text.substr(0, end), line);
        if (next == std::string_view::npos || next == line) return std::nullopt;
        line = next;
    }
    return e;
}

struct Parsed {
    std::optional<std::size_t> headerEnd;  // in the parser's text
    std::optional<std::pair<std::size_t, const char*>> refused;
};

// The part's text that the parser reads: its statements but the simple assignments, which
// go to `bindings` here. Each range runs from one statement's start to another's, so every
// range begins a line.
std::vector<TSRange> partRanges(const Python2Source& source, std::string_view text, std::size_t begin,
                                std::size_t first, std::size_t split, Bindings& bindings) {
    const auto& statements = source.statements;
    const std::size_t size = source.parserText.size();
    std::vector<TSRange> ranges;
    auto include = [&](std::size_t from, std::size_t fromLine, std::size_t to, std::size_t toLine) {
        const bool toTheEnd = to == size;
        const auto endByte = toTheEnd ? UINT32_MAX : static_cast<std::uint32_t>(to);
        const TSPoint endPoint{toTheEnd ? UINT32_MAX : static_cast<std::uint32_t>(toLine), 0};
        if (!ranges.empty() && ranges.back().end_byte == from) {
            ranges.back().end_byte = endByte;
            ranges.back().end_point = endPoint;
        } else {
            ranges.push_back({{static_cast<std::uint32_t>(fromLine), 0}, endPoint, static_cast<std::uint32_t>(from), endByte});
        }
    };
    const std::size_t firstStart = first < statements.size() ? statements[first].first : size;
    if (begin < firstStart) include(begin, 0, firstStart, first < statements.size() ? statements[first].second : 0);
    for (std::size_t k = first; k < split; ++k) {
        const std::size_t to = k + 1 < statements.size() ? statements[k + 1].first : size;
        const std::size_t toLine = k + 1 < statements.size() ? statements[k + 1].second : 0;
        if (const std::optional<Event> plain = simpleAssignment(text, statements[k].first, to)) bindings.addPlain(*plain);
        else include(statements[k].first, statements[k].second, to, toLine);
    }
    return ranges;
}

// Parses the text part by part, and finds in it the header, the bindings and the first node
// Python 2 refuses.
Parsed parseParts(const Python2Source& source, std::string_view text, std::string_view headerModule,
                  Bindings& bindings) {
    Parsed parsed;
    std::unique_ptr<TSParser, ParserDeleter> parser(ts_parser_new());
    if (!ts_parser_set_language(parser.get(), tree_sitter_python())) return parsed;
    const std::string& all = source.parserText;
    std::size_t split = 0;  // the next part begins at source.statements[split]
    for (std::size_t begin = 0; begin < all.size() || begin == 0;) {
        const std::size_t first = split;
        while (split < source.statements.size() && source.statements[split].first < begin + PartBytes) ++split;
        const bool last = split == source.statements.size();
        const std::size_t end = last ? all.size() : source.statements[split].first;
        const std::vector<TSRange> ranges = partRanges(source, text, begin, first, split, bindings);
        if (!ranges.empty()) {
            ts_parser_set_included_ranges(parser.get(), ranges.data(), static_cast<std::uint32_t>(ranges.size()));
            std::unique_ptr<TSTree, ParserDeleter> tree(
                ts_parser_parse_string(parser.get(), nullptr, all.data(), static_cast<std::uint32_t>(all.size())));
            if (!tree) return parsed;
            const TSNode root = ts_tree_root_node(tree.get());
            if (!parsed.headerEnd)
                if (const std::optional<TSNode> header = headerOf(root, text, headerModule))
                    parsed.headerEnd = endOf(*header);
            bindings.walk(root);
            if (!bindings.refused() && ts_node_has_error(root)) {
                // An error below a comprehension's loop variable, which the walk does not enter.
                forEachNode(root, [&](const std::vector<TSNode>& path, std::string_view) {
                    if (!parsed.refused && (typeOf(path.back()) == "ERROR" || ts_node_is_missing(path.back())))
                        parsed.refused = std::pair{beginOf(path.back()), "invalid syntax"};
                    return !parsed.refused;
                });
            }
            if (!parsed.refused) parsed.refused = bindings.refused();
        }
        if (last) break;
        begin = end;
    }
    return parsed;
}

// The first thing Python 2 refuses, from its tokenizer's rules or the parsed tree.
std::optional<PythonFault> firstFault(const Python2Source& source, const Parsed& parsed) {
    std::optional<PythonFault> fault = source.fault;
    if (parsed.refused) {
        const std::size_t line = lineAt(source.parserText, parsed.refused->first);
        if (!fault || line < fault->line) fault = PythonFault{line, parsed.refused->second};
    }
    return fault;
}

}  // namespace

PythonModule readPythonModule(std::string_view text, std::string_view headerModule, const NameFilter& wanted) {
    PythonModule module;
    const std::size_t bom = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    const std::string_view parsedText = text.substr(bom);
    const Python2Source source = readPython2Source(parsedText, bom != 0);
    std::vector<Event> events;
    std::vector<Place> stars;
    Bindings bindings(parsedText, wanted, events, stars);
    const Parsed parsed = parseParts(source, parsedText, headerModule, bindings);
    // Without a header every module-level binding counts: no star import can set it later.
    const std::size_t constantsFrom = parsed.headerEnd.value_or(0);
    if (parsed.headerEnd) module.headerEnd = bom + constantsFrom;

    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    std::map<std::string_view, const Event*> last;
    Later later;
    for (const Event& e : events) {
        if (e.kind == Kind::Global) later.global[e.name] = &e;
        if (e.at >= constantsFrom && (e.kind != Kind::Global || !last.count(e.name))) last[e.name] = &e;
    }
    later.lastStar = stars.empty() ? 0 : *std::max_element(stars.begin(), stars.end());
    if (const std::optional<PythonFault> fault = firstFault(source, parsed)) {
        module.cannotRun = fault->text();
        later.cannotRun = module.cannotRun;
    }
    for (const auto& [name, e] : last) {
        PythonBinding b = bindingOf(*e, bom);
        b.notEditable = notEditable(*e, later);
        module.names.emplace(std::string(name), std::move(b));
    }
    return module;
}

}  // namespace tarsun
