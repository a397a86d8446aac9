#pragma once

// The editor's state for one run: which mod is open, what its four files hold and
// what the user has changed.
//
// Data flow: LoadModSettings (ModLoader.h) reads the four files whole into the
// documents below and finds where each editable value stands in them; the windows show
// and change the values only through this object; SaveModSettings (ModWriter.h) writes
// each ticked file back as its bytes with only the changed values replaced, and then
// adopts what it wrote as the new baseline.

#include "CodePage.h"
#include "FileStamp.h"
#include "TextLines.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

inline constexpr std::size_t ScoreCount = 68;
inline constexpr std::string_view BotNamePrefix = "aiSettings.addBotName ";
// The scoring file's header ends with its first "from qmr import" statement.
inline constexpr std::string_view ScoringHeaderModule = "qmr";

// The four mod files, in the order the loader checks them.
enum class ModFile { BotNames, ServerSettings, AIDefaults, Scoring };
inline constexpr std::array<ModFile, 4> AllModFiles{ModFile::BotNames, ModFile::ServerSettings,
                                                    ModFile::AIDefaults, ModFile::Scoring};

// The file's path below the mod folder, one component per entry.
std::vector<std::string_view> modFileComponents(ModFile file);
// The same joined with '/', for messages ("AI/BotNames.AI").
std::string modFileDisplayName(ModFile file);

// The six single-value settings, in the order the main window lists them.
enum class Setting { SoldierFF, VehicleFF, SoldierSplashFF, VehicleSplashFF, MaxBots, BotSkill };
inline constexpr std::size_t SettingCount = 6;
inline constexpr std::array<Setting, SettingCount> AllSettings{
    Setting::SoldierFF, Setting::VehicleFF, Setting::SoldierSplashFF,
    Setting::VehicleSplashFF, Setting::MaxBots, Setting::BotSkill};

struct SettingInfo {
    std::string_view command;  // e.g. "sv.soldierFriendlyFire"
    ModFile file;
    int minimum;
    int maximum;
    int fallback;       // shown when the file has no usable line for the setting
    bool percentOfOne;  // the file holds value / 100 (bot skill: 50 is written 0.5)
};
const SettingInfo& settingInfo(Setting setting);

// How a setting's shown value is written into its file ("50" for bot skill gives "0.5").
std::string settingValueText(Setting setting, int value);

struct ScoreEntry {
    std::size_t Index = 0;         // which of the 68 constants this entry stands for
    LineRef Line;                  // its last binding's lines in TextScoreB, the last line end excluded
    LineRef Value;                 // the value's whole text, without a comment or ';'
    std::int64_t SavedValue = 0;   // the value shown for what the file held when last read or written
    bool Literal = false;          // the file's value is one number literal, and SavedValue is exactly it
    bool Editable = true;          // a new value replaces Value and changes nothing else Python reads
    std::string NotEditableReason; // why not ("" when Editable)
    bool Edited = false;           // the user set a value, to be written on the next save
    std::string Text;              // the list entry: the line as the file holds it or will hold it
};

// One line of a setting in its file, and where its value stands in the document. An
// empty value marks where one goes on a line that has none.
struct SettingLine {
    LineRef Line;
    LineRef Value;
};

// A mod file as last read or written, bytes untouched.
struct ModDocument {
    std::filesystem::path Path;  // the file that was found (letter case as on disk)
    std::string Text;
    FileStamp Stamp;
};

// What the windows say of a constant they leave alone: "Not editable here: <why>."
std::string notEditableNote(const ScoreEntry& entry);

enum class NameProblem { None, ControlCharacter, NotEncodable, InvalidText };
// A short, user-facing description ("" for None).
std::string describe(NameProblem problem);

class EditorState {
public:
    EditorState();
    explicit EditorState(CodePage codePage);

    // Folders chosen at start-up. ModsFolder is the game folder with the mods folder
    // joined on; ModFolder is ModsFolder followed by the chosen mod's folder name.
    std::filesystem::path ModsFolder;
    std::filesystem::path ModFolder;

