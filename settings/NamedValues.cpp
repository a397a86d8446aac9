#include "NamedValues.h"

#include <algorithm>
#include <charconv>

namespace tarsun {

namespace {

// A whole number as a control holds one: digits with an optional sign, nothing else.
std::optional<std::int64_t> wholeNumber(std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string outside(std::string_view text, std::int64_t minimum, std::int64_t maximum) {
    return std::string(text) + " is outside its range, " + std::to_string(minimum) + " to " + std::to_string(maximum);
}

std::size_t characterCount(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

ValueRange scoreRange(std::int64_t value) {
    return {std::min(ScoreMinimum, value), std::max(ScoreMaximum, value)};
}

Expected<NamedValue> findNamedValue(const EditorState& state, std::string_view name) {
    for (Setting s : AllSettings) {
        if (settingInfo(s).command == name) return NamedValue{NamedValue::SettingValue, s, 0, settingInfo(s).file};
    }
    const auto known = std::find(state.ScoreNames.begin(), state.ScoreNames.end(), name);
    if (known != state.ScoreNames.end()) {
        const auto table = static_cast<std::size_t>(known - state.ScoreNames.begin());
        if (const ScoreEntry* entry = state.TextScore.entryOf(table)) {
            const auto row = static_cast<std::size_t>(entry - state.ListScores().data());
            return NamedValue{NamedValue::ScoreValue, {}, row, ModFile::Scoring};
        }
        return Failure{"the file assigns it no value"};
    }
    if (name.starts_with("bot.")) {
        auto number = wholeNumber(name.substr(4));
        if (number && *number >= 1 && static_cast<std::uint64_t>(*number) <= state.botCount())
            return NamedValue{NamedValue::BotName, {}, static_cast<std::size_t>(*number - 1), ModFile::BotNames};
        return Failure{"the file names " + std::to_string(state.botCount()) + " bots"};
    }
    return Failure{"no setting, constant or bot has this name"};
}

std::string namedValueText(const EditorState& state, const NamedValue& value) {
    switch (value.kind) {
    case NamedValue::SettingValue: return std::to_string(state.setting(value.setting));
    case NamedValue::BotName: return state.botName(value.entry);
    case NamedValue::ScoreValue: break;
    }
    const ScoreEntry& entry = state.ListScores().at(value.entry);
    if (entry.Literal || entry.Edited) return std::to_string(state.ScoreValues[entry.Index]);
    return state.codePage().decode(state.TextScore.valueText(entry));
}

Expected<void> setNamedValue(EditorState& state, const NamedValue& value, std::string_view text) {
    if (value.kind == NamedValue::BotName) {
        if (characterCount(text) > static_cast<std::size_t>(BotNameLength))
            return Failure{"a bot name holds at most " + std::to_string(BotNameLength) + " characters"};
        NameProblem problem = state.setBotName(value.entry, std::string(text));
        if (problem != NameProblem::None) return Failure{describe(problem)};
        return {};
    }
    const std::string quoted = '"' + std::string(text) + '"';
    const std::optional<std::int64_t> number = wholeNumber(text);
    if (value.kind == NamedValue::SettingValue) {
        const SettingInfo& info = settingInfo(value.setting);
        if (!number) return Failure{quoted + " is not a whole number"};
        if (*number < info.minimum || *number > info.maximum) return Failure{outside(text, info.minimum, info.maximum)};
        state.setSetting(value.setting, static_cast<int>(*number));
        return {};
    }
    const ScoreEntry& entry = state.ListScores().at(value.entry);
    if (!entry.Editable) return Failure{"cannot be edited here: " + entry.NotEditableReason};
    if (!number) return Failure{quoted + " is not a whole number"};
    const ValueRange range = scoreRange(state.ScoreValues[entry.Index]);
    if (*number < range.minimum || *number > range.maximum) return Failure{outside(text, range.minimum, range.maximum)};
    state.setScoreValue(value.entry, *number);
    return {};
}

SaveGroups groupsWithEdits(const EditorState& state) {
    auto changed = [&](std::initializer_list<Setting> settings) {
        return std::any_of(settings.begin(), settings.end(),
                           [&](Setting s) { return state.setting(s) != state.savedSetting(s); });
    };
    return SaveGroups{
        changed({Setting::SoldierFF, Setting::VehicleFF, Setting::SoldierSplashFF, Setting::VehicleSplashFF}),
        std::any_of(state.ListScores().begin(), state.ListScores().end(), [](const ScoreEntry& e) { return e.Edited; }),
        changed({Setting::MaxBots, Setting::BotSkill}), !state.editedBotNames().empty()};
}

std::optional<std::string> settingFileText(const EditorState& state, Setting setting) {
    const auto& lines = state.settingLines(setting);
    if (lines.empty()) return std::nullopt;
    return state.codePage().decode(lines.back().Value.in(state.settingsFile(setting).file().Text));
}

}  // namespace tarsun
