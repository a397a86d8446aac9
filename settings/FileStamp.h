#pragma once

// What the editor knows of a file on disk as it last read or wrote it, so that a save can
// tell whether another program has changed the file since.

#include <cstdint>
#include <filesystem>

namespace tarsun {

struct FileStamp {
    bool known = false;
    // The file the mod's name led to when read, links followed: a save never writes
    // through a link that has since been pointed elsewhere.
    std::filesystem::path resolved;
    std::uint64_t device = 0;  // on Windows: the volume serial number
    std::uint64_t inode = 0;   // on Windows: the file index
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // last write, nanoseconds (100 ns units on Windows)
    std::int64_t changed = 0;   // status change (POSIX ctime, Windows ChangeTime)
    // The file changed so shortly before it was read that a later change could carry
    // the same times; then only its bytes can tell.
    bool racy = true;

    bool sameAs(const FileStamp& o) const {
        return known && o.known && device == o.device && inode == o.inode && size == o.size &&
               modified == o.modified && changed == o.changed;
    }
};

}  // namespace tarsun
