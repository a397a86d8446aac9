// Reading a mod file whole, and replacing it so that the file is always whole, old or new,
// and a change another program made meanwhile is never written over.
//
// A replace runs these steps, and starts again from the file as it then stands whenever
// another program gets in between:
//   1. follow the name to the file it led to at load (never through a re-pointed link);
//   2. open the old file and check it against what was read: by its stamp, or its bytes;
//   3. where another program changed it, stop and hand its text back: the caller carries
//      its edits over and asks again with that text as the base;
//   4. write the new file beside it and flush it;
//   5. check the old file once more;
//   6. swap the new file in, the old one out under another name;
//   7. verify the file swapped out is the one checked, still holding what was checked;
//   8. else put it back while the name still holds the new file as written, and start
//      again; a file another program wrote later than the one put back stays at the name.
// What a replace takes out and nobody needs any more is removed by it; what it must keep
// for the user gets a name of its own that no sweep of leftovers takes.

#include "ReplaceProtocol.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

// Opened to look at, or nothing where it cannot be: the caller then goes by what it knows.
std::unique_ptr<OpenedFile> openIfReadable(const FileSystem& fs, const fs::path& at) {
    Expected<std::unique_ptr<OpenedFile>> file = fs.openToRead(at);
    return file ? std::move(*file) : nullptr;
}

// How long after a file's last change a further change could still carry the same times:
// the coarsest clock of the file systems a mod may live on (FAT's two seconds).
constexpr std::int64_t RacyWindow = 2'000'000'000;  // nanoseconds

bool changedShortlyBefore(const FileStamp& stamp, std::int64_t readStart) {
    return std::max(stamp.modified, stamp.changed) > readStart - RacyWindow;
}

// The whole file; nullopt on a read error. sizeHint is what its stamp says it holds.
std::optional<std::string> readAll(const OpenedFile& file, std::uint64_t sizeHint) {
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
        const long long n =
            full ? file.readAt(have, probe, sizeof probe) : file.readAt(have, bytes.data() + have, bytes.size() - have);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (full) bytes.append(probe, static_cast<std::size_t>(n));
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

// True when the file holds exactly these bytes. Read in small pieces: no copy of a large
// file is made just to find it unchanged.
bool readsAs(const OpenedFile& file, FileContent pieces) {
    char buffer[1 << 16];
    std::uint64_t offset = 0;
    for (std::string_view piece : pieces) {
        while (!piece.empty()) {
            const long long got = file.readAt(offset, buffer, std::min(sizeof buffer, piece.size()));
            if (got <= 0 || piece.compare(0, static_cast<std::size_t>(got),
                                          std::string_view(buffer, static_cast<std::size_t>(got))) != 0)
                return false;
            piece.remove_prefix(static_cast<std::size_t>(got));
            offset += static_cast<std::uint64_t>(got);
        }
    }
    return file.readAt(offset, buffer, 1) == 0;
}

std::string joined(FileContent pieces) {
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    return text;
}

// True when the two stamps tell of the same bytes: same size and last write. The
// status-change time is left out, since the swap itself moves it.
bool sameWrite(const FileStamp& a, const FileStamp& b) {
    return a.known && b.known && a.size == b.size && a.modified == b.modified;
}

// A file kept for the user beside the mod file, under a name a player sees and that no
// sweep of leftovers takes: "BotNames.AI.kept-2026-12-09-153000", "-2" after it if taken.
// The file's own name where it cannot be moved there.
fs::path keepBeside(const fs::path& target, const fs::path& file, const FileSystem& fs) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    char when[32] = "";
    if (const std::tm* local = std::localtime(&now)) std::strftime(when, sizeof when, "%Y-%m-%d-%H%M%S", local);
    fs::path name = target;
    name += std::string(".kept-") + when;
    for (int n = 2; n < 100 && fs.exists(name); ++n) {
        name = target;
        name += std::string(".kept-") + when + "-" + std::to_string(n);
    }
    return !fs.exists(name) && fs.move(file, name) == 0 ? name : file;
}

