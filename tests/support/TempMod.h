#pragma once

// A mod folder in a fresh temporary directory, removed again when the test ends, and
// the files in it read and written; a write that fails stops the test.

#include "EditorState.h"
#include "ModFiles.h"
#include "ModLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarsun::testing {

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("the test could not write " + path.string());
}

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
