#include "ModWriter.h"


namespace tarsun {

namespace {

// The lines of one settings file whose shown value differs from what the file holds.
TextPatch settingsPatch(const EditorState& state, ModFile file) {
    std::vector<TextPatch::Edit> edits;
    std::string appended;
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        if (info.file != file || state.setting(s) == state.savedSetting(s)) continue;
        std::string line = std::string(info.command) + " " + settingValueText(s, state.setting(s));
        const auto& lines = state.SettingLines[static_cast<std::size_t>(s)];
        if (lines.empty()) appended += line + "\r\n";
        for (const LineRef& ref : lines) edits.push_back({ref, line});
    }
    return TextPatch(std::move(edits), std::move(appended));
}

}  // namespace

SaveResult SaveModSettings(EditorState& state, SaveGroups groups) {
    return SaveModSettings(state, groups, replaceFileContents);
}

SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileReplacer& replace) {
    SaveResult result;
    for (const auto* path : {&state.BotFile.Path, &state.TextFF.Path, &state.TextAI.Path, &state.TextScoreB.Path}) {
        if (!FileExists(*path)) result.missingFile = true;
    }
    if (result.missingFile) return result;

    // Writes the new content and, once it is on disk, lets the state take it as the file's.
    auto write = [&](ModFile file, const std::filesystem::path& path, const std::vector<std::string_view>& content,
                     auto adopt) {
        std::string error = replace(path, content);
        if (error.empty()) adopt();
        else result.failures.push_back({file, path, error});
    };

    if (groups.BotNames) {
        std::vector<TextPatch::Edit> edits;
        std::string problem;
        for (std::size_t i : state.editedBotNames()) {
            const BotNameEntry& bot = state.BotNames[i];
            // setBotName checked it already; a name put into the state some other way is not trusted.
            if (state.checkBotName(bot.Name) != NameProblem::None) {
                problem = "bot name " + std::to_string(i + 1) + " holds a character the file cannot store";
                break;
            }
            edits.push_back({bot.Line, std::string(BotNamePrefix) + *state.codePage().encode(bot.Name)});
        }
        TextPatch patch(std::move(edits));
        if (!problem.empty()) {
            result.failures.push_back({ModFile::BotNames, state.BotFile.Path, problem});
        } else if (!patch.empty()) {
            write(ModFile::BotNames, state.BotFile.Path, patch.pieces(state.BotFile.Text),
                  [&] { state.botNamesWritten(patch); });
        }
    }

    for (ModFile file : {ModFile::ServerSettings, ModFile::AIDefaults}) {
        bool ticked = file == ModFile::ServerSettings ? groups.FriendlyFire : groups.BotSettings;
        const ModDocument& doc = file == ModFile::ServerSettings ? state.TextFF : state.TextAI;
        TextPatch patch = settingsPatch(state, file);
        if (!ticked || patch.empty()) continue;
        write(file, doc.Path, patch.pieces(doc.Text), [&] { state.settingsWritten(file, patch); });
    }

    if (groups.ScoreList) {
        std::vector<TextPatch::Edit> edits;
        for (const ScoreEntry& e : state.ListScores) {
            std::int64_t value = state.ScoreValues[e.Index];
            if (value != e.SavedValue) edits.push_back({e.Value, std::to_string(value)});
        }
        TextPatch patch(std::move(edits));
        if (!patch.empty()) {
            std::filesystem::path path = state.TextScoreB.Path;
            std::vector<std::string_view> content = patch.pieces(state.TextScoreB.Text);
            content.insert(content.begin(), state.TextScoreA);
            // The scoring file is small: taken back whole, its constants are found afresh.
            write(ModFile::Scoring, path, content, [&] {
                std::string body = state.TextScoreB.Text;
                patch.applyInPlace(body);
                state.adoptScoring(path, state.TextScoreA + body);
            });
        }
    }
    return result;
}

}  // namespace tarsun
