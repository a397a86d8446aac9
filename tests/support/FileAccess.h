#pragma once

// The right to write a file or read a folder taken away and given back, as another
// program or the user would.

#include <filesystem>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif
#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tarsun::testing {

// Taking away and giving back the right to replace a file, and the access a replacement
// must keep: POSIX permission bits (0440, then 0640), or the read-only attribute on Windows,
// which has no such bits.
#ifdef _WIN32
inline void setReadOnly(const std::filesystem::path& path, bool on) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        attributes = on ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (attributes == INVALID_FILE_ATTRIBUTES || !SetFileAttributesW(path.c_str(), attributes))
        throw std::runtime_error("the test could not change " + path.string() + ": error " +
                                 std::to_string(GetLastError()));
}
inline unsigned accessOf(const std::filesystem::path& path) {
    return GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY;
}
#else
inline void setReadOnly(const std::filesystem::path& path, bool on) {
    std::filesystem::permissions(path, std::filesystem::perms(on ? 0440 : 0640));
}
inline unsigned accessOf(const std::filesystem::path& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions() & std::filesystem::perms::all);
}
#endif

// While alive, this thread obeys file permissions even as root (CI is), so a mode-000
// folder really cannot be listed. active() is false where that cannot be had.
class ObeyPermissions {
public:
    bool active() const { return active_; }
#ifdef __linux__
    ObeyPermissions() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~ObeyPermissions() {
        if (active_) syscall(SYS_capset, &header_, saved_);
    }
#endif

private:
    bool active_ = false;
#ifdef __linux__
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
#endif
};

}  // namespace tarsun::testing
