#pragma once

// The fixed facts of a mod: its four files, the six settings and where they stand, and
// the names of the 68 scoring constants.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

inline constexpr std::size_t ScoreCount = 68;
inline constexpr std::string_view BotNamePrefix = "aiSettings.addBotName ";
// The scoring file's header ends with its first "from qmr import" statement.
inline constexpr std::string_view ScoringHeaderModule = "qmr";

// The constants' names, in table order.
std::string_view scoreName(std::size_t table);

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

// The values the windows show, by setting and by constant.
using SettingValues = std::array<int, SettingCount>;
using ScoreTable = std::array<std::int64_t, ScoreCount>;

inline std::size_t slotOf(Setting s) { return static_cast<std::size_t>(s); }

}  // namespace tarsun