class Replacement {
public:
    Replacement(const ReplaceRequest& request, const FileSystem& system) : request_(request), fs_(system) {}

    ReplaceResult run() {
        if (!followNameAsAtLoad()) return std::move(result_);
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (!openOldFile() || !holdsBase() || !writeNewFileBeside()) return std::move(result_);
            if (changedSinceChecked()) {
                fs_.remove(temp_->path);
                continue;
            }
            if (!swapNewFileIn()) return std::move(result_);
            if (swappedOutFileHoldsWhatWasChecked()) {
                finish();
                return std::move(result_);
            }
            if (!putSwappedOutFileBack()) return std::move(result_);
        }
        changedElsewhere("another program kept changing it while it was saved");
        return std::move(result_);
    }

private:
    // Both end the replace; false, for the step to return.
    bool failed(std::string why) {
        result_.kind = ReplaceResult::Failed;
        result_.reason = std::move(why);
        return false;
    }
    bool changedElsewhere(std::string why) {
        result_.kind = ReplaceResult::ChangedElsewhere;
        result_.reason = std::move(why);
        return false;
    }

    // 1. The file the mod's name leads to now must be the one it led to when read. (Where
    // the system could not name the file it opened, the name it was found by.)
    bool followNameAsAtLoad() {
        target_ = request_.path;
        if (!request_.stamp.known || request_.stamp.resolved.empty()) return true;
        const std::optional<fs::path> now = fs_.whereItLeads(request_.path);
        if (!now) return failed("the file cannot be found any more");
        if (*now != request_.stamp.resolved)
            return changedElsewhere("another program pointed its link to another file");
        target_ = *now;
        return true;
    }

    // 2. Open, and note what the file is now.
    bool openOldFile() {
        Expected<std::unique_ptr<OpenedFile>> old = fs_.openOld(target_);
        if (!old) return failed(old.reason());
        old_ = std::move(*old);
        checked_ = old_->stamp();
        return true;
    }

    // 3. The stamp vouches for the bytes unless the file changed too shortly before it was
    // read; then, or when the stamp differs, the bytes themselves are compared. A file
    // another program changed is handed back as it is now, and nothing is written.
    bool holdsBase() {
        trustStamp_ = !request_.stamp.racy && checked_.sameAs(request_.stamp);
        if (trustStamp_ || readsAs(*old_, request_.base)) return true;
        std::optional<std::string> current = readAll(*old_, checked_.size);
        if (!current) return failed("it could not be read to compare it with what was loaded");
        result_.kind = ReplaceResult::Differs;
        FileStamp stamp = checked_;
        stamp.resolved = request_.stamp.resolved;  // the name must still lead where it led at load
        stamp.racy = true;                         // read just now: only its bytes vouch for it
        result_.found = FileBytes{request_.path, std::move(*current), std::move(stamp)};
        return false;
    }

    // 4. The new file, whole and flushed, beside the old one.
    bool writeNewFileBeside() {
        Expected<TempFile> temp = fs_.writeBeside(target_, old_.get(), request_.content);
        if (!temp) return failed(temp.reason());
        temp_ = std::move(*temp);
        return true;
    }

    // 5. Writing takes time: the old file is checked again just before the swap.
    bool changedSinceChecked() const { return !checked_.sameAs(old_->stamp()) || fs_.idAt(target_) != idOf(checked_); }

    // 6. The swap. Where it failed half-way, find out where the two files are before
    // touching either: the new one may now be the only copy of the mod's file.
    bool swapNewFileIn() {
        old_->releaseForSwap();
        backup_ = fs_.swappedOutName(*temp_);
        const int error = fs_.swap(target_, temp_->path, backup_);
        if (error == 0 || fs_.idAt(target_) == temp_->id) return true;
        const std::string reason = fs_.errorText(error);
        const FileId oldId = idOf(checked_);
        if (fs_.idAt(target_) == oldId) {
            fs_.remove(temp_->path);
            return failed(reason);
        }
        if (fs_.idAt(target_)) {
            // Some other file took its place meanwhile.
            fs_.remove(temp_->path);
            return changedElsewhere("another program replaced it while it was saved");
        }
        if (fs_.move(temp_->path, target_) == 0) return true;
        const bool oldKept = fs_.idAt(backup_) == oldId;
        if (oldKept && fs_.move(backup_, target_) == 0) {
            fs_.remove(temp_->path);
            return failed(reason);
        }
        std::string kept = "; the saved file is kept as " + keepBeside(target_, temp_->path, fs_).string();
        if (oldKept) kept += " and the old one as " + keepBeside(target_, backup_, fs_).string();
        return failed(reason + kept);
    }

    // 7. The file swapped out must be the one checked, still holding what was checked: a
    // rename-save of another program, or a change in place, that landed between the check
    // and the swap went there.
    bool swappedOutFileHoldsWhatWasChecked() {
        // The id first and alone: while another program's file is out, ours stands in its place.
        if (const auto out = fs_.idAt(backup_); out && *out != idOf(checked_)) return false;
        std::unique_ptr<OpenedFile> out = openIfReadable(fs_, backup_);
        // Where the system could not exchange the names, the old file is reachable only
        // through what was opened (if the system kept it open).
        const OpenedFile& swappedOut = out ? *out : *old_;
        const FileStamp stamp = swappedOut.stamp();
        if (!sameWrite(stamp, checked_)) return false;
        return trustStamp_ || readsAs(swappedOut, request_.base);
    }

    // 8. What was swapped out goes back, and the replace starts again from it; ours is
    // dropped, and the edits are still here. Only while the name holds our file as we
    // wrote it: once another program has saved over it or written into it, that write is
    // the newest and stays, and the file swapped out is older than it.
    bool putSwappedOutFileBack() {
        const std::optional<FileId> out = fs_.idAt(backup_);
        if (!out) return writeOldBytesBack();
        if (fs_.idAt(target_) != temp_->id) return dropSwappedOut();
        // The two files trade places until the one taken out holds nothing newer than it
        // did when last known here: one written into since (ours before the exchange, the
        // other one after it) is the newest, and goes back to the name.
        std::optional<Known> comingIn = know(backup_);
        std::optional<Known> taken = Known{temp_->id, joined(request_.content)};
        fs::path incoming = backup_, outgoing = temp_->path;
        if (fs_.swap(target_, incoming, outgoing) != 0) return keptAfterAll(backup_);
        for (int round = 0; round < 4 && !stillHolds(outgoing, taken); ++round) {
            std::optional<Known> nowOut = know(outgoing);
            if (fs_.swap(target_, outgoing, incoming) != 0) return keptAfterAll(outgoing);
            std::swap(incoming, outgoing);
            taken = std::move(comingIn);
            comingIn = std::move(nowOut);
        }
        return dropSwappedOut();
    }

    // A file as last seen here: which it is, and its bytes.
    struct Known {
        FileId id;
        std::string bytes;
    };
    std::optional<Known> know(const fs::path& at) const {
        const std::unique_ptr<OpenedFile> file = openIfReadable(fs_, at);
        if (!file) return std::nullopt;
        const FileStamp stamp = file->stamp();
        std::optional<std::string> bytes = readAll(*file, stamp.size);
        if (!bytes) return std::nullopt;
        return Known{idOf(stamp), std::move(*bytes)};
    }
    // True when that file is still at `at` as it was known. One not known, or that cannot be
    // read now, counts as unchanged: the older file is put back, as the check asked.
    bool stillHolds(const fs::path& at, const std::optional<Known>& known) const {
        const std::unique_ptr<OpenedFile> file = known ? openIfReadable(fs_, at) : nullptr;
        const std::string_view bytes = known ? std::string_view(known->bytes) : std::string_view();
        return !file || (idOf(file->stamp()) == known->id && readsAs(*file, FileContent(&bytes, 1)));
    }

    // Whatever this replace took out of the name is older than what stands there now.
    bool dropSwappedOut() {
        fs_.remove(temp_->path);
        if (backup_ != temp_->path) fs_.remove(backup_);
        return true;
    }

    bool keptAfterAll(const fs::path& theirs) {
        return failed("another program changed it while it was saved, and its change could not be put back; it is "
                      "kept as " +
                      keepBeside(target_, theirs, fs_).string());
    }

    // The old file was renamed over, but it is still open here: its bytes are written back.
    bool writeOldBytesBack() {
        if (auto theirs = readAll(*old_, old_->stamp().size)) {
            const std::string_view view = *theirs;
            if (replaceFileContents(target_, FileContent(&view, 1), fs_))
                return changedElsewhere("another program changed it while it was saved");
        }
        return failed("another program changed it while it was saved, and its change could not be put back");
    }

    void finish() {
        if (fs_.idAt(backup_) == idOf(checked_)) fs_.remove(backup_);
        fs_.settle(target_);
        std::unique_ptr<OpenedFile> written = temp_->open ? nullptr : openIfReadable(fs_, target_);
        result_.stamp = temp_->open ? temp_->open->stamp() : written ? written->stamp() : FileStamp{};
        result_.stamp.racy = true;  // just written: a change within the same tick would look the same
        result_.kind = ReplaceResult::Written;
    }

    const ReplaceRequest& request_;
    const FileSystem& fs_;
    ReplaceResult result_;
    fs::path target_;
    std::unique_ptr<OpenedFile> old_;
    FileStamp checked_;
    bool trustStamp_ = false;
    std::optional<TempFile> temp_;
    fs::path backup_;
};

}  // namespace

