// The history of saves: one log per mod, named by a hash of its path, each save added to
// its end.

#include "SaveHistory.h"

#include "LineMerge.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

std::string utf8(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}
fs::path fromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string joined(FileContent pieces) {
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    return text;
}

std::optional<std::string> slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return bytes;
}

// A mod's saves, one after another in one file named by a hash of the mod's path: a save
// adds to it and makes no file, which is most of what a save costs the file system.
fs::path modLog(const fs::path& history, const fs::path& modFolder) {
    std::error_code ec;
    fs::path mod = fs::weakly_canonical(fs::absolute(modFolder, ec), ec);
    if (ec) mod = modFolder;
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (char c : utf8(mod)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char name[21];
    std::snprintf(name, sizeof name, "%016llx.log", static_cast<unsigned long long>(hash));
    return history / name;
}

// A save in the log: "tarsun-save NUMBER TIME LENGTH\n", LENGTH bytes of fields, "\n".
// A save cut off (the program stopped while adding it) ends the log where it began.
constexpr std::string_view SaveMark = "tarsun-save ";
constexpr std::size_t LongestHead = 80;

struct LogEntry {
    unsigned long number = 0;
    std::int64_t time = 0;
    std::uint64_t begin = 0, body = 0, end = 0;  // offsets in the log
};

// The decimal number that `text` starts with, up to `end` or the end of text; the rest of
// `text` is what follows `end`.
template <class Number> std::optional<Number> takeNumber(std::string_view& text, char end) {
    const std::size_t stop = std::min(text.find(end), text.size());
    Number value{};
    const auto [past, error] = std::from_chars(text.data(), text.data() + stop, value);
    if (stop == 0 || error != std::errc{} || past != text.data() + stop) return std::nullopt;
    text.remove_prefix(std::min(stop + 1, text.size()));
    return value;
}

// The entry whose head is at `at` in a log of `size` bytes, given the bytes from `at` on.
std::optional<LogEntry> entryAt(std::string_view from, std::uint64_t at, std::uint64_t size) {
    const std::size_t line = from.substr(0, LongestHead).find('\n');
    if (line == std::string_view::npos || !from.starts_with(SaveMark)) return std::nullopt;
    std::string_view head = from.substr(SaveMark.size(), line - SaveMark.size());
    const auto number = takeNumber<unsigned long>(head, ' ');
    const auto time = takeNumber<std::int64_t>(head, ' ');
    const auto length = takeNumber<std::uint64_t>(head, ' ');
    if (!number || !time || !length || !head.empty()) return std::nullopt;
    LogEntry entry{*number, *time};
    entry.begin = at;
    entry.body = at + line + 1;
    if (*length > size || entry.body + *length + 1 > size) return std::nullopt;
    entry.end = entry.body + *length + 1;
    return entry;
}

// The whole saves of a log, and where the last of them ends.
struct LogScan {
    std::vector<LogEntry> entries;
    std::uint64_t end = 0;
};
LogScan scanLog(std::istream& log, std::uint64_t size) {
    // Read a chunk at a time: a mod's saves are mostly small, so one read holds many heads.
    constexpr std::size_t Chunk = 64 * 1024;
    std::string chunk;
    std::uint64_t chunkAt = 0;
    auto bytesAt = [&](std::uint64_t at, std::size_t n) {
        if (at < chunkAt || std::min(at + n, size) > chunkAt + chunk.size()) {
            chunk.assign(std::max(n, Chunk), '\0');
            log.clear();
            log.seekg(static_cast<std::streamoff>(at));
            log.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.resize(static_cast<std::size_t>(std::max<std::streamsize>(log.gcount(), 0)));
            chunkAt = at;
        }
        const std::string_view held = chunk;
        return held.substr(std::min(static_cast<std::size_t>(at - chunkAt), held.size()), n);
    };
    LogScan scan;
    while (scan.end < size) {
        const std::optional<LogEntry> entry = entryAt(bytesAt(scan.end, LongestHead), scan.end, size);
        if (!entry || bytesAt(entry->end - 1, 1) != "\n") break;
        scan.entries.push_back(*entry);
        scan.end = entry->end;
    }
    return scan;
}

void addField(std::string& out, std::string_view key, std::string_view bytes) {
    out.append(key).append(" ").append(std::to_string(bytes.size())).append("\n").append(bytes).append("\n");
}

// The save's fields, as addField wrote them; nullopt where they do not hold together.
std::optional<SavedRecord> readFields(std::string_view body, const LogEntry& entry, bool withBytes) {
    SavedRecord record;
    record.number = entry.number;
    record.time = entry.time;
    while (!body.empty()) {
        const std::size_t space = body.find(' '), line = body.find('\n');
        if (space == std::string_view::npos || line == std::string_view::npos || space > line) return std::nullopt;
        const std::string_view key = body.substr(0, space);
        std::string_view rest = body.substr(space + 1);
        const std::optional<std::uint64_t> length = takeNumber<std::uint64_t>(rest, '\n');
        if (!length || *length >= rest.size() || rest[*length] != '\n') return std::nullopt;
        const std::string_view bytes = rest.substr(0, *length);
        body = rest.substr(*length + 1);
        if (key == "value") record.values.emplace_back(bytes);
        if (key == "file") record.files.push_back({std::string(bytes), {}, {}});
        if ((key == "before" || key == "after") && withBytes && !record.files.empty())
            (key == "before" ? record.files.back().before : record.files.back().after) = bytes;
    }
    return record;
}

bool tooOld(std::int64_t time, std::int64_t now) {
    return now - time > std::int64_t{HistoryDays} * 86400;
}

// The save's change as a patch of what it wrote: its differing lines given back what they
// held before, so that it can be carried over to a later version of the file.
TextPatch patchBack(std::string_view after, std::string_view before) {
    auto linesOf = [](std::string_view text) {
        std::vector<LineRef> lines;  // each with its line end
        forEachLine(text, [&](LineRef line, std::size_t end) { lines.push_back({line.begin, line.length + end}); });
        return lines;
    };
    const std::vector<LineRef> a = linesOf(after), b = linesOf(before);
    std::size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head].in(after) == b[head].in(before)) ++head;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail].in(after) == b[b.size() - 1 - tail].in(before))
        ++tail;
    const std::size_t aStart = head < a.size() ? a[head].begin : after.size();
    const std::size_t aEnd = tail < a.size() - head ? a[a.size() - tail - 1].end() : aStart;
    const std::size_t bStart = head < b.size() ? b[head].begin : before.size();
    const std::size_t bEnd = tail < b.size() - head ? b[b.size() - tail - 1].end() : bStart;
    return TextPatch({{LineRef{aStart, aEnd - aStart}, std::string(before.substr(bStart, bEnd - bStart))}});
}

}  // namespace

