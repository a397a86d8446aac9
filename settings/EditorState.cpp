#include "EditorState.h"

#include <algorithm>

namespace tarsun {

EditorState::EditorState() : EditorState(CodePage::system()) {}

EditorState::EditorState(CodePage codePage)
    : BotFile(codePage), TextFF(ModFile::ServerSettings, codePage), TextAI(ModFile::AIDefaults, codePage),
      TextScore(codePage), codePage_(codePage) {}

void EditorState::InitScoreNames() {
    for (std::size_t i = 0; i < ScoreCount; ++i) ScoreNames[i] = std::string(scoreName(i));
}

const SettingsDocument& EditorState::settingsFile(Setting s) const {
    return settingInfo(s).file == ModFile::ServerSettings ? TextFF : TextAI;
}

int EditorState::setSetting(Setting s, int value) {
    const SettingInfo& info = settingInfo(s);
    shown_[slotOf(s)] = std::clamp(value, info.minimum, info.maximum);
    return shown_[slotOf(s)];
}

void EditorState::setScoreValue(std::size_t entry, std::int64_t value) {
    if (TextScore.edit(entry, value)) ScoreValues[ListScores()[entry].Index] = value;
}

void EditorState::revertScore(std::size_t entry) {
    TextScore.revert(entry);
    ScoreValues[ListScores()[entry].Index] = ListScores()[entry].SavedValue;
}

void EditorState::adopt(ModFile file, FileBytes bytes) {
    switch (file) {
    case ModFile::BotNames: BotFile.adopt(std::move(bytes)); break;
    case ModFile::ServerSettings: TextFF.adopt(std::move(bytes)); break;
    case ModFile::AIDefaults: TextAI.adopt(std::move(bytes)); break;
    case ModFile::Scoring: TextScore.adopt(std::move(bytes)); break;
    }
    showSaved(file);
}

void EditorState::showSaved(ModFile file) {
    if (file == ModFile::Scoring) {
        for (const ScoreEntry& e : ListScores()) ScoreValues[e.Index] = e.SavedValue;
        return;
    }
    for (Setting s : AllSettings)
        if (settingInfo(s).file == file) shown_[slotOf(s)] = savedSetting(s);
}

}  // namespace tarsun
