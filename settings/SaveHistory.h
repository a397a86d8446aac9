#pragma once

// Every save kept for undo, in a history of the user's own outside the mod (the game would
// read extra files inside it): for each file a save replaced, what it held before and
// after. Bounded: the newest HistorySaves saves per mod, none older than HistoryDays days.

#include "Expected.h"
#include "FileSystem.h"
#include "ModWriter.h"
#include "ReplaceProtocol.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarsun {

inline constexpr std::size_t HistorySaves = 50;
inline constexpr int HistoryDays = 90;

// The user's history folder: TARSUN_HISTORY_DIR where set (empty: no history), else the
// per-user application data folder (XDG_DATA_HOME or ~/.local/share, %LOCALAPPDATA% on
// Windows) with "tarsun-editor/history" below it; empty when none can be found.
std::filesystem::path userHistoryFolder();

struct SavedFile {
    std::string name;  // below the mod folder, '/' between components ("AI/BotNames.AI")
    std::string before, after;
};
struct SavedRecord {
    unsigned long number = 0;  // counted from 1 for each mod, never reused
    std::int64_t time = 0;     // seconds since 1970, UTC
    std::vector<SavedFile> files;
    std::vector<std::string> values;  // "SCORE_KILL 2 -> 5", where the saver said
};

// The edits a save of these groups writes, for the history: "sv.soldierFriendlyFire 75 -> 40",
// "SCORE_KILL 2 -> 5", "bot.2 Bravo -> Zoe" (names in UTF-8).
std::vector<std::string> editedValues(const EditorState& state, SaveGroups groups);

// One mod's save as it goes: the replacer it hands out notes each file written.
class SaveRecorder {
public:
    explicit SaveRecorder(std::filesystem::path modFolder) : modFolder_(std::move(modFolder)) {}
    FileReplacer wrap(FileReplacer inner);
    void value(std::string line) { values_.push_back(std::move(line)); }
    // Keeps the save in the history (when it wrote any file) and trims the history, or
    // says why not. The save itself stands either way.
    Expected<void> commit(const std::filesystem::path& history);

private:
    std::filesystem::path modFolder_;
    std::vector<SavedFile> files_;
    std::vector<std::string> values_;
};

// The mod's saves, oldest first (the files' bytes left out unless withBytes).
std::vector<SavedRecord> savedRecords(const std::filesystem::path& history, const std::filesystem::path& modFolder,
                                      bool withBytes = false);

// Puts the files of save `number` back as they were before it, through the replace
// protocol: a file changed since is merged (when the change keeps clear of the save's
// lines) or the whole undo refused, never overwritten. Every file is prepared and checked
// before the first is written. The undo is itself kept as a save.
struct UndoResult {
    bool found = false;
    std::vector<std::string> restored, unchanged;          // file names
    std::vector<std::pair<std::string, std::string>> refused;  // file name, why
    std::string historyProblem;  // why the undo itself could not be kept ("" when it was)
};
UndoResult undoSave(const std::filesystem::path& history, const std::filesystem::path& modFolder,
                    unsigned long number, const FileSystem& fs = systemFileSystem());

}  // namespace tarsun
