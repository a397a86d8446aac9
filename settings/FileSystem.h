#pragma once

// The few calls of the system that reading and replacing a mod file needs, behind one
// small table: FileSystem_posix.cpp and FileSystem_windows.cpp fill it in, and the tests
// put a scripted layer in front of it to step into a save at its narrowest moments.

#include "Expected.h"
#include "FileStamp.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

// The new content of a file as consecutive pieces.
using FileContent = std::span<const std::string_view>;

// Which file a name leads to: device and inode, or volume serial and file index.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

inline FileId idOf(const FileStamp& stamp) {
    return {stamp.device, stamp.inode};
}

// A file opened for reading.
class OpenedFile {
public:
    virtual ~OpenedFile() = default;
    // Its stamp as it stands now, times in nanoseconds; `racy` is for the reader to judge.
    virtual FileStamp stamp() const = 0;
    // Up to n bytes at offset: the count, 0 at the end, -1 on an error.
    virtual long long readAt(std::uint64_t offset, char* buffer, std::size_t n) const = 0;
    // Lets go of the file where the system will not swap a file that is open; elsewhere it
    // stays readable, whatever name it ends up under.
    virtual void releaseForSwap() {}
};

// One entry of a folder as its listing tells it.
struct FolderEntry {
    std::filesystem::path name;  // without the folder
    bool folder = false;         // a folder, links followed
    bool plainFile = false;      // an ordinary file, and no link
    // Its last write, in the clock of FileSystem::now; may be left 0 for a name that is not
    // of the editor's temporary pattern (only the sweep of leftovers asks).
    std::int64_t modified = 0;
};

// A new file written beside the one it is to replace, flushed to disk.
struct TempFile {
    std::filesystem::path path;
    FileId id;
    // Kept open where the system lets a file be renamed while open, so that the new file's
    // stamp comes from the file itself and not from whatever holds the name later.
    std::shared_ptr<OpenedFile> open;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The clock the file times are kept in, in nanoseconds.
    virtual std::int64_t now() const = 0;
    virtual std::string errorText(int error) const = 0;
    // The error of the last call that failed (errno, GetLastError).
    virtual int lastError() const = 0;

    // A file opened to be read whole, or why not (for the user) when it cannot be, or is
    // no ordinary file.
    virtual Expected<std::unique_ptr<OpenedFile>> openToRead(const std::filesystem::path& path) const = 0;
    // The file about to be replaced, opened for reading once it is known that the user
    // may replace it.
    virtual Expected<std::unique_ptr<OpenedFile>> openOld(const std::filesystem::path& target) const = 0;
    // The content written to a new hidden file beside target, with the access the old one
    // gives (old may be null), and flushed; or why not when it cannot be.
    virtual Expected<TempFile> writeBeside(const std::filesystem::path& target, const OpenedFile* old,
                                           FileContent content) const = 0;
    // Whether a new file could be written beside target now, or why not: the user may not
    // write its folder, or its file system is read-only. On POSIX a folder that nobody may
    // write counts as read-only even for the administrator, as a file does. Leaves nothing
    // behind.
    virtual Expected<void> canWriteBeside(const std::filesystem::path& target) const = 0;
    // Where a swap of target with this temporary file leaves the file it takes out: the
    // temporary name itself where the system exchanges two names.
    virtual std::filesystem::path swappedOutName(const TempFile& temp) const = 0;

    // The renames give the system's own error code (0 when done), as the replace decides
    // by it what to try next.

    // Puts the file at `incoming` under target's name, and the file that held the name
    // under `outgoing` (which may be `incoming` itself).
    virtual int swap(const std::filesystem::path& target, const std::filesystem::path& incoming,
                     const std::filesystem::path& outgoing) const = 0;
    virtual int move(const std::filesystem::path& from, const std::filesystem::path& to) const = 0;
    virtual bool remove(const std::filesystem::path& path) const = 0;
    // Makes the swap itself last (the folder flushed where the system needs that).
    virtual void settle(const std::filesystem::path& target) const = 0;

    // The file the name leads to now (links not followed), or nullopt.
    virtual std::optional<FileId> idAt(const std::filesystem::path& path) const = 0;
    // The file's own path with links followed, or nullopt when the name leads nowhere.
    virtual std::optional<std::filesystem::path> whereItLeads(const std::filesystem::path& path) const = 0;
    // True when something, of any kind, has this name.
    virtual bool exists(const std::filesystem::path& path) const = 0;
    virtual bool isFileOrDevice(const std::filesystem::path& path) const = 0;
    // True when a folder is at the path (links followed); false for anything else, or a
    // path the system cannot use.
    virtual bool isFolder(const std::filesystem::path& path) const = 0;
    // The folder's entries in the system's order (without "." and ".."); nullopt when it
    // cannot be read to its end.
    virtual std::optional<std::vector<FolderEntry>> list(const std::filesystem::path& folder) const = 0;

    virtual unsigned long processId() const = 0;
    virtual bool processRuns(unsigned long pid) const = 0;
    // The process that named `name` as its temporary file for `file` (both without their
    // folder), or nullopt when the name is not of the editor's pattern.
    virtual std::optional<unsigned long> temporaryOwner(std::string_view name, std::string_view file) const = 0;
};

// A name `head` + digits + "-" + rest: the digits' value and the rest, or nullopt.
struct NumberedName {
    unsigned long number;
    std::string_view rest;
};
std::optional<NumberedName> splitNumberedName(std::string_view name, std::string_view head);

// The system's own calls.
const FileSystem& systemFileSystem();

}  // namespace tarsun
