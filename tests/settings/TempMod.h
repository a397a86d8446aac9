#pragma once

// A mod folder in a fresh temporary directory, removed again when the test ends.

#include "EditorState.h"
#include "ModFiles.h"
#include "ModLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
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

}  // namespace tarsun::testing
