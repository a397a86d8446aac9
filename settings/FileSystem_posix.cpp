// The file-system calls on Linux and other POSIX systems.

#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

// What the editor's temporary files carry after the file's name: ".NAME.tarsun-PID-XXXXXX".
constexpr std::string_view TemporaryMark = ".tarsun-";

std::int64_t nanos(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    bool ok() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Where an opened file lies, links resolved: the system's own name for the descriptor, in
// one call where resolving the path takes one per folder on the way. A name the system
// marks as deleted is checked against the file itself (a file may be named so); where it
// does not hold, or there is no /proc, the path is resolved name by name.
std::optional<fs::path> pathOfOpened(int fd, const struct stat& opened, const fs::path& path) {
    char name[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name, sizeof name);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof name && name[0] == '/') {
        std::string found(name, static_cast<std::size_t>(n));
        struct stat there {};
        if (!found.ends_with(" (deleted)") ||
            (::stat(found.c_str(), &there) == 0 && there.st_dev == opened.st_dev && there.st_ino == opened.st_ino))
            return fs::path(std::move(found));
    }
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    if (ec) return std::nullopt;
    return resolved;
}

class PosixFile final : public OpenedFile {
public:
    PosixFile(int fd, fs::path resolved) : fd_(fd), resolved_(std::move(resolved)) {}
    // The file's state as just taken on opening it, given as the first stamp.
    PosixFile(int fd, fs::path resolved, const struct stat& opened)
        : fd_(fd), resolved_(std::move(resolved)), opened_(opened) {}
    bool ok() const { return fd_.ok(); }
    int fd() const { return fd_.get(); }

    FileStamp stamp() const override {
        struct stat st {};
        if (opened_)
            st = *std::exchange(opened_, std::nullopt);
        else if (::fstat(fd_.get(), &st) != 0)
            return {};
        FileStamp stamp;
        stamp.known = true;
        stamp.resolved = resolved_;
        stamp.device = static_cast<std::uint64_t>(st.st_dev);
        stamp.inode = static_cast<std::uint64_t>(st.st_ino);
        stamp.size = static_cast<std::uint64_t>(st.st_size);
        stamp.modified = nanos(st.st_mtim);
        stamp.changed = nanos(st.st_ctim);
        return stamp;
    }

    long long readAt(std::uint64_t offset, char* buffer, std::size_t n) const override {
        for (;;) {
            ssize_t got = ::pread(fd_.get(), buffer, n, static_cast<off_t>(offset));
            if (got >= 0 || errno != EINTR) return got;
        }
    }

private:
    Fd fd_;
    fs::path resolved_;
    mutable std::optional<struct stat> opened_;
};

class PosixFileSystem final : public FileSystem {
public:
    std::int64_t now() const override {
        struct timespec t {};
        clock_gettime(CLOCK_REALTIME, &t);
        return nanos(t);
    }

    std::string errorText(int error) const override { return std::generic_category().message(error); }

    int lastError() const override { return errno; }

