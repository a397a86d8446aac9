// Finding a mod's files, and clearing away what an interrupted save left beside them.

#include "ModFiles.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

constexpr std::int64_t LeftoverAge = std::chrono::nanoseconds(std::chrono::minutes(10)).count();

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// UTF-8 on every platform: a narrow name could fail to convert on Windows.
std::string utf8Name(const fs::path& name) {
    const std::u8string u8 = name.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace

bool FileExists(const fs::path& path, const FileSystem& fs) {
    return fs.isFileOrDevice(path);
}

const std::optional<std::vector<FolderEntry>>& FolderListings::of(const fs::path& folder) {
    auto [at, added] = taken_.try_emplace(folder);
    if (added) at->second = fs_.list(folder);
    return at->second;
}

bool FolderListings::listsAsFile(const fs::path& path) const {
    const auto at = taken_.find(path.parent_path());
    if (at == taken_.end() || !at->second) return false;
    const fs::path name = path.filename();
    return std::any_of(at->second->begin(), at->second->end(),
                       [&](const FolderEntry& entry) { return entry.plainFile && entry.name == name; });
}

std::optional<fs::path> FolderListings::findEntryIgnoringCase(const fs::path& folder, std::string_view name) {
    const std::optional<std::vector<FolderEntry>>& entries = of(folder);
    if (!entries) return std::nullopt;
    std::optional<fs::path> best;
    for (const FolderEntry& entry : *entries) {
        const std::string file = utf8Name(entry.name);
        if (file == name) return folder / entry.name;
        if (sameIgnoringCase(file, name) && (!best || folder / entry.name < *best)) best = folder / entry.name;
    }
    return best;
}

fs::path FolderListings::findModFile(const fs::path& modFolder, ModFile file) {
    fs::path path = modFolder;
    // Listed even where the name opens as it is: a system that ignores letter case would
    // otherwise give back our spelling, not the file's.
    for (std::string_view part : modFileComponents(file))
        path = findEntryIgnoringCase(path, part).value_or(path / fs::path(std::string(part)));
    return path;
}

bool isTemporaryNameFor(std::string_view name, std::string_view file, const FileSystem& fs) {
    return fs.temporaryOwner(name, file).has_value();
}

void FolderListings::removeLeftoverTemporaries(std::span<const fs::path> files) {
    // Each folder is looked into once, for all the files in it.
    std::map<fs::path, std::vector<std::string>> byFolder;
    for (const fs::path& file : files) byFolder[file.parent_path()].push_back(file.filename().string());
    const std::int64_t now = fs_.now();
    for (const auto& [folder, names] : byFolder) {
        const std::optional<std::vector<FolderEntry>>& entries = of(folder);
        if (!entries) continue;
        for (const FolderEntry& entry : *entries) {
            const std::string name = entry.name.string();
            for (const std::string& file : names) {
                const std::optional<unsigned long> pid = fs_.temporaryOwner(name, file);
                if (!pid) continue;
                // None of this process's own saves is under way now, and no save takes that
                // long: a number another process has since been given does not keep a leftover.
                const bool leftover =
                    *pid == fs_.processId() || !fs_.processRuns(*pid) || now - entry.modified > LeftoverAge;
                if (leftover && entry.plainFile) fs_.remove(folder / entry.name);
                break;
            }
        }
    }
}

}  // namespace tarsun
