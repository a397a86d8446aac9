#include "ModFolders.h"

#include "ModFiles.h"

namespace fs = std::filesystem;

namespace tarsun {

bool FolderExists(const fs::path& path, const FileSystem& fs) {
    return fs.isFolder(path);
}

std::optional<fs::path> modsFolderIn(const fs::path& gameFolder, const FileSystem& fs) {
    if (FolderExists(gameFolder / "mods", fs)) return gameFolder / "mods";
    if (auto found = FolderListings(fs).findEntryIgnoringCase(gameFolder, "mods"); found && FolderExists(*found, fs))
        return found;
    return std::nullopt;
}

std::optional<std::vector<fs::path>> subfolderNames(const fs::path& folder, const FileSystem& fs) {
    std::optional<std::vector<FolderEntry>> entries = fs.list(folder);
    if (!entries) return std::nullopt;
    std::vector<fs::path> names;
    for (FolderEntry& entry : *entries)
        if (entry.folder) names.push_back(std::move(entry.name));
    return names;
}

}  // namespace tarsun
