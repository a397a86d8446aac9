#pragma once

#include "FileStamp.h"

#include <filesystem>
#include <string>

namespace tarsun {

// A mod file as last read or written, bytes untouched.
struct FileBytes {
    std::filesystem::path Path;  // the file that was found (letter case as on disk)
    std::string Text;
    FileStamp Stamp;

    // The file a replace writes: where the name led when it was read.
    std::filesystem::path target() const { return Stamp.known ? Stamp.resolved : Path; }
};

}  // namespace tarsun
