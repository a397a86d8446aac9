#pragma once

// Finding a mod's files, and clearing away what an interrupted save left beside them.

#include "FileSystem.h"
#include "ModTables.h"

#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tarsun {

// A mod's files found, and what an interrupted save left beside them cleared away, with
// each folder listed once and asked again: a mod's four files share their folders, and
// the lookup and the sweep at load look into the same ones.
class FolderListings {
public:
    explicit FolderListings(const FileSystem& fs = systemFileSystem()) : fs_(fs) {}
    const std::optional<std::vector<FolderEntry>>& of(const std::filesystem::path& folder);
    // True when a listing already taken names the path as an ordinary file; false says
    // nothing (not listed, or a link, which the system must follow).
    bool listsAsFile(const std::filesystem::path& path) const;

    // The entry of folder named `name`, as spelt or else in any letter case (the first by
    // name if several); nullopt when there is none or the folder cannot be listed.
    std::optional<std::filesystem::path> findEntryIgnoringCase(const std::filesystem::path& folder,
                                                               std::string_view name);
    // The mod file's path below modFolder. On a case-sensitive file system each component
    // is matched without regard to letter case when the exact name is missing, as the
    // game's own platform does. Returns the exactly spelled path when nothing matches.
    std::filesystem::path findModFile(const std::filesystem::path& modFolder, ModFile file);
    // Removes the temporary files that an interrupted save left beside these files: only
    // names of the editor's own pattern, of a process that no longer runs.
    void removeLeftoverTemporaries(std::span<const std::filesystem::path> files);

private:
    const FileSystem& fs_;
    std::map<std::filesystem::path, std::optional<std::vector<FolderEntry>>> taken_;
};

// True when the path names something that exists and is not a folder; any failure of
// the query gives false.
bool FileExists(const std::filesystem::path& path, const FileSystem& fs = systemFileSystem());

// True when the name is one of the editor's temporary files for `file`.
bool isTemporaryNameFor(std::string_view name, std::string_view file, const FileSystem& fs = systemFileSystem());

}  // namespace tarsun
