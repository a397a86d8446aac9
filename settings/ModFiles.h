#pragma once

// The file-system side of the core: finding a mod's files, reading them whole, and
// replacing them so that a failure never leaves a half-written file.

#include "EditorState.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarsun {

// True when the path names something that exists and is not a folder; any failure of
// the query gives false.
bool FileExists(const std::filesystem::path& path);

// The entry of folder named `name` in any letter case (the first by name if several);
// nullopt when there is none or the folder cannot be listed.
std::optional<std::filesystem::path> findEntryIgnoringCase(const std::filesystem::path& folder, std::string_view name);

// The mod file's path below modFolder. On a case-sensitive file system each component is
// matched without regard to letter case when the exact name is missing, as the game's
// own platform does. Returns the exactly spelled path when nothing matches.
std::filesystem::path findModFile(const std::filesystem::path& modFolder, ModFile file);

// Reads a whole file; nullopt (with a reason) when it cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::string* reason = nullptr);

// The new content of a file as consecutive pieces.
using FileContent = std::span<const std::string_view>;

// Writes the content to a temporary file beside the target, flushes it to disk and
// renames it over the target. Returns an empty string on success, otherwise why it
// failed; the target is then left as it was.
std::string replaceFileContents(const std::filesystem::path& target, FileContent content);
// The same for content in one piece.
std::string replaceFileText(const std::filesystem::path& target, std::string_view bytes);

// How the writer replaces a file: replaceFileContents, or a stand-in in tests.
using FileReplacer = std::function<std::string(const std::filesystem::path&, FileContent)>;

}  // namespace tarsun
