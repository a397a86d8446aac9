#include "ModFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace tarsun {

#ifndef _WIN32
bool FileExists(const fs::path& path) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}
#endif

namespace {

bool pathExistsForLookup(const fs::path& path);

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

}  // namespace

std::optional<fs::path> findEntryIgnoringCase(const fs::path& folder, std::string_view name) {
    std::error_code ec;
    std::optional<fs::path> best;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path candidate = it->path();
        // UTF-8 on every platform: a narrow name could fail to convert on Windows.
        std::u8string u8 = candidate.filename().u8string();
        std::string file(u8.begin(), u8.end());
        if (sameIgnoringCase(file, name) && (!best || candidate < *best)) best = candidate;
    }
    return best;
}

fs::path findModFile(const fs::path& modFolder, ModFile file) {
    fs::path path = modFolder;
    for (std::string_view part : modFileComponents(file)) {
        fs::path exact = path / fs::path(std::string(part));
        if (pathExistsForLookup(exact)) {
            path = exact;
            continue;
        }
        path = findEntryIgnoringCase(path, part).value_or(exact);
    }
    return path;
}

bool isTemporaryNameFor(std::string_view name, std::string_view file) {
    // ".NAME.tarsun-PID-XXXXXX" on POSIX, "NAME.tarsun-PID-N.tmp" or ".bak" on Windows.
#ifdef _WIN32
    std::string head = std::string(file) + ".tarsun-";
#else
    std::string head(1, '.');
    head.append(file).append(".tarsun-");
#endif
    if (name.size() <= head.size() || name.substr(0, head.size()) != head) return false;
    std::string_view rest = name.substr(head.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 0 || digits >= rest.size() || rest[digits] != '-') return false;
    std::string_view tail = rest.substr(digits + 1);
#ifdef _WIN32
    std::size_t n = 0;
    while (n < tail.size() && tail[n] >= '0' && tail[n] <= '9') ++n;
    return n > 0 && (tail.substr(n) == ".tmp" || tail.substr(n) == ".bak");
#else
    return tail.size() == 6 && std::all_of(tail.begin(), tail.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
#endif
}

namespace {

// Stat-level facts of an open file.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// How long after a file's last change a further change could still carry the same times:
// the coarsest clock of the file systems a mod may live on (FAT's two seconds).
constexpr std::int64_t RacyWindow = 2'000'000'000;  // in nanoseconds

// The process id in a temporary file's name ("...tarsun-1234-...").
std::optional<unsigned long> pidInName(std::string_view name) {
    auto at = name.rfind(".tarsun-");
    if (at == std::string_view::npos) return std::nullopt;
    unsigned long pid = 0;
    for (std::size_t i = at + 8; i < name.size() && name[i] != '-'; ++i) pid = pid * 10 + static_cast<unsigned long>(name[i] - '0');
    return pid;
}

}  // namespace

#ifdef _WIN32

namespace {

std::string errorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n && text) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), size, nullptr, nullptr);
        LocalFree(text);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(error) : out;
}

