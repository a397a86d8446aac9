#include "ModLoader.h"

#include "ModFiles.h"
#include "ReplaceProtocol.h"

#include <array>
#include <new>

namespace tarsun {

LoadResult LoadModSettings(EditorState& state, const FileSystem& fs) {
    LoadResult result;
    std::array<std::filesystem::path, 4> paths;
    // The lookup's listings serve the sweep too: the leftovers lie beside the files.
    FolderListings listings(fs);
    for (ModFile file : AllModFiles) {
        auto& path = paths[static_cast<std::size_t>(file)];
        path = listings.findModFile(state.ModFolder, file);
        if (!listings.listsAsFile(path) && !FileExists(path, fs))
            result.problems.push_back({file, path, "the file is missing"});
    }
    if (!result.loaded()) return result;
    listings.removeLeftoverTemporaries(paths);

    // Read all four before touching the state, so a failure loads nothing rather than half.
    try {
        std::array<std::optional<FileBytes>, 4> docs;
        for (ModFile file : AllModFiles) {
            auto i = static_cast<std::size_t>(file);
            Expected<FileBytes> read = readModFile(paths[i], fs);
            if (read)
                docs[i] = std::move(*read);
            else
                result.problems.push_back({file, paths[i], read.reason()});
        }
        if (!result.loaded()) return result;
        EditorState loaded(state.codePage());
        loaded.ModsFolder = state.ModsFolder;
        loaded.ModFolder = state.ModFolder;
        loaded.HistoryFolder = state.HistoryFolder;
        loaded.ScoreNames = state.ScoreNames;
        loaded.ScoreValues = state.ScoreValues;
        for (ModFile file : AllModFiles) loaded.adopt(file, std::move(*docs[static_cast<std::size_t>(file)]));
        state = std::move(loaded);
    } catch (const std::bad_alloc&) {
        result.problems.push_back({ModFile::BotNames, paths[0], "there is not enough memory to load the mod"});
    }
    return result;
}

}  // namespace tarsun
