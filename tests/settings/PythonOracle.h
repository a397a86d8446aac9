#pragma once

// Debian's python3 as the judge of a written scoring file: it runs the file as the game
// would (with an empty stand-in for the game's qmr module) and tells every name's value.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace tarsun::testing {

struct PythonValue {
    std::string repr;   // as Python prints it: 7, 2.5, inf, 'text'; a type's name for a function
    std::string shown;  // for a number, what the editor should show: Python's round(), within 64 bits
    bool operator==(const PythonValue&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const PythonValue& v) {
    return out << v.repr;
}

// The module-level names of the file; nullopt when Python cannot run it.
inline std::optional<std::map<std::string, PythonValue>> pythonNames(const std::filesystem::path& file) {
#ifdef TARSUN_PYTHON3
    const std::filesystem::path script = file.parent_path() / "judge-scoring.py";
    std::ofstream(script) << R"(import math, sys, types
sys.modules['qmr'] = types.ModuleType('qmr')
ns = {}
try:
    exec(compile(open(sys.argv[1], 'rb').read(), sys.argv[1], 'exec'), ns)
except SyntaxError:
    sys.exit(3)
for k, v in ns.items():
    if k == '__builtins__':
        continue
    shown = '-'
    if isinstance(v, (int, float)) and not isinstance(v, bool):
        s = round(v) if not (isinstance(v, float) and math.isinf(v)) else (1 if v > 0 else -1) * 2**64
        shown = max(min(s, 2**63 - 1), -2**63)
    plain = isinstance(v, (int, float, str, bytes, tuple, list, dict, type(None)))
    print(k, repr(v) if plain else '<' + type(v).__name__ + '>', shown, sep='\t')
)";
    const std::string command = std::string(TARSUN_PYTHON3) + " '" + script.string() + "' '" + file.string() + "'";
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
    while (std::getline(lines, name, '\t') && std::getline(lines, v.repr, '\t') && std::getline(lines, v.shown))
        values[name] = v;
    return values;
#else
    (void)file;
    return std::nullopt;
#endif
}

#ifdef TARSUN_PYTHON3
#define TARSUN_NEEDS_PYTHON()
#else
#define TARSUN_NEEDS_PYTHON() GTEST_SKIP() << "python3 is needed to judge the scoring files"
#endif

}  // namespace tarsun::testing
