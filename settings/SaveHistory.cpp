// The history of saves: one folder per mod (named by a hash of its path), one folder per
// save in it, numbered, with an "info" file written last: a save without one is
// unfinished and passed over.

#include "SaveHistory.h"

#include "LineMerge.h"

#include <algorithm>
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
// Not flushed to disk: the history is a help for undo, and must not double a save's cost.
bool spill(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

fs::path modHistory(const fs::path& history, const fs::path& modFolder) {
    std::error_code ec;
    fs::path mod = fs::weakly_canonical(fs::absolute(modFolder, ec), ec);
    if (ec) mod = modFolder;
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (char c : utf8(mod)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return history / name;
}

std::string numberName(unsigned long number) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lu", number);
    return name;
}

// The saves' numbers, finished or not, in order.
std::vector<unsigned long> numbersIn(const fs::path& folder) {
    std::vector<unsigned long> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && name.size() <= 9 && std::all_of(name.begin(), name.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            numbers.push_back(std::stoul(name));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::optional<SavedRecord> readRecord(const fs::path& entry, unsigned long number, bool withBytes) {
    const std::optional<std::string> info = slurp(entry / "info");
    if (!info) return std::nullopt;
    SavedRecord record;
    record.number = number;
    std::istringstream lines(*info);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space), rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "time") record.time = std::atoll(rest.c_str());
        if (key == "file") record.files.push_back({rest, {}, {}});
        if (key == "value") record.values.push_back(rest);
    }
    for (std::size_t i = 0; withBytes && i < record.files.size(); ++i) {
        auto before = slurp(entry / (std::to_string(i) + ".before")), after = slurp(entry / (std::to_string(i) + ".after"));
        if (!before || !after) return std::nullopt;
        record.files[i].before = std::move(*before);
        record.files[i].after = std::move(*after);
    }
    return record;
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
    const fs::path folder = modHistory(history, modFolder_);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return Failure{"the history folder " + utf8(folder) + " cannot be made: " + ec.message()};
    std::error_code absent;
    if (!fs::exists(folder / "mod", absent)) spill(folder / "mod", utf8(fs::absolute(modFolder_, absent)) + "\n");
    std::vector<unsigned long> numbers = numbersIn(folder);
    const unsigned long number = numbers.empty() ? 1 : numbers.back() + 1;
    const fs::path entry = folder / numberName(number);
    fs::create_directory(entry, ec);
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string info = "time " + std::to_string(now) + "\n";
    bool kept = !ec;
    for (std::size_t i = 0; kept && i < files_.size(); ++i) {
        info += "file " + files_[i].name + "\n";
        kept = spill(entry / (std::to_string(i) + ".before"), files_[i].before) &&
               spill(entry / (std::to_string(i) + ".after"), files_[i].after);
    }
    for (const std::string& value : values_) info += "value " + value + "\n";
    if (!kept || !spill(entry / "info", info)) {
        fs::remove_all(entry, ec);
        return Failure{"the save could not be kept in the history " + utf8(folder)};
    }
    // Bounded: the newest saves, none too old.
    numbers.push_back(number);
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
        const fs::path old = folder / numberName(numbers[i]);
        const std::optional<SavedRecord> record = readRecord(old, numbers[i], false);
        const bool tooOld = !record || now - record->time > std::int64_t{HistoryDays} * 86400;
        if (i + HistorySaves < numbers.size() || tooOld) fs::remove_all(old, ec);
    }
    return {};
}

std::vector<SavedRecord> savedRecords(const fs::path& history, const fs::path& modFolder, bool withBytes) {
    std::vector<SavedRecord> records;
    if (history.empty()) return records;
    const fs::path folder = modHistory(history, modFolder);
    for (unsigned long number : numbersIn(folder))
        if (auto record = readRecord(folder / numberName(number), number, withBytes)) records.push_back(std::move(*record));
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
