#pragma once

// The system's own file calls with a test's script in front: what another program does at
// a save's narrowest moments, a swap that fails, a coarse clock. Every call the script
// leaves alone goes to the system.

#include "FileSystem.h"

#include <functional>

namespace tarsun::testing {

class ScriptedFileSystem : public FileSystem {
    using Path = std::filesystem::path;

public:
    // Runs before each swap (the replace's and each put-back), with the swap's number from 0;
    // the other two stand in for the system's calls where set.
    std::function<void(int n, const Path& target)> beforeSwap;
    std::function<int(const Path& target, const Path& incoming, const Path& outgoing)> swapInstead;
    std::function<int(const Path& from, const Path& to)> moveInstead;
    mutable int swaps = 0;
    // Runs before the old file is opened for each try of a replace, numbered from 0.
    std::function<void(int n)> beforeOpenOld;
    mutable int opens = 0;
    // A clock as FAT keeps it: file times in whole two seconds, and `now` where set.
    bool coarseTimes = false;
    std::function<std::int64_t()> nowInstead;

    std::int64_t now() const override { return nowInstead ? nowInstead() : system_.now(); }
    std::string errorText(int error) const override { return system_.errorText(error); }
    int lastError() const override { return system_.lastError(); }
    std::unique_ptr<OpenedFile> openToRead(const Path& path, std::string& why) const override {
        return coarse(system_.openToRead(path, why));
    }
    std::unique_ptr<OpenedFile> openOld(const Path& target, std::string& why) const override {
        if (beforeOpenOld) beforeOpenOld(opens);
        ++opens;
        return coarse(system_.openOld(target, why));
    }
    std::optional<TempFile> writeBeside(const Path& target, const OpenedFile* old, FileContent content,
                                        std::string& why) const override {
        return system_.writeBeside(target, old, content, why);
    }
    Path swappedOutName(const TempFile& temp) const override { return system_.swappedOutName(temp); }
    int swap(const Path& target, const Path& incoming, const Path& outgoing) const override {
        const int n = swaps++;
        if (beforeSwap) beforeSwap(n, target);
        return swapInstead ? swapInstead(target, incoming, outgoing) : system_.swap(target, incoming, outgoing);
    }
    int move(const Path& from, const Path& to) const override {
        return moveInstead ? moveInstead(from, to) : system_.move(from, to);
    }
    bool remove(const Path& path) const override { return system_.remove(path); }
    void settle(const Path& target) const override { system_.settle(target); }
    std::optional<FileId> idAt(const Path& path) const override { return system_.idAt(path); }
    std::optional<Path> whereItLeads(const Path& path) const override { return system_.whereItLeads(path); }
    bool exists(const Path& path) const override { return system_.exists(path); }
    bool isFileOrDevice(const Path& path) const override { return system_.isFileOrDevice(path); }
    unsigned long processId() const override { return system_.processId(); }
    bool processRuns(unsigned long pid) const override { return system_.processRuns(pid); }
    std::optional<unsigned long> temporaryOwner(std::string_view name, std::string_view file) const override {
        return system_.temporaryOwner(name, file);
    }

private:
    struct CoarseFile : OpenedFile {
        std::unique_ptr<OpenedFile> file;
        explicit CoarseFile(std::unique_ptr<OpenedFile> f) : file(std::move(f)) {}
        FileStamp stamp() const override {
            FileStamp stamp = file->stamp();
            stamp.modified = stamp.changed = stamp.modified / 2'000'000'000 * 2'000'000'000;
            return stamp;
        }
        long long readAt(std::uint64_t offset, char* buffer, std::size_t n) const override {
            return file->readAt(offset, buffer, n);
        }
        void releaseForSwap() override { file->releaseForSwap(); }
    };
    std::unique_ptr<OpenedFile> coarse(std::unique_ptr<OpenedFile> file) const {
        if (!coarseTimes || !file) return file;
        return std::make_unique<CoarseFile>(std::move(file));
    }

    const FileSystem& system_ = systemFileSystem();
};

}  // namespace tarsun::testing