    ModDocument BotFile;

    std::array<std::string, ScoreCount> ScoreNames;
    std::array<std::int64_t, ScoreCount> ScoreValues{};
    // The list of constants found in the scoring file, in table order.
    std::vector<ScoreEntry> ListScores;

    ModDocument TextFF;       // server-settings file
    ModDocument TextAI;       // AI-defaults file
    std::string TextScoreA;   // scoring file up to and including its "from qmr import" statement
    ModDocument TextScoreB;   // the rest of the scoring file (Path is the scoring file's)

    // Where each setting's lines stand, in TextFF or TextAI.
    std::array<std::vector<SettingLine>, SettingCount> SettingLines;

    // The window-side bookkeeping the windows share.
    int EditIndex = 0;
    int EditMode = 0;   // -1 bot name, 0 score
    int DragStartX = 0;
    int DragStartY = 0;
    int Answer = 0;     // 6 Yes, 7 No

    void InitScoreNames();

    const CodePage& codePage() const { return codePage_; }

    // The six shown values. set clamps into the setting's range and returns what it kept.
    int setting(Setting s) const { return shown_[index(s)]; }
    int setSetting(Setting s, int value);
    // The value the file held (or was given) when last read or written.
    int savedSetting(Setting s) const { return saved_[index(s)]; }
    // What the file really holds when the control cannot show it as it stands (out of
    // range, not a number, a fraction, no line at all); "" when it shows it exactly.
    const std::string& settingNote(Setting s) const { return notes_[index(s)]; }

    // Bot names, one per declaring line of BotFile, in file order. A name is decoded from
    // the file when asked for, unless the user edited it.
    std::size_t botCount() const { return botLines_.size(); }
    std::string botName(std::size_t entry) const;
    LineRef botLine(std::size_t entry) const { return botLines_.at(entry); }
    // Checks a bot name as the user typed it (UTF-8) before it is accepted.
    NameProblem checkBotName(std::string_view name) const;
    // Stores an edited name; refuses (and changes nothing) when checkBotName does.
    NameProblem setBotName(std::size_t entry, std::string name);
    // The names that differ from what the file holds, by entry, in file order.
    const std::map<std::size_t, std::string>& editedBotNames() const { return editedBots_; }

    // Stores an edited value for ListScores entry `entry`, and its list text; an entry that
    // is not Editable stays as it is.
    void setScoreValue(std::size_t entry, std::int64_t value);

    // Used by the loader and the writer: take the given bytes as what the file holds
    // now, and find the values in them again.
    void adoptServerSettings(ModDocument doc);
    void adoptAIDefaults(ModDocument doc);
    void adoptScoring(ModDocument doc);
    void adoptBotNames(ModDocument doc);
    void adopt(ModFile file, ModDocument doc);
    // The whole scoring file as last read or written.
    std::string scoringText() const { return TextScoreA + TextScoreB.Text; }
    // The same after the writer replaced a file by the patched text: only the patched
    // lines changed, so the rest is moved rather than read again.
    void botNamesWritten(const TextPatch& patch, const FileStamp& stamp);
    void settingsWritten(ModFile file, const TextPatch& patch, const FileStamp& stamp);
    // A settings file as `read` adopted it (the writer's check of a merged text), now written
    // with this stamp: the same as adopting the text again, without reading it twice.
    void settingsFileTaken(ModFile file, EditorState&& read, const FileStamp& stamp);

private:
    static std::size_t index(Setting s) { return static_cast<std::size_t>(s); }
    void adoptSettingsFile(ModFile file, ModDocument doc);
    std::string scoreListText(const ScoreEntry& entry) const;

    CodePage codePage_;
    std::vector<LineRef> botLines_;
    std::map<std::size_t, std::string> editedBots_;
    std::array<int, SettingCount> shown_{};
    std::array<int, SettingCount> saved_{};
    std::array<std::string, SettingCount> notes_;
};

}  // namespace tarsun
