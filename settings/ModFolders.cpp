#include "ModFolders.h"

#include "ModFiles.h"

#include <system_error>

namespace fs = std::filesystem;

namespace tarsun {

bool FolderExists(const fs::path& path) {
    // A NUL would cut the path short inside the system call and test another folder.
    if (path.empty() || path.native().find(fs::path::value_type{}) != fs::path::string_type::npos) return false;
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::optional<fs::path> findModsFolder(const fs::path& gameFolder) {
    if (FolderExists(gameFolder / "mods")) return gameFolder / "mods";
    if (auto found = findEntryIgnoringCase(gameFolder, "mods"); found && FolderExists(*found)) return found;
    return std::nullopt;
}

std::optional<std::vector<fs::path>> listSubfolders(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    std::vector<fs::path> names;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return std::nullopt;
        std::error_code typeError;
        if (it->is_directory(typeError)) names.push_back(it->path().filename());
    }
    if (ec) return std::nullopt;
    return names;
}

}  // namespace tarsun
