#include "EditorState.h"

#include <algorithm>
#include <utility>

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

std::vector<std::string> EditorState::takeChangedFile(ModFile file, FileBytes current) {
    std::vector<std::string> theirs;
    if (file == ModFile::BotNames) {
        struct Kept { std::size_t entry; std::string was, mine; };
        std::vector<Kept> kept;
        for (const auto& [entry, name] : editedBotNames()) kept.push_back({entry, BotFile.savedName(entry), name});
        BotFile.adopt(std::move(current));
        for (const Kept& k : kept) {
            if (k.entry < BotFile.count() && BotFile.savedName(k.entry) == k.was)
                BotFile.setName(k.entry, k.mine);
            else
                theirs.push_back("bot name " + std::to_string(k.entry + 1));
        }
        return theirs;
    }
    if (file == ModFile::Scoring) {
        struct Kept { std::size_t index; std::string was; std::int64_t mine; };
        std::vector<Kept> kept;
        for (const ScoreEntry& e : ListScores())
            if (e.Edited) kept.push_back({e.Index, std::string(TextScore.valueText(e)), ScoreValues[e.Index]});
        adopt(file, std::move(current));
        for (const Kept& k : kept) {
            bool taken = false;
            for (std::size_t at = 0; at < ListScores().size() && !taken; ++at) {
                const ScoreEntry& e = ListScores()[at];
                if (e.Index != k.index || !e.Editable || TextScore.valueText(e) != k.was) continue;
                setScoreValue(at, k.mine);
                taken = true;
            }
            if (!taken) theirs.push_back(ScoreNames[k.index]);
        }
        return theirs;
    }
    const SettingValues mine = shown_;
    SettingValues was{};
    for (Setting s : AllSettings) was[slotOf(s)] = savedSetting(s);
    adopt(file, std::move(current));
    for (Setting s : AllSettings) {
        if (settingInfo(s).file != file || mine[slotOf(s)] == was[slotOf(s)]) continue;
        if (savedSetting(s) == was[slotOf(s)])
            shown_[slotOf(s)] = mine[slotOf(s)];
        else
            theirs.emplace_back(settingInfo(s).command);
    }
    return theirs;
}

void EditorState::showSaved(ModFile file) {
    if (file == ModFile::Scoring) {
        for (const ScoreEntry& e : ListScores()) ScoreValues[e.Index] = e.SavedValue;
        return;
    }
    for (Setting s : AllSettings)
        if (settingInfo(s).file == file) shown_[slotOf(s)] = savedSetting(s);
}

const ModDocument& EditorState::document(ModFile file) const {
    switch (file) {
    case ModFile::BotNames: return BotFile;
    case ModFile::ServerSettings: return TextFF;
    case ModFile::AIDefaults: return TextAI;
    case ModFile::Scoring: break;
    }
    return TextScore;
}

ModDocument& EditorState::document(ModFile file) {
    return const_cast<ModDocument&>(std::as_const(*this).document(file));
}

}  // namespace tarsun
