#pragma once

// Finding the game's mods folder and the mods in it.

#include "FileSystem.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace tarsun {

// True when a folder exists at the path, also when it is given with a trailing separator;
// false for a file, a missing path or one the file system cannot use.
bool FolderExists(const std::filesystem::path& path, const FileSystem& fs = systemFileSystem());

// The game folder's mods folder: "mods" in any letter case, as the game's own platform
// would find it; nullopt when there is none.
std::optional<std::filesystem::path> modsFolderIn(const std::filesystem::path& gameFolder,
                                                  const FileSystem& fs = systemFileSystem());

// The names of the folder's immediate subfolders (links followed), as the file system
// spells them and in its order; nullopt when the folder could not be read to its end.
std::optional<std::vector<std::filesystem::path>> subfolderNames(const std::filesystem::path& folder,
                                                                 const FileSystem& fs = systemFileSystem());

}  // namespace tarsun
