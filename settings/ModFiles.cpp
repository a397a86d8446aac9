// Finding a mod's files, and clearing away what an interrupted save left beside them.

#include "ModFiles.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

constexpr std::chrono::minutes LeftoverAge{10};

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

bool FileExists(const fs::path& path) {
    return systemFileSystem().isFileOrDevice(path);
}

std::optional<fs::path> findEntryIgnoringCase(const fs::path& folder, std::string_view name) {
    std::error_code ec;
    std::optional<fs::path> best;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path candidate = it->path();
        // UTF-8 on every platform: a narrow name could fail to convert on Windows.
        std::u8string u8 = candidate.filename().u8string();
        std::string file(u8.begin(), u8.end());
        if (file == name) return candidate;
        if (sameIgnoringCase(file, name) && (!best || candidate < *best)) best = candidate;
    }
    return best;
}

fs::path findModFile(const fs::path& modFolder, ModFile file) {
    fs::path path = modFolder;
    // Listed even where the name opens as it is: a system that ignores letter case would
    // otherwise give back our spelling, not the file's.
    for (std::string_view part : modFileComponents(file))
        path = findEntryIgnoringCase(path, part).value_or(path / fs::path(std::string(part)));
    return path;
}

std::optional<NumberedName> splitNumberedName(std::string_view name, std::string_view head) {
    if (name.size() <= head.size() || name.substr(0, head.size()) != head) return std::nullopt;
    std::string_view rest = name.substr(head.size());
    std::size_t digits = 0;
    unsigned long number = 0;
    for (; digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9'; ++digits)
        number = number * 10 + static_cast<unsigned long>(rest[digits] - '0');
    if (digits == 0 || digits >= rest.size() || rest[digits] != '-') return std::nullopt;
    return NumberedName{number, rest.substr(digits + 1)};
}

bool isTemporaryNameFor(std::string_view name, std::string_view file) {
    return systemFileSystem().temporaryOwner(name, file).has_value();
}

void removeLeftoverTemporaries(std::span<const fs::path> files) {
    const FileSystem& system = systemFileSystem();
    // Each folder is listed once, for all the files in it.
    std::map<fs::path, std::vector<std::string>> byFolder;
    for (const fs::path& file : files) byFolder[file.parent_path()].push_back(file.filename().string());
    for (const auto& [folder, names] : byFolder) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string entry = it->path().filename().string();
            for (const std::string& name : names) {
                const std::optional<unsigned long> pid = system.temporaryOwner(entry, name);
                if (!pid) continue;
                std::error_code kind;
                // None of this process's own saves is under way now, and no save takes that
                // long: a number another process has since been given does not keep a leftover.
                const auto age = fs::file_time_type::clock::now() - it->last_write_time(kind);
                const bool leftover = *pid == system.processId() || !system.processRuns(*pid) || age > LeftoverAge;
                if (leftover && it->is_regular_file(kind) && !it->is_symlink(kind)) system.remove(it->path());
                break;
            }
        }
    }
}

}  // namespace tarsun