std::vector<std::string> editedValues(const EditorState& state, SaveGroups groups) {
    std::vector<std::string> lines;
    for (Setting s : AllSettings) {
        const bool ticked = settingInfo(s).file == ModFile::ServerSettings ? groups.FriendlyFire : groups.BotSettings;
        if (ticked && state.setting(s) != state.savedSetting(s))
            lines.push_back(std::string(settingInfo(s).command) + " " + std::to_string(state.savedSetting(s)) + " -> " +
                            std::to_string(state.setting(s)));
    }
    for (const ScoreEntry& entry : state.ListScores())
        if (groups.ScoreList && entry.Edited)
            lines.push_back(state.ScoreNames[entry.Index] + " " + std::to_string(entry.SavedValue) + " -> " +
                            std::to_string(state.ScoreValues[entry.Index]));
    if (groups.BotNames)
        for (const auto& [bot, name] : state.editedBotNames())
            lines.push_back("bot." + std::to_string(bot + 1) + " " +
                            state.codePage().decode(
                                state.BotFile.line(bot).in(state.BotFile.file().Text).substr(BotNamePrefix.size())) +
                            " -> " + name);
    return lines;
}

fs::path userHistoryFolder() {
#ifdef _WIN32
    auto variable = [](const wchar_t* name) -> fs::path {
        const wchar_t* value = _wgetenv(name);
        return value ? fs::path(value) : fs::path();
    };
    if (const wchar_t* set = _wgetenv(L"TARSUN_HISTORY_DIR")) return fs::path(set);
    const fs::path data = variable(L"LOCALAPPDATA");
    return data.empty() ? data : data / "TarsunEditor" / "history";
#else
    if (const char* set = std::getenv("TARSUN_HISTORY_DIR")) return fs::path(set);
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && fs::path(xdg).is_absolute())
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = fs::path(home) / ".local" / "share";
    return data.empty() ? data : data / "tarsun-editor" / "history";
