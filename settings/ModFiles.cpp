#include "ModFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace tarsun {

bool FileExists(const fs::path& path) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

namespace {

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
        std::error_code ec;
        if (fs::exists(exact, ec)) {
            path = exact;
            continue;
        }
        path = findEntryIgnoringCase(path, part).value_or(exact);
    }
    return path;
}

std::optional<std::string> readWholeFile(const fs::path& path, std::string* reason) {
    auto fail = [&](const char* why) -> std::optional<std::string> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    // A device or a pipe in place of a mod file could block or never end.
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return fail("it is not an ordinary file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("it cannot be opened for reading");
    std::string bytes;
    // Read straight into a string of the file's size; the loop below takes whatever is
    // left when the size was unknown or the file grew meanwhile.
    std::uintmax_t expected = fs::file_size(path, ec);
    if (!ec && expected > 0 && expected < bytes.max_size() / 2) {
        // Room for edits that lengthen the text, patched in place after a save.
        bytes.reserve(static_cast<std::size_t>(expected + expected / 64 + 4096));
        bytes.resize(static_cast<std::size_t>(expected));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    char buffer[1 << 16];
    while (in) {
        in.read(buffer, sizeof buffer);
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad() || !in.eof()) return fail("it could not be read to its end");
    return bytes;
}

#ifdef _WIN32

namespace {

std::string lastErrorText(DWORD error) {
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

}  // namespace

std::string replaceFileContents(const fs::path& target, FileContent content) {
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder stands where the file should be";
        if (attributes & FILE_ATTRIBUTE_READONLY) return "the file is read-only";
    }
    fs::path temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temp = target;
        temp += L".tarsun-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
        handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle == INVALID_HANDLE_VALUE) return "a temporary file could not be created: " + lastErrorText(GetLastError());

    std::string error;
    for (std::string_view bytes : content) {
        std::size_t done = 0;
        while (error.empty() && done < bytes.size()) {
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(handle, bytes.data() + done, chunk, &written, nullptr)) error = lastErrorText(GetLastError());
            done += written;
        }
    }
    if (error.empty() && !FlushFileBuffers(handle)) error = lastErrorText(GetLastError());
    CloseHandle(handle);
    // ReplaceFile keeps the old file's attributes and permissions on the new one.
    if (error.empty() &&
        !ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) &&
        !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = lastErrorText(GetLastError());
    }
    if (!error.empty()) DeleteFileW(temp.c_str());
    return error;
}

#else

namespace {

std::string errnoText(int error) { return std::generic_category().message(error); }

bool writeAll(int fd, std::string_view bytes, int& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string replaceFileContents(const fs::path& requested, FileContent content) {
    // Replace the file a link points to, not the link.
    std::error_code ec;
    fs::path target = requested;
    if (fs::is_symlink(requested, ec)) {
        target = fs::canonical(requested, ec);
        if (ec) return "the link to the file cannot be followed";
    }

    mode_t mode = 0644;
    struct stat old {};
    bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed) {
        if (S_ISDIR(old.st_mode)) return "a folder stands where the file should be";
        // Honour a read-only file even when the folder would let us replace it.
        if (!(old.st_mode & S_IWUSR)) return "the file is read-only";
        mode = old.st_mode & 07777;
    }

    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".tarsun-XXXXXX")).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return "a temporary file could not be created: " + errnoText(errno);

    int error = 0;
    bool ok = ::fchmod(fd, mode) == 0 || (error = errno, false);
    if (ok && existed) {
        // Keep the owner where we may (as root); otherwise the file becomes ours, as any editor's would.
        [[maybe_unused]] int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
    for (std::string_view bytes : content) ok = ok && writeAll(fd, bytes, error);
    ok = ok && (::fsync(fd) == 0 || (error = errno, false));
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    ok = ok && (::rename(pattern.c_str(), target.c_str()) == 0 || (error = errno, false));
    if (!ok) {
        ::unlink(pattern.c_str());
        return errnoText(error);
    }
    // Make the rename itself durable.
    int dir = ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

#endif

std::string replaceFileText(const fs::path& target, std::string_view bytes) {
    return replaceFileContents(target, FileContent(&bytes, 1));
}

}  // namespace tarsun