// The path in the form that lifts the old 260-character limit: absolute, with \\?\ before it.
std::wstring longPath(const fs::path& path) {
    std::wstring p = path.wstring();
    for (auto& c : p)
        if (c == L'/') c = L'\\';
    if (p.rfind(L"\\\\?\\", 0) == 0) return p;
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n > 0) {
        std::wstring full(n, L'\0');
        n = GetFullPathNameW(p.c_str(), n, full.data(), nullptr);
        full.resize(n);
        p = full;
    }
    if (p.rfind(L"\\\\.\\", 0) == 0) return p;  // a device (\\.\NUL)
    if (p.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + p.substr(2);
    return L"\\\\?\\" + p;
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = INVALID_HANDLE_VALUE; }
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            close();
            h_ = o.h_;
            o.h_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    void close() {
        if (ok()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

Handle openShared(const fs::path& path, DWORD access) {
    return Handle(CreateFileW(longPath(path).c_str(), access, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
}

std::int64_t ticks(FILETIME t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

std::int64_t nowTicks() {
    FILETIME t;
    GetSystemTimePreciseAsFileTime(&t);
    return ticks(t);
}

FileStamp stampOf(HANDLE h, std::int64_t readStart) {
    FileStamp stamp;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return stamp;
    FILE_BASIC_INFO basic{};
    GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic);
    stamp.known = true;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.modified = ticks(info.ftLastWriteTime);
    stamp.changed = basic.ChangeTime.QuadPart;
    stamp.racy = std::max(stamp.modified, stamp.changed) > readStart - RacyWindow / 100;
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (n >= final.size()) {
        final.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    }
    final.resize(n < final.size() ? n : 0);
    stamp.resolved = final;
    return stamp;
}

std::optional<FileId> idAt(const fs::path& path) {
    Handle h = openShared(path, 0);
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.ok() || !GetFileInformationByHandle(h.get(), &info)) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// The file the name leads to now, links followed; nullopt when there is none.
std::optional<fs::path> whereItLeads(const fs::path& path) {
    Handle h = openShared(path, 0);
    if (!h.ok()) return std::nullopt;
    return stampOf(h.get(), 0).resolved;
}

// Reads from the start to the end; nullopt on a read error.
std::optional<std::string> readAllFrom(HANDLE h, std::uint64_t sizeHint) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(sizeHint + sizeHint / 64 + 4096));
    char buffer[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) return bytes;
        bytes.append(buffer, got);
    }
}

// Reads up to n bytes at offset; the count, or -1.
long long readAt(HANDLE h, std::uint64_t offset, char* buffer, std::size_t n) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(h, buffer, static_cast<DWORD>(n), &got, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

bool isRetryable(DWORD error) {
    // A game, a virus scanner or a backup tool holding the file for a moment.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

int platformSwap(const fs::path& target, const fs::path& temp, const fs::path& backup) {
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0) Sleep(static_cast<DWORD>(50 * attempt));
        if (ReplaceFileW(longPath(target).c_str(), longPath(temp).c_str(), longPath(backup).c_str(),
                         REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
            return 0;
        error = GetLastError();
        if (!isRetryable(error)) break;
    }
    return static_cast<int>(error);
}

// Puts the old file, moved aside to `backup` by a swap, back over the new one.
int putBack(const fs::path& target, const fs::path& backup) {
    if (ReplaceFileW(longPath(target).c_str(), longPath(backup).c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
        return 0;
    return static_cast<int>(GetLastError());
}

int platformMove(const fs::path& from, const fs::path& to) {
    if (MoveFileExW(longPath(from).c_str(), longPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return static_cast<int>(GetLastError());
}

bool removeFile(const fs::path& path) {
    const std::wstring p = longPath(path);
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(p.c_str()) != 0;
}

bool processRuns(unsigned long pid) {
    if (pid == GetCurrentProcessId()) return false;  // none of our own saves is under way now
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!p) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    bool running = GetExitCodeProcess(p, &code) && code == STILL_ACTIVE;
    CloseHandle(p);
    return running;
}

bool pathExistsForLookup(const fs::path& path) {
    return GetFileAttributesW(longPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool FileExists(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(longPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<ModDocument> readModDocument(const fs::path& path, std::string* reason) {
    auto fail = [&](std::string why) -> std::optional<ModDocument> {
        if (reason) *reason = std::move(why);
        return std::nullopt;
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t start = nowTicks();
        Handle h = openShared(path, GENERIC_READ);
        if (!h.ok()) return fail("it cannot be opened for reading: " + errorText(GetLastError()));
        if (GetFileType(h.get()) != FILE_TYPE_DISK) return fail("it is not an ordinary file");
        FileStamp before = stampOf(h.get(), start);
        auto bytes = readAllFrom(h.get(), before.size);
        if (!bytes) return fail("it could not be read to its end: " + errorText(GetLastError()));
        FileStamp after = stampOf(h.get(), start);
        if (!before.sameAs(after) || bytes->size() != after.size) continue;
        return ModDocument{path, std::move(*bytes), after};
    }
    return fail("it kept changing while it was read");
}

namespace {

struct OldFile {
    Handle h;
    DWORD attributes = 0;
};

// Opens the file about to be replaced and checks that it may be written.
std::optional<OldFile> openOld(const fs::path& target, std::string& why) {
    OldFile old;
    old.attributes = GetFileAttributesW(longPath(target).c_str());
    if (old.attributes == INVALID_FILE_ATTRIBUTES) {
        why = "the file cannot be found any more";
        return std::nullopt;
    }
    if (old.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        why = "a folder stands where the file should be";
        return std::nullopt;
    }
    if (old.attributes & FILE_ATTRIBUTE_READONLY) {
        why = "the file is read-only";
        return std::nullopt;
    }
    // The file's security may forbid writing it even where the folder would let us replace it.
    Handle writable = openShared(target, GENERIC_WRITE);
    if (!writable.ok() && GetLastError() == ERROR_ACCESS_DENIED) {
        why = "you may not write to this file";
        return std::nullopt;
    }
    old.h = openShared(target, GENERIC_READ);
    if (!old.h.ok()) {
        why = "it cannot be opened: " + errorText(GetLastError());
        return std::nullopt;
    }
    return old;
}

struct TempFile {
    fs::path path;
    FileId id;
};

std::optional<TempFile> writeTemp(const fs::path& target, FileContent content, std::string& why) {
    TempFile temp;
    Handle h;
    for (int n = 0; n < 100 && !h.ok(); ++n) {
        temp.path = target;
        temp.path += L".tarsun-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n) + L".tmp";
        // Hidden while it exists: the player never sees it in the mod's folder.
        h = Handle(CreateFileW(longPath(temp.path).c_str(), GENERIC_WRITE | GENERIC_READ, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!h.ok() && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!h.ok()) {
        why = "a temporary file could not be created: " + errorText(GetLastError());
        return std::nullopt;
    }
    std::string error;
    for (std::string_view bytes : content) {
        std::size_t done = 0;
        while (error.empty() && done < bytes.size()) {
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(h.get(), bytes.data() + done, chunk, &written, nullptr)) error = errorText(GetLastError());
            done += written;
        }
    }
    if (error.empty() && !FlushFileBuffers(h.get())) error = errorText(GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (error.empty() && GetFileInformationByHandle(h.get(), &info))
        temp.id = {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    h.close();
    if (!error.empty()) {
        removeFile(temp.path);
        why = error;
        return std::nullopt;
    }
    return temp;
}

fs::path backupName(const TempFile& temp) {
    fs::path backup = temp.path;
    backup.replace_extension(L".bak");
    return backup;
}

}  // namespace

#else  // POSIX

namespace {

std::string errorText(int error) { return std::generic_category().message(error); }

std::int64_t nanos(const struct timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::int64_t nowNanos() {
    struct timespec t {};
    clock_gettime(CLOCK_REALTIME, &t);
    return nanos(t);
}

FileStamp stampOf(const struct stat& st, const fs::path& resolved, std::int64_t readStart) {
    FileStamp stamp;
    stamp.known = true;
    stamp.resolved = resolved;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified = nanos(st.st_mtim);
    stamp.changed = nanos(st.st_ctim);
    stamp.racy = std::max(stamp.modified, stamp.changed) > readStart - RacyWindow;
    return stamp;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            close();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    bool ok() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int close() {
        int r = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

std::optional<FileId> idAt(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// The file the name leads to now, links followed; nullopt when there is none.
std::optional<fs::path> whereItLeads(const fs::path& path) {
    std::error_code ec;
    fs::path now = fs::canonical(path, ec);
    if (ec) return std::nullopt;
    return now;
}

std::optional<std::string> readAllFrom(int fd, std::uint64_t sizeHint) {
    std::string bytes;
    // Room for edits that lengthen the text, patched in place after a save.
    bytes.reserve(static_cast<std::size_t>(sizeHint + sizeHint / 64 + 4096));
    bytes.resize(static_cast<std::size_t>(sizeHint));
    std::size_t have = 0;
    for (;;) {
        char probe[1 << 16];
        // Past the expected size, read into a small buffer: a file that grew is rare, and
        // growing the string to look for more would double what it holds.
        const bool full = have == bytes.size();
        ssize_t n = full ? ::pread(fd, probe, sizeof probe, static_cast<off_t>(have))
                         : ::pread(fd, bytes.data() + have, bytes.size() - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (full) bytes.append(probe, static_cast<std::size_t>(n));
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

long long readAt(int fd, std::uint64_t offset, char* buffer, std::size_t n) {
    for (;;) {
        ssize_t got = ::pread(fd, buffer, n, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) return got;
    }
}

// The backup is the temporary name itself here (backupName).
int platformSwap(const fs::path& target, const fs::path& temp, const fs::path&) {
    // Swapped rather than renamed over: the old file stays whole under the temporary name,
    // so that a change another program made to it at the last moment can still be put back.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
    return ::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// Puts the old file, moved aside to `backup` by a swap, back over the new one, which then
// has the name `backup`.
int putBack(const fs::path& target, const fs::path& backup) {
    return ::renameat2(AT_FDCWD, backup.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

int platformMove(const fs::path& from, const fs::path& to) { return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno; }

bool removeFile(const fs::path& path) { return ::unlink(path.c_str()) == 0; }

bool processRuns(unsigned long pid) {
    if (pid == static_cast<unsigned long>(::getpid())) return false;  // none of our own saves is under way now
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

struct OldFile {
    Fd fd;
    struct stat st {};
};

std::optional<OldFile> openOld(const fs::path& target, std::string& why) {
    OldFile old;
    old.fd = Fd(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!old.fd.ok()) {
        why = errno == ENOENT ? "the file cannot be found any more"
              : errno == ELOOP ? "another program put a link in its place"
                               : "it cannot be opened: " + errorText(errno);
        return std::nullopt;
    }
    if (::fstat(old.fd.get(), &old.st) != 0) {
        why = errorText(errno);
        return std::nullopt;
    }
    if (S_ISDIR(old.st.st_mode)) {
        why = "a folder stands where the file should be";
        return std::nullopt;
    }
    if (!S_ISREG(old.st.st_mode)) {
        why = "it is not an ordinary file";
        return std::nullopt;
    }
    // A file nobody may write is marked read-only, as Windows' attribute does: honour it
    // even for the administrator. Otherwise the system's own test decides.
    if ((old.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        why = "the file is read-only";
        return std::nullopt;
    }
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        why = errno == EROFS ? "the file system is read-only" : "you may not write to this file";
        return std::nullopt;
    }
    return old;
}

struct TempFile {
    fs::path path;
    FileId id;
    Fd fd;  // kept open until the swap, so that the new file's stamp comes from it
};

std::optional<TempFile> writeTemp(const fs::path& target, FileContent content, const struct stat* old, std::string& why) {
    std::string name(1, '.');
    name.append(target.filename().string()).append(".tarsun-").append(std::to_string(::getpid())).append("-XXXXXX");
    std::string pattern = (target.parent_path() / name).string();
    TempFile temp;
    temp.fd = Fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!temp.fd.ok()) {
        why = "a temporary file could not be created: " + errorText(errno);
        return std::nullopt;
    }
    temp.path = pattern;
    int error = 0;
    int fd = temp.fd.get();
    bool ok = ::fchmod(fd, old ? old->st_mode & 07777 : 0644) == 0 || (error = errno, false);
    if (ok && old) {
        // Keep the owner where we may (as root); otherwise the file becomes ours, as any editor's would.
        [[maybe_unused]] int ignored = ::fchown(fd, old->st_uid, old->st_gid);
    }
    for (std::string_view bytes : content) {
        std::size_t done = 0;
        while (ok && done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = errno;
                ok = false;
            } else {
                done += static_cast<std::size_t>(n);
            }
        }
    }
    ok = ok && (::fsync(fd) == 0 || (error = errno, false));
    struct stat st {};
    if (ok && ::fstat(fd, &st) == 0)
        temp.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    if (!ok) {
        removeFile(temp.path);
        why = errorText(error);
        return std::nullopt;
    }
    return temp;
}

fs::path backupName(const TempFile& temp) { return temp.path; }

void syncFolder(const fs::path& file) {
    // Make the rename itself durable.
    int dir = ::open(file.parent_path().empty() ? "." : file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

bool pathExistsForLookup(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

}  // namespace

std::optional<ModDocument> readModDocument(const fs::path& path, std::string* reason) {
    auto fail = [&](std::string why) -> std::optional<ModDocument> {
        if (reason) *reason = std::move(why);
        return std::nullopt;
    };
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    if (ec) return fail("it cannot be found");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t start = nowNanos();
        // Not blocking: a pipe in place of the file would wait for a writer forever.
        Fd fd(::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!fd.ok()) return fail("it cannot be opened for reading: " + errorText(errno));
        struct stat before {}, after {};
        if (::fstat(fd.get(), &before) != 0) return fail(errorText(errno));
        // A device or a pipe in place of a mod file could block or never end.
        if (!S_ISREG(before.st_mode)) return fail("it is not an ordinary file");
        auto bytes = readAllFrom(fd.get(), static_cast<std::uint64_t>(before.st_size));
        if (!bytes) return fail("it could not be read to its end: " + errorText(errno));
        if (::fstat(fd.get(), &after) != 0) return fail(errorText(errno));
        FileStamp stamp = stampOf(after, resolved, start);
        if (!stampOf(before, resolved, start).sameAs(stamp) || bytes->size() != stamp.size) continue;
        return ModDocument{path, std::move(*bytes), stamp};
    }
    return fail("it kept changing while it was read");
}

#endif

namespace {

FileStamp currentStamp(const OldFile& old, const fs::path& resolved) {
#ifdef _WIN32
    (void)resolved;
    return stampOf(old.h.get(), 0);
#else
    struct stat st {};
    if (::fstat(old.fd.get(), &st) != 0) return {};
    return stampOf(st, resolved, 0);
#endif
}

std::optional<std::string> readOld(const OldFile& old, std::uint64_t size) {
#ifdef _WIN32
    return readAllFrom(old.h.get(), size);
#else
    return readAllFrom(old.fd.get(), size);
#endif
}

// True when the open file holds exactly these bytes. Read in small pieces: no copy of a
// large file is made just to find it unchanged.
template <typename Native>
bool holds(Native file, FileContent pieces) {
    char buffer[1 << 16];
    std::uint64_t offset = 0;
    for (std::string_view piece : pieces) {
        while (!piece.empty()) {
            const long long got = readAt(file, offset, buffer, std::min(sizeof buffer, piece.size()));
            if (got <= 0 || piece.compare(0, static_cast<std::size_t>(got), std::string_view(buffer, static_cast<std::size_t>(got))) != 0)
                return false;
            piece.remove_prefix(static_cast<std::size_t>(got));
            offset += static_cast<std::uint64_t>(got);
        }
    }
    return readAt(file, offset, buffer, 1) == 0;
}

// True when the two stamps tell of the same bytes: same file, size and last write. The
// status-change time is left out, since the swap itself moves it.
bool sameWrite(const FileStamp& a, const FileStamp& b) {
    return a.known && b.known && a.size == b.size && a.modified == b.modified;
}

}  // namespace

ReplaceResult replaceModFile(const ReplaceRequest& request, const ReplaceHooks& hooks) {
    ReplaceResult result;
    auto failed = [&](std::string why) {
        result.kind = ReplaceResult::Failed;
        result.reason = std::move(why);
        return result;
    };
    auto changedElsewhere = [&](std::string why) {
        result.kind = ReplaceResult::ChangedElsewhere;
        result.reason = std::move(why);
        return result;
    };

    // The file the mod's name leads to now must be the one it led to when read.
    // (Where the system could not name the file it opened, the name it was found by.)
    fs::path target = request.path;
    if (request.stamp.known && !request.stamp.resolved.empty()) {
        const std::optional<fs::path> now = whereItLeads(request.path);
        if (!now) return failed("the file cannot be found any more");
        if (*now != request.stamp.resolved) return changedElsewhere("another program pointed its link to another file");
        target = *now;
    }

    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string why;
        std::optional<OldFile> old = openOld(target, why);
        if (!old) return failed(why);
        FileStamp checked = currentStamp(*old, target);
        // The stamp vouches for the bytes unless the file changed too shortly before it was
        // read; then, or when the stamp differs, the bytes themselves are compared.
        const bool trustStamp = !request.stamp.racy && checked.sameAs(request.stamp);
        std::optional<std::string> current;
        FileContent content = request.content;
        std::string_view rebasedView;
        result.rebased.reset();
#ifdef _WIN32
        const HANDLE native = old->h.get();
#else
        const int native = old->fd.get();
#endif
        if (!trustStamp && !holds(native, request.base)) {
            current = readOld(*old, checked.size);
            if (!current) return failed("it could not be read to compare it with what was loaded");
            {
                result.rebased = request.rebase ? request.rebase(*current) : std::nullopt;
                if (!result.rebased)
                    return changedElsewhere("another program changed it since it was loaded, in a line you edited");
                rebasedView = *result.rebased;
                content = FileContent(&rebasedView, 1);
            }
        }
#ifdef _WIN32
        std::optional<TempFile> temp = writeTemp(target, content, why);
#else
        std::optional<TempFile> temp = writeTemp(target, content, &old->st, why);
#endif
        if (!temp) return failed(why);

        // Changed between the check and now: check again.
        if (!checked.sameAs(currentStamp(*old, target)) || idAt(target) != FileId{checked.device, checked.inode}) {
            removeFile(temp->path);
            continue;
        }
        if (hooks.beforeSwap) hooks.beforeSwap();
#ifdef _WIN32
        const DWORD attributes = old->attributes;
        old->h.close();  // the swap moves the old file
#endif
        const fs::path backup = backupName(*temp);
        int error = hooks.swap ? hooks.swap(target, temp->path, backup) : platformSwap(target, temp->path, backup);
        const FileId oldId{checked.device, checked.inode};
        if (error != 0 && idAt(target) != temp->id) {
            // Find out where the two files are before touching either: the new one may now
            // be the only copy of the mod's file.
            const std::string reason = errorText(error);
            if (idAt(target) == oldId) {
                removeFile(temp->path);
                return failed(reason);
            }
            if (idAt(target)) {
                // Some other file took its place meanwhile.
                removeFile(temp->path);
                return changedElsewhere("another program replaced it while it was saved");
            }
            const int moved = hooks.move ? hooks.move(temp->path, target) : platformMove(temp->path, target);
            if (moved != 0) {
                const bool oldKept = idAt(backup) == oldId;
                if (oldKept && (hooks.move ? hooks.move(backup, target) : platformMove(backup, target)) == 0) {
                    removeFile(temp->path);
                    return failed(reason);
                }
                std::string kept = "; the saved file is kept as " + temp->path.string();
                if (oldKept) kept += " and the old one as " + backup.string();
                return failed(reason + kept);
            }
        }
#ifdef _WIN32
        SetFileAttributesW(longPath(target).c_str(), attributes);  // the hidden mark was the temporary file's
        Handle oldAfter = openShared(backup, GENERIC_READ);
        FileStamp after = oldAfter.ok() ? stampOf(oldAfter.get(), 0) : FileStamp{};
#else
        FileStamp after = currentStamp(*old, target);
#endif
        // A change that landed between the check and the swap went into the old file, which
        // is still whole: put it back and start again from it.
        bool lateChange = !sameWrite(after, checked);
        if (!lateChange && !trustStamp) {
            const std::string_view currentView = current ? std::string_view(*current) : std::string_view();
            const FileContent checkedBytes = current ? FileContent(&currentView, 1) : request.base;
#ifdef _WIN32
            lateChange = !oldAfter.ok() || !holds(oldAfter.get(), checkedBytes);
#else
            lateChange = !holds(native, checkedBytes);
#endif
        }
#ifdef _WIN32
        oldAfter.close();
#endif
        if (lateChange) {
            if (idAt(backup) == oldId && putBack(target, backup) == 0) {
                // The old file is back in its place; ours is dropped, the edits are still here.
                removeFile(backup);
                continue;
            }
#ifndef _WIN32
            // The old file was renamed over, but it is still open here: write its bytes back.
            if (auto theirs = readOld(*old, after.size)) {
                std::string_view view = *theirs;
                std::string error2 = replaceFileContents(target, FileContent(&view, 1));
                if (error2.empty()) return changedElsewhere("another program changed it while it was saved");
            }
#endif
            return failed("another program changed it while it was saved, and its change could not be put back");
        }
        if (idAt(backup) == oldId) removeFile(backup);
#ifdef _WIN32
        Handle written = openShared(target, GENERIC_READ);
        result.stamp = written.ok() ? stampOf(written.get(), nowTicks()) : FileStamp{};
        result.stamp.racy = true;
#else
        syncFolder(target);
        struct stat st {};
        if (::fstat(temp->fd.get(), &st) == 0) result.stamp = stampOf(st, target, nowNanos());
        result.stamp.racy = true;  // just written: a change within the same tick would look the same
#endif
        result.kind = ReplaceResult::Written;
        return result;
    }
    return changedElsewhere("another program kept changing it while it was saved");
}

std::string replaceFileContents(const fs::path& requested, FileContent content) {
    std::string why;
#ifdef _WIN32
    const fs::path& target = requested;
    DWORD attributes = GetFileAttributesW(longPath(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "a folder stands where the file should be";
    std::optional<TempFile> temp = writeTemp(target, content, why);
    if (!temp) return why;
    if (!MoveFileExW(longPath(temp->path).c_str(), longPath(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        why = errorText(GetLastError());
        removeFile(temp->path);
        return why;
    }
    SetFileAttributesW(longPath(target).c_str(), attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_NORMAL
                                                                                       : attributes);
    return {};
#else
    const fs::path& target = requested;
    struct stat old {};
    bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) return "a folder stands where the file should be";
    std::optional<TempFile> temp = writeTemp(target, content, existed ? &old : nullptr, why);
    if (!temp) return why;
    if (::rename(temp->path.c_str(), target.c_str()) != 0) {
        why = errorText(errno);
        removeFile(temp->path);
        return why;
    }
    syncFolder(target);
    return {};
#endif
}

std::string replaceFileText(const fs::path& target, std::string_view bytes) {
    return replaceFileContents(target, FileContent(&bytes, 1));
}

void removeLeftoverTemporaries(std::span<const fs::path> files) {
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        std::error_code ec;
        for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
            const std::string entry = it->path().filename().string();
            if (!isTemporaryNameFor(entry, name)) continue;
            std::error_code kind;
            if (!it->is_regular_file(kind) || it->is_symlink(kind)) continue;
            if (auto pid = pidInName(entry); pid && !processRuns(*pid)) removeFile(it->path());
        }
    }
}

}  // namespace tarsun
