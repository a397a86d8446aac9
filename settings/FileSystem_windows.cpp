// The file-system calls on Windows.

#include "FileSystem.h"

#include <algorithm>

#include <windows.h>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

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
    return Handle(
        CreateFileW(longPath(path).c_str(), access, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// FILETIME's 100-nanosecond ticks in nanoseconds.
std::int64_t nanos(std::uint64_t ticks) {
    return static_cast<std::int64_t>(ticks) * 100;
}

std::uint64_t join(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::optional<FileId> idOfHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow)};
}

fs::path finalPath(HANDLE h) {
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (n >= final.size()) {
        final.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    }
    final.resize(n < final.size() ? n : 0);
    // Messages name the file as Explorer does; longPath adds the prefix back for each call.
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + final.substr(8);
    if (final.rfind(L"\\\\?\\", 0) == 0 && final.size() > 6 && final[5] == L':') return final.substr(4);
    return final;
}

class WindowsFile final : public OpenedFile {
public:
    explicit WindowsFile(Handle h) : h_(std::move(h)) {}
    bool ok() const { return h_.ok(); }
    HANDLE get() const { return h_.get(); }

    FileStamp stamp() const override {
        FileStamp stamp;
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(h_.get(), &info)) return stamp;
        // Without the change time the stamp would vouch for less than it says: not known.
        FILE_BASIC_INFO basic{};
        if (!GetFileInformationByHandleEx(h_.get(), FileBasicInfo, &basic, sizeof basic)) return stamp;
        stamp.known = true;
        stamp.device = info.dwVolumeSerialNumber;
        stamp.inode = join(info.nFileIndexHigh, info.nFileIndexLow);
        stamp.size = join(info.nFileSizeHigh, info.nFileSizeLow);
        stamp.modified = nanos(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
        stamp.changed = nanos(static_cast<std::uint64_t>(basic.ChangeTime.QuadPart));
        stamp.resolved = finalPath(h_.get());
        return stamp;
    }

    long long readAt(std::uint64_t offset, char* buffer, std::size_t n) const override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(h_.get(), buffer, static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30)), &got, &at))
            return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
        return got;
    }

    void releaseForSwap() override { h_.close(); }

private:
    Handle h_;
};

