#pragma once

// Debian's python3 as the outside judge of a scoring file, as the game's Python 2 or as
// Python 3 would run it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tarsun::testing {

// Debian's python3 as the judge of a written scoring file: it runs the file as the game
// would (with empty stand-ins for the game's modules) and tells every name's value. The
// game's Python is 2.7: its view is lib2to3's Python 2 grammar (which also takes some of
// Python 3's syntax, refused by hand), then 2to3's fixers, run by python3.
struct PythonValue {
    std::string repr;      // as Python prints it: 7, 2.5, inf, 'text'; a type's name for a function
    std::string shown;     // for a number, what the editor should show: Python's round(), within 64 bits
    bool literal = false;  // its last module-level NAME = value is a number literal (signs and brackets around)
    bool operator==(const PythonValue& o) const { return repr == o.repr && shown == o.shown; }
};
inline std::ostream& operator<<(std::ostream& out, const PythonValue& v) {
    return out << v.repr;
}

enum class Python { Two = 2, Three = 3 };

// The module-level names of the file; nullopt when that Python cannot run it.
inline std::optional<std::map<std::string, PythonValue>> pythonNames(const std::filesystem::path& file,
                                                                     Python python = Python::Two) {
#ifdef TARSUN_PYTHON3
    // Written once a run to the temporary folder, never beside the file judged (which may be
    // a sample mod of the source tree).
    static const std::filesystem::path script =
        std::filesystem::temp_directory_path() / ("tarsun-judge-scoring-" + std::to_string(getpid()) + ".py");
    static const bool written =
        static_cast<bool>(std::ofstream(script) << R"(import ast, contextlib, io, math, re, sys, types, warnings
warnings.simplefilter('ignore')
from lib2to3 import pygram, pytree, refactor
from lib2to3.pgen2 import driver, token

def py2_source(raw):
    # Python 2.7 reads the file as PEP 263 says, then its grammar; lib2to3's grammar also takes
    # some of Python 3's syntax, refused here by hand.
    if b'\0' in raw:
        return None
    bom = raw.startswith(b'\xef\xbb\xbf')
    head = raw.splitlines()[:2]
    coded = bom or any(re.match(rb'^[ \t\f]*#.*coding[:=]', l) for l in head)
    try:
        text = raw[3:].decode('utf-8') if bom else raw.decode('latin-1' if coded else 'ascii')
    except UnicodeDecodeError:
        return None
    text = text.replace('\r\n', '\n').replace('\r', '\n')
    try:
        tree = driver.Driver(pygram.python_grammar, convert=pytree.convert).parse_string(text + '\n')
    except Exception:
        return None
    py3 = {'annassign', 'namedexpr_test', 'async_stmt', 'async_funcdef', 'star_expr', 'tname'}
    for n in tree.pre_order():
        kind = pytree.type_repr(n.type)
        if kind in py3 or (isinstance(n, pytree.Leaf) and n.value in ('->', 'nonlocal', 'await')):
            return None
        if n.type == token.NAME and not n.value.isascii():
            return None
        if n.type == token.NUMBER:
            if '_' in n.value or re.fullmatch(r'0\d*[89]\d*[lL]?', n.value):
                return None
            n.value = re.sub(r'^0(\d+)$', r'0o\1', n.value.rstrip('lL'))  # 0777L is 0o777
        if n.type == token.STRING and re.match(r'(?i)(f|rb|fr|rf)', n.value):
            return None
        if kind == 'raise_stmt' and any(getattr(c, 'value', '') == 'from' for c in n.children):
            return None
    fixers = ['print', 'except', 'numliterals', 'ne', 'repr', 'exec', 'tuple_params', 'long']
    tool = refactor.RefactoringTool(['lib2to3.fixes.fix_' + f for f in fixers])
    fixed = str(tool.refactor_string(str(tree), 'scoring'))
    # Python 2's tab stops of 8, as blanks, which Python 3 takes the same way.
    return re.sub(r'(?m)^[ \t]*\t[ \t]*', lambda m: m.group(0).expandtabs(8), fixed)

def names(source):
    for m in ('qmr', 'host', 'bf2'):
        sys.modules[m] = types.ModuleType(m)
    ns = {}
    try:
        with contextlib.redirect_stdout(io.StringIO()):
            exec(compile(source, 'scoring', 'exec'), ns)
    except SyntaxError:
        return None
    literal = {}
    for st in ast.parse(source).body:
        if isinstance(st, ast.Assign) and len(st.targets) == 1 and isinstance(st.targets[0], ast.Name):
            v = st.value
            while isinstance(v, ast.UnaryOp) and isinstance(v.op, (ast.UAdd, ast.USub)):
                v = v.operand
            literal[st.targets[0].id] = isinstance(v, ast.Constant) and type(v.value) in (int, float)
    out = {}
    for k, v in ns.items():
        if k == '__builtins__':
            continue
        shown = '-'
        if isinstance(v, (int, float)) and not isinstance(v, bool):
            s = round(v) if not (isinstance(v, float) and math.isinf(v)) else (1 if v > 0 else -1) * 2**64
            shown = max(min(s, 2**63 - 1), -2**63)
        plain = isinstance(v, (int, float, str, bytes, tuple, list, dict, type(None)))
        out[k] = (repr(v) if plain else '<' + type(v).__name__ + '>', shown, int(literal.get(k, False)))
    return out

raw = open(sys.argv[2], 'rb').read()
source = py2_source(raw) if sys.argv[1] == '2' else raw
values = None if source is None else names(source)
if values is None:
    sys.exit(3)
for k, (r, s, l) in values.items():
    print(k, r, s, l, sep='\t')
)");
    if (!written) return std::nullopt;
    const std::string command = std::string(TARSUN_PYTHON3) + " '" + script.string() + "' " +
                                std::to_string(static_cast<int>(python)) + " '" + file.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    if (pclose(pipe) != 0) return std::nullopt;
    std::map<std::string, PythonValue> values;
    std::istringstream lines(out);
    std::string name;
    PythonValue v;
    std::string literal;
    while (std::getline(lines, name, '\t') && std::getline(lines, v.repr, '\t') && std::getline(lines, v.shown, '\t') &&
           std::getline(lines, literal)) {
        v.literal = literal == "1";
        values[name] = v;
    }
    return values;
#else
    (void)file;
    (void)python;
    return std::nullopt;
#endif
}

#ifdef TARSUN_PYTHON3
#define TARSUN_NEEDS_PYTHON()
#else
#define TARSUN_NEEDS_PYTHON() GTEST_SKIP() << "python3 is needed to judge the scoring files"
#endif

}  // namespace tarsun::testing
