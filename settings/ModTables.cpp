#include "ModTables.h"

namespace tarsun {

namespace {

constexpr std::array<std::string_view, ScoreCount> scoreNameTable{
    "SCORE_KILL", "SCORE_TEAMKILL", "SCORE_SUICIDE", "SCORE_REVIVE", "SCORE_HEAL", "SCORE_RESUPPLY",
    "SCORE_REPAIR", "SCORE_STRATEGIC", "SCORE_STRATEGICREPAIR", "SCORE_EMP", "SCORE_DAMAGETITAN",
    "SCORE_DESTROYTITANWEAPON", "SCORE_REPAIRTITANWEAPON", "SCORE_DESTROYTITANPART",
    "SCORE_REPAIRTITANPART", "SCORE_DESTROYTITANCORE", "SCORE_REPAIRTITANCORE",
    "SCORE_DESTROYGROUNDCANNON", "SCORE_REPAIRGROUNDCANNON", "SCORE_DESTROYMISSILE", "SCORE_TEAMDAMAGE",
    "SCORE_TEAMVEHICLEDAMAGE", "SCORE_DESTROYREMOTECONTROLLED", "SCORE_DESTROYVEHICLESHIELD",
    "SCORE_DESTROYIFVVEHICLE", "SCORE_DROP", "SCORE_TITANATTACKBONUS", "SCORE_TITANDEFENDBONUS",
    "SCORE_MAX_SQUADORDER", "SCORE_SO_REVIVE", "SCORE_SO_HEAL", "SCORE_SO_REPAIR", "SCORE_SO_REAMMO",
    "SCORE_SO_KILL", "SCORE_SO_PICKUP", "SCORE_SO_DROP", "SCORE_SM_REVIVE", "SCORE_SM_HEAL",
    "SCORE_SM_REPAIR", "SCORE_SM_REAMMO", "SCORE_SM_DROP", "SCORE_SM_KILLASSIST_DRIVER",
    "SCORE_SM_KILLASSIST_PASSENGER", "SCORE_SM_KILLASSIST_TARGETER", "SCORE_SM_KILLASSIST_DAMAGE",
    "SCORE_KILLASSIST_DRIVER", "SCORE_KILLASSIST_PASSENGER", "SCORE_KILLASSIST_TARGETER",
    "SCORE_KILLASSIST_DAMAGE", "TITAN_BONUSSCOREDIST", "TITAN_HORISONTAL_DROPDIST",
    "TITAN_VERTICAL_DROPDIST", "TITAN_HORISONTAL_SPAWNDIST", "TITAN_VERTICAL_SPAWNDIST",
    "TITAN_ENTER_DISTANCE", "REPAIR_POINT_LIMIT", "HEAL_POINT_LIMIT", "GIVEAMMO_POINT_LIMIT",
    "TEAMDAMAGE_POINT_LIMIT", "TEAMVEHICLEDAMAGE_POINT_LIMIT", "REPLENISH_POINT_MIN_INTERVAL",
    "SQUADLEADER_BONUS_MOD", "COMMANDER_BONUS_MOD", "AWAY_BONUS_MOD", "TITAN_WEAPONS_DESTROY_LIMIT",
    "TITAN_WEAPONS_REPAIR_LIMIT", "TITAN_WEAPONS_TIME_LIMIT", "MAX_EMP_TIME"};

constexpr std::array<SettingInfo, SettingCount> settingTable{{
    {"sv.soldierFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"sv.vehicleFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"sv.soldierSplashFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"sv.vehicleSplashFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"aiSettings.setMaxNBots", ModFile::AIDefaults, 1, 256, 16, false},
    {"aiSettings.setBotSkill", ModFile::AIDefaults, 0, 100, 50, true},
}};

}  // namespace

std::string_view scoreName(std::size_t table) { return scoreNameTable.at(table); }

std::vector<std::string_view> modFileComponents(ModFile file) {
    switch (file) {
    case ModFile::BotNames: return {"AI", "BotNames.AI"};
    case ModFile::ServerSettings: return {"Settings", "ServerSettings.CON"};
    case ModFile::AIDefaults: return {"AI", "AIDefault.AI"};
    case ModFile::Scoring: return {"python", "game", "scoringCommon.py"};
    }
    return {};
}

std::string modFileDisplayName(ModFile file) {
    std::string name;
    for (auto part : modFileComponents(file)) {
        if (!name.empty()) name += '/';
        name += part;
    }
    return name;
}

const SettingInfo& settingInfo(Setting setting) { return settingTable[slotOf(setting)]; }

std::string settingValueText(Setting setting, int value) {
    if (!settingInfo(setting).percentOfOne) return std::to_string(value);
    // value / 100 as a plain decimal: 50 -> 0.5, 7 -> 0.07, 100 -> 1, 0 -> 0.
    std::string text = std::to_string(value / 100);
    int hundredths = value % 100;
    if (hundredths != 0) {
        text += '.';
        text += static_cast<char>('0' + hundredths / 10);
        if (hundredths % 10 != 0) text += static_cast<char>('0' + hundredths % 10);
    }
    return text;
}

}  // namespace tarsun