    Expected<std::unique_ptr<OpenedFile>> openToRead(const fs::path& path) const override {
        // Not blocking: a pipe in place of the file would wait for a writer forever.
        Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!fd.ok()) {
            return Failure{errno == ENOENT || errno == ENOTDIR || errno == ELOOP
                               ? "it cannot be found"
                               : "it cannot be opened for reading: " + errorText(errno)};
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) return Failure{errorText(errno)};
        std::optional<fs::path> resolved = pathOfOpened(fd.get(), st, path);
        if (!resolved) return Failure{"it cannot be found"};
        auto file = std::make_unique<PosixFile>(fd.release(), std::move(*resolved), st);
        // A device or a pipe in place of a mod file could block or never end.
        if (!S_ISREG(st.st_mode)) return Failure{"it is not an ordinary file"};
        return file;
    }

    Expected<std::unique_ptr<OpenedFile>> openOld(const fs::path& target) const override {
        auto old =
            std::make_unique<PosixFile>(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK), target);
        if (!old->ok()) {
            return Failure{errno == ENOENT  ? "the file cannot be found any more"
                  : errno == ELOOP ? "another program put a link in its place"
                                   : "it cannot be opened: " + errorText(errno)};
        }
        struct stat st {};
        if (::fstat(old->fd(), &st) != 0) return Failure{errorText(errno)};
        if (S_ISDIR(st.st_mode)) return Failure{"a folder stands where the file should be"};
        if (!S_ISREG(st.st_mode)) return Failure{"it is not an ordinary file"};
        // A file nobody may write is marked read-only, as Windows' attribute does: honour it
        // even for the administrator. Otherwise the system's own test decides.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Failure{"the file is read-only"};
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            return Failure{errno == EROFS ? "the file system is read-only" : "you may not write to this file"};
        }
        return old;
    }

    Expected<TempFile> writeBeside(const fs::path& target, const OpenedFile* old, FileContent content) const override {
        std::string name(1, '.');
        name.append(target.filename().string())
            .append(TemporaryMark)
            .append(std::to_string(::getpid()))
            .append("-XXXXXX");
        std::string pattern = (target.parent_path() / name).string();
        // Its stamp is that of the file it becomes.
        auto file = std::make_shared<PosixFile>(::mkostemp(pattern.data(), O_CLOEXEC), target);
        if (!file->ok()) return Failure{"a temporary file could not be created: " + errorText(errno)};
        const int fd = file->fd();
        struct stat oldSt {};
        const bool hasOld = old && ::fstat(static_cast<const PosixFile*>(old)->fd(), &oldSt) == 0;
        int error = 0;
        bool ok = ::fchmod(fd, hasOld ? oldSt.st_mode & 07777 : 0644) == 0 || (error = errno, false);
        if (ok && hasOld) {
            // Keep the owner where we may (as root); otherwise the file becomes ours, as any editor's would.
            [[maybe_unused]] int ignored = ::fchown(fd, oldSt.st_uid, oldSt.st_gid);
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
        if (!ok) {
            remove(pattern);
            return Failure{errorText(error)};
        }
        return TempFile{pattern, idOf(file->stamp()), file};
    }

    Expected<void> canWriteBeside(const fs::path& target) const override {
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) return Failure{"its folder cannot be found: " + errorText(errno)};
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Failure{"its folder is read-only"};
        if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            return Failure{errno == EROFS ? "the file system is read-only" : "you may not write to its folder"};
        return {};
    }

    fs::path swappedOutName(const TempFile& temp) const override { return temp.path; }

    int swap(const fs::path& target, const fs::path& incoming, const fs::path& outgoing) const override {
        // Exchanged rather than renamed over: the old file stays whole under the temporary
        // name, to be checked and, if need be, put back.
        if (incoming == outgoing &&
            ::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
            return 0;
        if (incoming == outgoing && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP)
            return errno;
        // A file system that cannot exchange: the old file is gone once renamed over.
        return move(incoming, target);
    }

    int move(const fs::path& from, const fs::path& to) const override {
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }

    bool remove(const fs::path& path) const override { return ::unlink(path.c_str()) == 0; }

    void settle(const fs::path& target) const override {
        // Make the rename itself durable.
        Fd dir(::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.ok()) ::fsync(dir.get());
    }

    std::optional<FileId> idAt(const fs::path& path) const override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
        return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    std::optional<fs::path> whereItLeads(const fs::path& path) const override {
        Fd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
        struct stat st {};
        if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return std::nullopt;
        return pathOfOpened(fd.get(), st, path);
    }

    bool exists(const fs::path& path) const override {
        std::error_code ec;
        return fs::exists(path, ec);
    }

    bool isFileOrDevice(const fs::path& path) const override {
        std::error_code ec;
        fs::file_status status = fs::status(path, ec);
        return !ec && fs::exists(status) && !fs::is_directory(status);
    }

    bool isFolder(const fs::path& path) const override {
        // A NUL would cut the path short inside the system call and test another folder.
        if (path.empty() || path.native().find('\0') != std::string::npos) return false;
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    std::optional<std::vector<FolderEntry>> list(const fs::path& folder) const override {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) return std::nullopt;
        std::vector<FolderEntry> entries;
        for (;;) {
            errno = 0;
            const struct dirent* d = ::readdir(dir);
            if (!d) break;
            const std::string_view name = d->d_name;
            if (name == "." || name == "..") continue;
            FolderEntry entry;
            entry.name = fs::path(std::string(name));
            // The kind comes with the name; only a name that may be a save's temporary file
            // is asked for its time, which the sweep of leftovers needs.
            const bool maybeTemporary = name.starts_with('.') && name.find(TemporaryMark) != std::string_view::npos;
            if (!maybeTemporary && (d->d_type == DT_REG || d->d_type == DT_DIR)) {
                entry.plainFile = d->d_type == DT_REG;
                entry.folder = d->d_type == DT_DIR;
                entries.push_back(std::move(entry));
                continue;
            }
            struct stat st {};
            if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                entry.plainFile = S_ISREG(st.st_mode);
                entry.modified = nanos(st.st_mtim);
                if (S_ISLNK(st.st_mode)) {
                    struct stat target {};
                    entry.folder = ::fstatat(::dirfd(dir), d->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
                } else {
                    entry.folder = S_ISDIR(st.st_mode);
                }
            }
            entries.push_back(std::move(entry));
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0) return std::nullopt;
        return entries;
    }

    unsigned long processId() const override { return static_cast<unsigned long>(::getpid()); }

    bool processRuns(unsigned long pid) const override {
        return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    }

    // ".NAME.tarsun-PID-XXXXXX", as mkostemp fills it in.
    std::optional<unsigned long> temporaryOwner(std::string_view name, std::string_view file) const override {
        std::string head(1, '.');
        head.append(file).append(TemporaryMark);
        auto split = splitNumberedName(name, head);
        if (!split || split->rest.size() != 6 || !std::all_of(split->rest.begin(), split->rest.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            }))
            return std::nullopt;
        return split->number;
    }
};

}  // namespace

const FileSystem& systemFileSystem() {
    static const PosixFileSystem system;
    return system;
}

}  // namespace tarsun
