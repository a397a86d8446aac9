#pragma once

// The edits the next save would write, group by group, as the windows tell them: the
// exit question names the groups that hold some, the main window marks each edited value
// and the save window's boxes list what each group will write.

#include <QString>
#include <QStringList>

#include <array>

namespace tarsun {

class EditorState;
enum class Setting;

// The save window's four groups, in its order.
enum class SaveGroup { FriendlyFire, ScoreList, BotSettings, BotNames };
inline constexpr std::array<SaveGroup, 4> AllSaveGroups{SaveGroup::FriendlyFire, SaveGroup::ScoreList,
                                                        SaveGroup::BotSettings, SaveGroup::BotNames};

// "friendly fire", "score list", "max bots & bot skill", "bot names".
QString groupName(SaveGroup group);
// The setting's caption without its colon ("Bot Skill").
QString settingName(Setting setting);

// One line per edit of the group, "Bot Skill: 70 \u2192 66", bot names by row.
QStringList pendingEdits(const EditorState& state, SaveGroup group);
// "Unsaved: score list, bot names"; "" when nothing is unsaved.
QString unsavedGroups(const EditorState& state);

// What a marked value or row says of what it held: "was 2".
QString wasNote(const QString& saved);

}  // namespace tarsun
