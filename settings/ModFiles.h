#pragma once

// The file-system side of the core: finding a mod's files, reading them whole, and
// replacing them so that a failure never leaves a half-written file.

#include "EditorState.h"
#include "FileSystem.h"
#include "LineMerge.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarsun {

// True when the path names something that exists and is not a folder; any failure of
// the query gives false.
bool FileExists(const std::filesystem::path& path);

// The entry of folder named `name`, as spelt or else in any letter case (the first by name
// if several);
// nullopt when there is none or the folder cannot be listed.
std::optional<std::filesystem::path> findEntryIgnoringCase(const std::filesystem::path& folder, std::string_view name);

// The mod file's path below modFolder. On a case-sensitive file system each component is
// matched without regard to letter case when the exact name is missing, as the game's
// own platform does. Returns the exactly spelled path when nothing matches.
std::filesystem::path findModFile(const std::filesystem::path& modFolder, ModFile file);

// Reads a whole mod file and notes its stamp; nullopt (with a reason) when it cannot be
// read. Reading goes on while the file changes under it, a few times at most.
std::optional<FileBytes> readModFile(const std::filesystem::path& path, std::string* reason = nullptr,
                                     const FileSystem& fs = systemFileSystem());

// For a file that another program changed since it was read: the new content made from
// the bytes it holds now, or why the edits cannot be applied to them. The caller keeps
// the text alive until the replace returns: it becomes the caller's document.
struct Rebased {
    std::optional<std::string_view> text;
    std::string refusal;
};
using Rebase = std::function<Rebased(std::string_view current)>;

struct ReplaceRequest {
    std::filesystem::path path;  // the file as found at load
    FileStamp stamp;             // as last read or written
    FileContent base;            // the bytes last read or written
    FileContent content;         // what the file is to hold
    Rebase rebase;
};

struct ReplaceResult {
    enum Kind { Written, ChangedElsewhere, Failed } kind = Failed;
    std::string reason;  // why, for the user, when not written
    FileStamp stamp;     // when written: the new file's
    // Another program had changed the file: the rebase's text was written instead of `content`.
    bool rebased = false;
};

// Replaces a mod file by the new content through a temporary file beside it, flushed to
// disk before it takes the old one's place, so that the file is always whole, old or
// new. Just before, the file is checked against what was read: a file another program
// changed is written only as the rebase gives it, and one whose link now points
// elsewhere is never written.
ReplaceResult replaceModFile(const ReplaceRequest& request, const FileSystem& fs = systemFileSystem());

// How the writer replaces a file: replaceModFile, or a stand-in in tests.
using FileReplacer = std::function<ReplaceResult(const ReplaceRequest&)>;

// Writes a file whole through a temporary file and a rename, without any check of what it
// held (for new files of the tests and benchmarks). "" on success, else why not.
std::string replaceFileContents(const std::filesystem::path& target, FileContent content,
                                const FileSystem& fs = systemFileSystem());
std::string replaceFileText(const std::filesystem::path& target, std::string_view bytes);

// Removes the temporary files that an interrupted save left beside these files: only
// names of the editor's own pattern, of a process that no longer runs.
void removeLeftoverTemporaries(std::span<const std::filesystem::path> files);

// True when the name is one of the editor's temporary files for `file`.
bool isTemporaryNameFor(std::string_view name, std::string_view file);

}  // namespace tarsun