Expected<FileBytes> readModFile(const fs::path& path, const FileSystem& fs) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t start = fs.now();
        Expected<std::unique_ptr<OpenedFile>> file = fs.openToRead(path);
        if (!file) return Failure{file.reason()};
        const FileStamp before = (*file)->stamp();
        auto bytes = readAll(**file, before.size);
        if (!bytes) return Failure{"it could not be read to its end: " + fs.errorText(fs.lastError())};
        FileStamp after = (*file)->stamp();
        if (!before.sameAs(after) || bytes->size() != after.size) continue;
        after.racy = changedShortlyBefore(after, start);
        return FileBytes{path, std::move(*bytes), after};
    }
    return Failure{"it kept changing while it was read"};
}

ReplaceResult replaceModFile(const ReplaceRequest& request, const FileSystem& fs) {
    return Replacement(request, fs).run();
}

Expected<void> canReplace(const fs::path& target, const FileSystem& fs) {
    if (const Expected<std::unique_ptr<OpenedFile>> old = fs.openOld(target); !old) return Failure{old.reason()};
    return fs.canWriteBeside(target);
}

Expected<void> replaceFileContents(const fs::path& target, FileContent content, const FileSystem& fs) {
    if (fs.exists(target) && !fs.isFileOrDevice(target)) return Failure{"a folder stands where the file should be"};
    std::unique_ptr<OpenedFile> old = openIfReadable(fs, target);  // for its access, when there is one
    Expected<TempFile> temp = fs.writeBeside(target, old.get(), content);
    // Let go before the rename: Windows will not rename over a file that is open.
    old.reset();
    if (!temp) return Failure{temp.reason()};
    if (const int error = fs.move(temp->path, target); error != 0) {
        fs.remove(temp->path);
        return Failure{fs.errorText(error)};
    }
    fs.settle(target);
    return {};
}

Expected<void> replaceFileText(const fs::path& target, std::string_view bytes) {
    return replaceFileContents(target, FileContent(&bytes, 1));
}

}  // namespace tarsun