#endif
}

FileReplacer SaveRecorder::wrap(FileReplacer inner) {
    return [this, inner = std::move(inner)](const ReplaceRequest& request) {
        ReplaceResult result = inner(request);
        // A replace writes only over its base: where another program changed the file,
        // the base of the request that was written is that program's text.
        if (result.kind == ReplaceResult::Written) {
            const fs::path below = request.path.lexically_relative(modFolder_);
            files_.push_back({utf8(below.empty() ? request.path : below), joined(request.base), joined(request.content)});
        }
        return result;
    };
}

Expected<void> SaveRecorder::commit(const fs::path& history) {
    if (files_.empty() || history.empty()) return {};
    std::error_code ec;
    fs::create_directories(history, ec);
    if (ec) return Failure{"the history folder " + utf8(history) + " cannot be made: " + ec.message()};
    const fs::path path = modLog(history, modFolder_);
    const Failure cannotKeep{"the save could not be kept in the history " + utf8(path)};
    // Made where missing, and only ever added to at its end.
    constexpr auto mode = std::ios::binary | std::ios::in | std::ios::out | std::ios::app;
    std::fstream log(path, mode);
    if (!log || !log.seekg(0, std::ios::end)) return cannotKeep;
    const auto size = static_cast<std::uint64_t>(static_cast<std::streamoff>(log.tellg()));
    LogScan scan = scanLog(log, size);
    // Whatever follows the last whole save is a save cut off: written over.
    if (scan.end < size) {
        log.close();
        fs::resize_file(path, scan.end, ec);
        log.open(path, mode);
        if (ec || !log) return cannotKeep;
    }

    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string body;
    addField(body, "mod", utf8(fs::absolute(modFolder_, ec)));
    for (const std::string& value : values_) addField(body, "value", value);
    for (const SavedFile& file : files_) {
        addField(body, "file", file.name);
        addField(body, "before", file.before);
        addField(body, "after", file.after);
    }
    const unsigned long number = scan.entries.empty() ? 1 : scan.entries.back().number + 1;
    // Not flushed to disk: the history is a help for undo, and must not double a save's cost.
    const std::string entry = std::string(SaveMark) + std::to_string(number) + " " + std::to_string(now) + " " +
                              std::to_string(body.size()) + "\n" + body + "\n";
    log.clear();
    log.write(entry.data(), static_cast<std::streamsize>(entry.size()));
    log.flush();
    if (!log) {
        log.close();
        fs::resize_file(path, scan.end, ec);
        return cannotKeep;
    }

    // Bounded: the newest saves, none too old. The log is written anew without the oldest
    // only once they are a fifth more than it keeps, or have grown too old, so that most
    // saves only add to it; what is read of it is bounded exactly.
    scan.entries.push_back({number, now, scan.end, 0, scan.end + entry.size()});
    std::size_t drop = 0;
    while (drop < scan.entries.size() &&
           (scan.entries.size() - drop > HistorySaves || tooOld(scan.entries[drop].time, now)))
        ++drop;
    if (drop > 0 && (scan.entries.size() > HistorySaves + HistorySaves / 5 || tooOld(scan.entries[0].time, now))) {
        const std::uint64_t from = scan.entries[drop].begin, to = scan.entries.back().end;
        std::string kept(static_cast<std::size_t>(to - from), '\0');
        log.clear();
        log.seekg(static_cast<std::streamoff>(from));
        log.read(kept.data(), static_cast<std::streamsize>(kept.size()));
        const bool read = static_cast<std::uint64_t>(std::max<std::streamsize>(log.gcount(), 0)) == kept.size();
        log.close();
        // The save is kept either way; the log only stays longer.
        const Expected<void> trimmed = read ? replaceFileText(path, kept) : Failure{"it could not be read back"};
        if (!trimmed) return Failure{"the history " + utf8(path) + " could not be trimmed: " + trimmed.reason()};
    }
    return {};
}

