#pragma once

// The values by the names the mod files give them, with the ranges and refusals of the
// windows' controls: what a program that sets values by name (rather than by control)
// needs from the state.

#include "EditorState.h"
#include "Expected.h"
#include "ModWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarsun {

// The value editor's span for a constant; one the file already holds beyond it widens it.
inline constexpr std::int64_t ScoreMinimum = -200;
inline constexpr std::int64_t ScoreMaximum = 200;
// The longest bot name the name field takes, in characters.
inline constexpr int BotNameLength = 256;

struct ValueRange {
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
};
// The span the value editor offers for a constant that now holds `value`.
ValueRange scoreRange(std::int64_t value);

// A setting by its command ("sv.soldierFriendlyFire"), a constant by its Python name
// ("SCORE_KILL"), or a bot name as "bot.N", N counted from 1 in file order.
struct NamedValue {
    enum Kind { SettingValue, ScoreValue, BotName } kind = SettingValue;
    Setting setting = Setting::SoldierFF;  // SettingValue
    std::size_t entry = 0;                 // ScoreValue: in ListScores; BotName: the bot's entry
    ModFile file = ModFile::ServerSettings;
};
// The value of that name in the loaded state, or why there is none (an unknown name, a
// constant the file does not assign, a bot beyond the last).
Expected<NamedValue> findNamedValue(const EditorState& state, std::string_view name);

// The value as the editor shows it; a constant that is not one number literal gives its
// text as the file holds it.
std::string namedValueText(const EditorState& state, const NamedValue& value);

// Sets the value from text as the windows would take it from their controls: a whole number
// in the control's range, a bot name the files can store, a constant that can be edited.
// When it cannot be set, says why and changes nothing; messages leave the name to the caller.
Expected<void> setNamedValue(EditorState& state, const NamedValue& value, std::string_view text);

// The groups that hold a value changed since the files were read.
SaveGroups groupsWithEdits(const EditorState& state);

// The value's word on the setting's last line, as the file holds it; nullopt without a line.
std::optional<std::string> settingFileText(const EditorState& state, Setting setting);

}  // namespace tarsun
