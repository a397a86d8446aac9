#include "ModLoader.h"

#include "ModFiles.h"

#include <array>

namespace tarsun {

LoadResult LoadModSettings(EditorState& state) {
    LoadResult result;
    std::array<std::filesystem::path, 4> paths;
    for (ModFile file : AllModFiles) {
        auto& path = paths[static_cast<std::size_t>(file)];
        path = findModFile(state.ModFolder, file);
        if (!FileExists(path)) result.problems.push_back({file, path, "the file is missing"});
    }
    if (!result.loaded()) return result;

    // Read all four before touching the state, so a failure loads nothing rather than half.
    std::array<std::string, 4> contents;
    for (ModFile file : AllModFiles) {
        auto i = static_cast<std::size_t>(file);
        std::string reason;
        if (auto bytes = readWholeFile(paths[i], &reason)) contents[i] = std::move(*bytes);
        else result.problems.push_back({file, paths[i], reason});
    }
    if (!result.loaded()) return result;

    auto take = [&](ModFile file) {
        auto i = static_cast<std::size_t>(file);
        return ModDocument{paths[i], std::move(contents[i])};
    };
    state.adoptBotNames(take(ModFile::BotNames));
    state.adoptServerSettings(take(ModFile::ServerSettings));
    state.adoptAIDefaults(take(ModFile::AIDefaults));
    state.adoptScoring(paths[static_cast<std::size_t>(ModFile::Scoring)],
                       contents[static_cast<std::size_t>(ModFile::Scoring)]);
    return result;
}

}  // namespace tarsun
