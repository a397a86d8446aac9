#pragma once

// A mod folder in a fresh temporary directory, removed again when the test ends, and
// python3 as the judge of its scoring file.

#include "EditorState.h"
#include "ModFiles.h"
#include "ModLoader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace tarsun::testing {

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Taking away and giving back the right to replace a file, and the access a replacement
// must keep: POSIX permission bits (0440, then 0640), or the read-only attribute on Windows,
// which has no such bits.
#ifdef _WIN32
inline void setReadOnly(const std::filesystem::path& path, bool on) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "error " << GetLastError();
    attributes = on ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes)) << "error " << GetLastError();
}
inline unsigned accessOf(const std::filesystem::path& path) {
    return GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY;
}
#else
inline void setReadOnly(const std::filesystem::path& path, bool on) {
    std::filesystem::permissions(path, std::filesystem::perms(on ? 0440 : 0640));
}
inline unsigned accessOf(const std::filesystem::path& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions() & std::filesystem::perms::all);
}
#endif

// What a save of `file` has beside it as its temporary files.
inline std::vector<std::filesystem::path> temporariesBeside(const std::filesystem::path& file) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
        if (isTemporaryNameFor(entry.path().filename().string(), file.filename().string()))
            found.push_back(entry.path());
    return found;
}

inline std::size_t filesIn(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) n += entry.is_regular_file();
    return n;
}

class TempMod {
public:
    TempMod() {
        std::random_device rd;
        root_ = std::filesystem::temp_directory_path() / ("tarsun-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(root_);
    }
    ~TempMod() {
        std::error_code ec;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(root_, ec);
    }
    TempMod(const TempMod&) = delete;
    TempMod& operator=(const TempMod&) = delete;

    const std::filesystem::path& folder() const { return root_; }

    std::filesystem::path path(ModFile file) const {
        std::filesystem::path p = root_;
        for (auto part : modFileComponents(file)) p /= std::string(part);
        return p;
    }
    void write(ModFile file, std::string_view bytes) const { writeBytes(path(file), bytes); }
    std::string read(ModFile file) const { return readBytes(path(file)); }

    // All four files at once, in the loader's order.
    void writeAll(std::string_view bots, std::string_view server, std::string_view ai, std::string_view scoring) const {
        write(ModFile::BotNames, bots);
        write(ModFile::ServerSettings, server);
        write(ModFile::AIDefaults, ai);
        write(ModFile::Scoring, scoring);
    }

    // A state with this mod loaded in Windows-1252; fails the test when it does not load.
    EditorState load() const {
        EditorState state(CodePage::windows1252());
        state.ModFolder = root_;
        state.InitScoreNames();
        LoadResult result = LoadModSettings(state);
        EXPECT_TRUE(result.loaded()) << (result.problems.empty() ? "" : result.problems[0].reason);
        return state;
    }

private:
    std::filesystem::path root_;
};

// Debian's python3 as the judge of a written scoring file: it runs the file as the game
// would (with an empty stand-in for the game's qmr module) and tells every name's value.
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
