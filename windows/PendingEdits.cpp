#include "PendingEdits.h"

#include "EditorState.h"

namespace tarsun {

namespace {

const QString Arrow = QStringLiteral(" \u2192 ");

QString settingLine(const EditorState& state, Setting s) {
    return settingName(s) + ": " + QString::number(state.savedSetting(s)) + Arrow + QString::number(state.setting(s));
}

}  // namespace

QString groupName(SaveGroup group) {
    switch (group) {
    case SaveGroup::FriendlyFire: return QStringLiteral("friendly fire");
    case SaveGroup::ScoreList: return QStringLiteral("score list");
    case SaveGroup::BotSettings: return QStringLiteral("max bots & bot skill");
    case SaveGroup::BotNames: break;
    }
    return QStringLiteral("bot names");
}

QString settingName(Setting setting) {
    switch (setting) {
    case Setting::SoldierFF: return QStringLiteral("Soldier Friendly Damage");
    case Setting::VehicleFF: return QStringLiteral("Vehicle Friendly Damage");
    case Setting::SoldierSplashFF: return QStringLiteral("Soldier Splash Damage");
    case Setting::VehicleSplashFF: return QStringLiteral("Vehicle Splash Damage");
    case Setting::MaxBots: return QStringLiteral("Max Bots");
    case Setting::BotSkill: break;
    }
    return QStringLiteral("Bot Skill");
}

QStringList pendingEdits(const EditorState& state, SaveGroup group) {
    QStringList lines;
    switch (group) {
    case SaveGroup::FriendlyFire:
    case SaveGroup::BotSettings:
        for (Setting s : AllSettings) {
            const bool inGroup = (settingInfo(s).file == ModFile::ServerSettings) == (group == SaveGroup::FriendlyFire);
            if (inGroup && state.setting(s) != state.savedSetting(s)) lines << settingLine(state, s);
        }
        break;
    case SaveGroup::ScoreList:
        for (const ScoreEntry& e : state.ListScores()) {
            if (!e.Edited) continue;
            const QString held = QString::fromStdString(state.codePage().decode(state.TextScore.valueText(e)));
            lines << QString::fromStdString(state.ScoreNames[e.Index]) + ": " + held.simplified() + Arrow +
                         QString::number(state.ScoreValues[e.Index]);
        }
        break;
    case SaveGroup::BotNames:
        for (const auto& [entry, name] : state.editedBotNames())
            lines << QStringLiteral("Row %1: %2").arg(entry + 1).arg(QString::fromStdString(state.BotFile.savedName(entry))) +
                         Arrow + QString::fromStdString(name);
        break;
    }
    return lines;
}

QString unsavedGroups(const EditorState& state) {
    QStringList groups;
    for (SaveGroup g : AllSaveGroups)
        if (!pendingEdits(state, g).isEmpty()) groups << groupName(g);
    return groups.isEmpty() ? QString() : QStringLiteral("Unsaved: ") + groups.join(QStringLiteral(", "));
}

QString wasNote(const QString& saved) { return QStringLiteral("was ") + saved; }

}  // namespace tarsun