std::vector<SavedRecord> savedRecords(const fs::path& history, const fs::path& modFolder, bool withBytes) {
    std::vector<SavedRecord> records;
    if (history.empty()) return records;
    const std::optional<std::string> log = slurp(modLog(history, modFolder));
    if (!log) return records;
    std::istringstream in(*log);
    const std::vector<LogEntry> entries = scanLog(in, log->size()).entries;
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (std::size_t i = entries.size() > HistorySaves ? entries.size() - HistorySaves : 0; i < entries.size(); ++i) {
        const LogEntry& entry = entries[i];
        if (tooOld(entry.time, now)) continue;
        const std::string_view body = std::string_view(*log).substr(entry.body, entry.end - 1 - entry.body);
        if (auto record = readFields(body, entry, withBytes)) records.push_back(std::move(*record));
    }
    return records;
}

UndoResult undoSave(const fs::path& history, const fs::path& modFolder, unsigned long number, const FileSystem& fs) {
    UndoResult result;
    std::optional<SavedRecord> record;
    for (SavedRecord& r : savedRecords(history, modFolder, true))
        if (r.number == number) record = std::move(r);
    if (!record) return result;
    result.found = true;

    struct Step {
        std::string name;
        FileBytes current;
        std::string content;
    };
    std::vector<Step> steps;
    for (const SavedFile& file : record->files) {
        Expected<FileBytes> current = readModFile(modFolder / fromUtf8(file.name), fs);
        if (!current) {
            result.refused.push_back({file.name, current.reason()});
            continue;
        }
        if (current->Text == file.before) {
            result.unchanged.push_back(file.name);
            continue;
        }
        std::string content = file.before;
        if (current->Text != file.after) {
            Merge merge = rebasePatch(file.after, current->Text, patchBack(file.after, file.before));
            if (!merge.text) {
                result.refused.push_back({file.name, "another program changed it since that save, " + merge.refusal});
                continue;
            }
            content = std::move(*merge.text);
        }
        if (const Expected<void> replaceable = canReplace(current->target(), fs); !replaceable) {
            result.refused.push_back({file.name, replaceable.reason()});
            continue;
        }
        steps.push_back({file.name, std::move(*current), std::move(content)});
    }
    if (!result.refused.empty()) return result;

    SaveRecorder recorder(modFolder);
    recorder.value("undo of save " + std::to_string(number));
    const FileReplacer replace = recorder.wrap([&](const ReplaceRequest& r) { return replaceModFile(r, fs); });
    for (const Step& step : steps) {
        const std::string_view base = step.current.Text, content = step.content;
        const ReplaceResult replaced =
            replace({step.current.Path, step.current.Stamp, FileContent(&base, 1), FileContent(&content, 1)});
        if (replaced.kind == ReplaceResult::Written)
            result.restored.push_back(step.name);
        else if (replaced.kind == ReplaceResult::Differs)
            result.refused.push_back({step.name, "another program changed it while it was undone"});
        else
            result.refused.push_back({step.name, replaced.reason});
    }
    if (const Expected<void> kept = recorder.commit(history); !kept) result.historyProblem = kept.reason();
    return result;
}

}  // namespace tarsun
