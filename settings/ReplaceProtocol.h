#pragma once

// Reading a mod file whole, and replacing it so that the file is always whole, old or new,
// and a change another program made meanwhile is never written over.

#include "Expected.h"
#include "FileBytes.h"
#include "FileSystem.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tarsun {

// Reads a whole mod file and notes its stamp, or why it cannot be read. Reading goes on
// while the file changes under it, a few times at most.
Expected<FileBytes> readModFile(const std::filesystem::path& path, const FileSystem& fs = systemFileSystem());

struct ReplaceRequest {
    std::filesystem::path path;  // the file as found at load
    FileStamp stamp;             // of the bytes in `base`
    FileContent base;            // what the file held when last read or written
    FileContent content;         // what the file is to hold
};

struct ReplaceResult {
    enum Kind {
        Written,
        // Another program changed the file since `base`: nothing was written, and `found`
        // holds what the file holds now, for the caller to carry its edits over to.
        Differs,
        ChangedElsewhere,
        Failed,
    } kind = Failed;
    std::string reason;  // why, for the user, when neither written nor Differs
    FileStamp stamp;     // when written: the new file's
    std::optional<FileBytes> found;
};

// Replaces a mod file by the new content through a temporary file beside it, flushed to
// disk before it takes the old one's place, so that the file is always whole, old or
// new. Just before, the file is checked against `base`: a file another program changed
// is not written but returned (Differs), and one whose link now points elsewhere is
// never written. A request made from what Differs found (its text as base, its stamp)
// writes over that text only.
ReplaceResult replaceModFile(const ReplaceRequest& request, const FileSystem& fs = systemFileSystem());

// Whether the user may replace the file now, or why not: it opens as the replace would
// open it, and a new file can be made beside it.
Expected<void> canReplace(const std::filesystem::path& target, const FileSystem& fs = systemFileSystem());

// How the writer replaces a file: replaceModFile, or a stand-in in tests.
using FileReplacer = std::function<ReplaceResult(const ReplaceRequest&)>;

// Writes a file whole through a temporary file and a rename, without any check of what it
// held (for new files of the tests and benchmarks).
Expected<void> replaceFileContents(const std::filesystem::path& target, FileContent content,
                                   const FileSystem& fs = systemFileSystem());
Expected<void> replaceFileText(const std::filesystem::path& target, std::string_view bytes);

}  // namespace tarsun
