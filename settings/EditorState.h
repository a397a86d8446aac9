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
#include "TextLines.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

inline constexpr std::size_t ScoreCount = 68;
inline constexpr std::string_view BotNamePrefix = "aiSettings.addBotName ";
inline constexpr std::string_view ScoringHeaderEnd = "from qmr i";

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

struct BotNameEntry {
    LineRef Line;      // the declaring line in BotFile.Text, without its line end
    std::string Name;  // the name as shown and edited (UTF-8); change it through setBotName
};

struct ScoreEntry {
    std::size_t Index = 0;         // which of the 68 constants this entry stands for
    LineRef Line;                  // in TextScoreB, without the line end
    LineRef Value;                 // the value's text within that line
    std::int64_t SavedValue = 0;   // the value the file held when last read or written
    std::string Text;              // the list entry: the line as the file holds it or will hold it
};

// A mod file as last read or written, bytes untouched.
struct ModDocument {
    std::filesystem::path Path;  // the file that was found (letter case as on disk)
    std::string Text;
};

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

    // Bot names, one entry per declaring line, in file order.
    std::vector<BotNameEntry> BotNames;
    ModDocument BotFile;

    std::array<std::string, ScoreCount> ScoreNames;
    std::array<std::int64_t, ScoreCount> ScoreValues{};
    // The list of constants found in the scoring file, in table order.
    std::vector<ScoreEntry> ListScores;

    ModDocument TextFF;       // server-settings file
    ModDocument TextAI;       // AI-defaults file
    std::string TextScoreA;   // scoring file up to and including its "from qmr i" line
    ModDocument TextScoreB;   // the rest of the scoring file (Path is the scoring file's)

    // Where each setting's lines stand, in TextFF or TextAI.
    std::array<std::vector<LineRef>, SettingCount> SettingLines;

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

    // Checks a bot name as the user typed it (UTF-8) before it is accepted.
    NameProblem checkBotName(std::string_view name) const;
    // Stores an edited name; refuses (and changes nothing) when checkBotName does.
    NameProblem setBotName(std::size_t entry, std::string name);
    // The entries whose name differs from what the file holds, in file order.
    const std::set<std::size_t>& editedBotNames() const { return editedBots_; }

    // Stores an edited value for ListScores entry `entry`, and its list text.
    void setScoreValue(std::size_t entry, std::int64_t value);

    // True when some value differs from what its file holds.
    bool hasUnsavedChanges() const;

    // Used by the loader and the writer: take the given bytes as what the file holds
    // now, and find the values in them again.
    void adoptServerSettings(ModDocument doc);
    void adoptAIDefaults(ModDocument doc);
    void adoptScoring(std::filesystem::path path, std::string_view bytes);
    void adoptBotNames(ModDocument doc);
    // The same after the writer replaced a file by the patched text: only the patched
    // lines changed, so the rest is moved rather than read again.
    void botNamesWritten(const TextPatch& patch);
    void settingsWritten(ModFile file, const TextPatch& patch);

private:
    static std::size_t index(Setting s) { return static_cast<std::size_t>(s); }
    void adoptSettingsFile(ModFile file, ModDocument doc);
    std::string scoreListText(const ScoreEntry& entry) const;

    CodePage codePage_;
    std::set<std::size_t> editedBots_;
    std::array<int, SettingCount> shown_{};
    std::array<int, SettingCount> saved_{};
};

}  // namespace tarsun
