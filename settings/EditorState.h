#pragma once

// The editor's state for one run: which mod is open, its four files as documents, and
// the values the windows show.
//
// Data flow: LoadModSettings (ModLoader.h) reads the four files whole and each document
// finds where its values stand; the windows show and change the values only through this
// object; SaveModSettings (ModWriter.h) has each ticked document turn its edits into a
// patch of its own bytes, replaces the file with the result, and the document adopts
// what was written as its new baseline.

#include "BotNamesDocument.h"
#include "CodePage.h"
#include "FileBytes.h"
#include "ModTables.h"
#include "ScoringDocument.h"
#include "SettingsDocument.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

class EditorState {
public:
    EditorState();
    explicit EditorState(CodePage codePage);

    // Folders chosen at start-up. ModsFolder is the game folder with the mods folder
    // joined on; ModFolder is ModsFolder followed by the chosen mod's folder name.
    std::filesystem::path ModsFolder;
    std::filesystem::path ModFolder;
    // Where each save is kept for undo (SaveHistory.h); empty: saves are not kept.
    std::filesystem::path HistoryFolder;

    // The four files.
    BotNamesDocument BotFile;
    SettingsDocument TextFF;  // server-settings file
    SettingsDocument TextAI;  // AI-defaults file
    ScoringDocument TextScore;
    // One of the four, as the save sees it.
    ModDocument& document(ModFile file);
    const ModDocument& document(ModFile file) const;
    // The bytes read of one of the four files.
    const FileBytes& fileBytes(ModFile file) const { return document(file).file(); }
    // What the windows show, for the documents to write.
    ShownValues shown() const { return {shown_, ScoreValues}; }

    std::array<std::string, ScoreCount> ScoreNames;
    // The constants' shown values, by table index.
    ScoreTable ScoreValues{};
    // The constants found in the scoring file, in table order.
    const std::vector<ScoreEntry>& ListScores() const { return TextScore.entries(); }

    // The window-side bookkeeping the windows share.
    int EditIndex = 0;
    int EditMode = 0;   // -1 bot name, 0 score
    int DragStartX = 0;
    int DragStartY = 0;
    int Answer = 0;     // 6 Yes, 7 No

    void InitScoreNames();

    const CodePage& codePage() const { return codePage_; }

    // The six shown values. set clamps into the setting's range and returns what it kept.
    int setting(Setting s) const { return shown_[slotOf(s)]; }
    const SettingValues& settings() const { return shown_; }
    int setSetting(Setting s, int value);
    // The document that holds a setting, and what it holds.
    const SettingsDocument& settingsFile(Setting s) const;
    SettingsDocument& settingsFile(ModFile file) { return file == ModFile::ServerSettings ? TextFF : TextAI; }
    int savedSetting(Setting s) const { return settingsFile(s).saved(s); }
    const std::string& settingNote(Setting s) const { return settingsFile(s).note(s); }
    const std::vector<SettingLine>& settingLines(Setting s) const { return settingsFile(s).lines(s); }

    // Bot names, one per declaring line of BotFile, in file order.
    std::size_t botCount() const { return BotFile.count(); }
    std::string botName(std::size_t entry) const { return BotFile.name(entry); }
    LineRef botLine(std::size_t entry) const { return BotFile.line(entry); }
    NameProblem checkBotName(std::string_view name) const { return BotFile.check(name); }
    NameProblem setBotName(std::size_t entry, std::string name) { return BotFile.setName(entry, std::move(name)); }
    const std::map<std::size_t, std::string>& editedBotNames() const { return BotFile.edited(); }

    // Stores an edited value for ListScores entry `entry`, and its list text; an entry that
    // is not Editable stays as it is.
    void setScoreValue(std::size_t entry, std::int64_t value);
    // Drops the edit of ListScores entry `entry`: it shows what the file holds again.
    void revertScore(std::size_t entry);

    // For a file another program changed that a save refused: takes `current` as what the
    // file holds, and keeps each of the user's edits in it whose value the other program
    // left as it was, for the next save to write. Returns what was taken from the other
    // program instead (a setting's command, a constant's name, "bot name N").
    std::vector<std::string> takeChangedFile(ModFile file, FileBytes current);

    // Takes the given bytes as what the file holds now; the shown values become its values.
    void adopt(ModFile file, FileBytes bytes);
    // A document has taken what was written or read: the values shown become what it holds.
    void showSaved(ModFile file);

private:
    CodePage codePage_;
    SettingValues shown_{};
};

}  // namespace tarsun
