#pragma once

#include "EditorState.h"
#include "FileSystem.h"

#include <string>
#include <vector>

namespace tarsun {

struct LoadResult {
    // Files that are missing, are folders, or could not be read, with why.
    struct Problem {
        ModFile file;
        std::filesystem::path path;
        std::string reason;
    };
    std::vector<Problem> problems;
    bool loaded() const { return problems.empty(); }
};

// Reads the four files of state.ModFolder. Either all of them are loaded into the state or,
// when one is missing or unreadable, nothing in the state changes.
LoadResult LoadModSettings(EditorState& state, const FileSystem& fs = systemFileSystem());

}  // namespace tarsun