bool isRetryable(DWORD error) {
    // A game, a virus scanner or a backup tool holding the file for a moment.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

class WindowsFileSystem final : public FileSystem {
public:
    std::int64_t now() const override {
        FILETIME t;
        GetSystemTimePreciseAsFileTime(&t);
        return nanos(join(t.dwHighDateTime, t.dwLowDateTime));
    }

    std::string errorText(int code) const override {
        const DWORD error = static_cast<DWORD>(code);
        wchar_t* text = nullptr;
        DWORD n =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::string out;
        if (n && text) {
            int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
            out.resize(static_cast<std::size_t>(size > 0 ? size : 0));
            if (size > 0)
                WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), size, nullptr, nullptr);
            LocalFree(text);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
            out.pop_back();
        return out.empty() ? "error " + std::to_string(error) : out;
    }

    int lastError() const override { return static_cast<int>(GetLastError()); }

    Expected<std::unique_ptr<OpenedFile>> openToRead(const fs::path& path) const override {
        auto file = std::make_unique<WindowsFile>(openShared(path, GENERIC_READ));
        if (!file->ok()) {
            return Failure{"it cannot be opened for reading: " + errorText(static_cast<int>(GetLastError()))};
        }
        if (GetFileType(file->get()) != FILE_TYPE_DISK) return Failure{"it is not an ordinary file"};
        return file;
    }

    Expected<std::unique_ptr<OpenedFile>> openOld(const fs::path& target) const override {
        const DWORD attributes = GetFileAttributesW(longPath(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return Failure{"the file cannot be found any more"};
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Failure{"a folder stands where the file should be"};
        if (attributes & FILE_ATTRIBUTE_READONLY) return Failure{"the file is read-only"};
        // The file's security may forbid writing it even where the folder would let us replace it.
        Handle writable = openShared(target, GENERIC_WRITE);
        if (!writable.ok() && GetLastError() == ERROR_ACCESS_DENIED) return Failure{"you may not write to this file"};
        auto old = std::make_unique<WindowsFile>(openShared(target, GENERIC_READ));
        if (!old->ok()) return Failure{"it cannot be opened: " + errorText(static_cast<int>(GetLastError()))};
        return old;
    }

    Expected<TempFile> writeBeside(const fs::path& target, const OpenedFile*, FileContent content) const override {
        // The new file takes the old one's access from the swap itself (ReplaceFileW).
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
            return Failure{"a temporary file could not be created: " + errorText(static_cast<int>(GetLastError()))};
        }
        std::string error;
        for (std::string_view bytes : content) {
            std::size_t done = 0;
            while (error.empty() && done < bytes.size()) {
                DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
                DWORD written = 0;
                if (!WriteFile(h.get(), bytes.data() + done, chunk, &written, nullptr))
                    error = errorText(static_cast<int>(GetLastError()));
                done += written;
            }
        }
        if (error.empty() && !FlushFileBuffers(h.get())) error = errorText(static_cast<int>(GetLastError()));
        if (error.empty()) temp.id = idOfHandle(h.get()).value_or(FileId{});
        // Closed: ReplaceFileW will not move a file that is open.
        h.close();
        if (!error.empty()) {
            remove(temp.path);
            return Failure{error};
        }
        return temp;
    }

    Expected<void> canWriteBeside(const fs::path& target) const override {
        // Folder rights are only known by trying: a hidden file of the temporary pattern
        // (numbered past writeBeside's), gone when closed.
        fs::path probe = target;
        probe += L".tarsun-" + std::to_wstring(GetCurrentProcessId()) + L"-100.tmp";
        Handle h(CreateFileW(longPath(probe).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        const DWORD error = h.ok() ? 0 : GetLastError();
        if (error == 0 || error == ERROR_FILE_EXISTS) return {};
        if (error == ERROR_ACCESS_DENIED) return Failure{"you may not write to its folder"};
        if (error == ERROR_WRITE_PROTECT) return Failure{"the disk is write-protected"};
        return Failure{"no file can be made in its folder: " + errorText(static_cast<int>(error))};
    }

    fs::path swappedOutName(const TempFile& temp) const override {
        fs::path backup = temp.path;
        backup.replace_extension(L".bak");
        return backup;
    }

    int swap(const fs::path& target, const fs::path& incoming, const fs::path& outgoing) const override {
        // The file keeps the attributes of the one it replaces, not the temporary file's hidden mark.
        const DWORD attributes = GetFileAttributesW(longPath(target).c_str());
        DWORD error = 0;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (attempt > 0) Sleep(static_cast<DWORD>(50 * attempt));
            if (ReplaceFileW(longPath(target).c_str(), longPath(incoming).c_str(), longPath(outgoing).c_str(),
                             REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
                if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(longPath(target).c_str(), attributes);
                return 0;
            }
            error = GetLastError();
            if (!isRetryable(error)) break;
        }
        return static_cast<int>(error);
    }

    int move(const fs::path& from, const fs::path& to) const override {
        // The file keeps the attributes of the one it replaces, not the temporary file's hidden mark.
        const DWORD attributes = GetFileAttributesW(longPath(to).c_str());
        if (!MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return static_cast<int>(GetLastError());
        SetFileAttributesW(longPath(to).c_str(),
                           attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_NORMAL : attributes);
        return 0;
    }

    bool remove(const fs::path& path) const override {
        const std::wstring p = longPath(path);
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(p.c_str()) != 0;
    }

    void settle(const fs::path&) const override {}  // ReplaceFileW and MOVEFILE_WRITE_THROUGH see to it

    std::optional<FileId> idAt(const fs::path& path) const override {
        Handle h = openShared(path, 0);
        return h.ok() ? idOfHandle(h.get()) : std::nullopt;
    }

    std::optional<fs::path> whereItLeads(const fs::path& path) const override {
        Handle h = openShared(path, 0);
        if (!h.ok()) return std::nullopt;
        return finalPath(h.get());
    }

    bool exists(const fs::path& path) const override {
        return GetFileAttributesW(longPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool isFileOrDevice(const fs::path& path) const override {
        const DWORD attributes = GetFileAttributesW(longPath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool isFolder(const fs::path& path) const override {
        if (path.empty() || path.native().find(L'\0') != std::wstring::npos) return false;
        const DWORD attributes = GetFileAttributesW(longPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Attributes of a link tell of the link; the handle, of the folder it leads to.
        Handle h(CreateFileW(longPath(path).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                             nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        return h.ok() && GetFileInformationByHandle(h.get(), &info) &&
               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::optional<std::vector<FolderEntry>> list(const fs::path& folder) const override {
        WIN32_FIND_DATAW found;
        std::wstring pattern = longPath(folder);
        if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (find == INVALID_HANDLE_VALUE) return std::nullopt;
        std::vector<FolderEntry> entries;
        do {
            const std::wstring_view name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            FolderEntry entry;
            entry.name = fs::path(std::wstring(name));
            const bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            entry.folder = link ? isFolder(folder / entry.name) : (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.plainFile = !link && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
            entry.modified = nanos(join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime));
            entries.push_back(std::move(entry));
        } while (FindNextFileW(find, &found));
        const DWORD error = GetLastError();
        FindClose(find);
        if (error != ERROR_NO_MORE_FILES) return std::nullopt;
        return entries;
    }

    unsigned long processId() const override { return GetCurrentProcessId(); }

    bool processRuns(unsigned long pid) const override {
        HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
        if (!p) return GetLastError() == ERROR_ACCESS_DENIED;
        DWORD code = 0;
        bool running = GetExitCodeProcess(p, &code) && code == STILL_ACTIVE;
        CloseHandle(p);
        return running;
    }

    // "NAME.tarsun-PID-N.tmp", or ".bak" for the file a swap took out.
    std::optional<unsigned long> temporaryOwner(std::string_view name, std::string_view file) const override {
        auto split = splitNumberedName(name, std::string(file) + ".tarsun-");
        if (!split) return std::nullopt;
        std::size_t n = 0;
        while (n < split->rest.size() && split->rest[n] >= '0' && split->rest[n] <= '9') ++n;
        const std::string_view ext = split->rest.substr(n);
        if (n == 0 || (ext != ".tmp" && ext != ".bak")) return std::nullopt;
        return split->number;
    }
};

}  // namespace

const FileSystem& systemFileSystem() {
    static const WindowsFileSystem system;
    return system;
}

}  // namespace tarsun
