#include "ModWriter.h"

#include <algorithm>

namespace tarsun {

namespace {

struct Edit {
    LineRef span;
    std::string text;
};

// The text with each span replaced; spans are sorted and do not overlap.
std::string applyEdits(std::string_view text, const std::vector<Edit>& edits, std::string_view appended = {}) {
    std::size_t size = text.size() + appended.size();
    for (const Edit& e : edits) size += e.text.size();
    std::string out;
    out.reserve(size);
    std::size_t pos = 0;
    for (const Edit& e : edits) {
        out.append(text, pos, e.span.begin - pos);
        out += e.text;
        pos = e.span.end();
    }
    out.append(text, pos, text.size() - pos);
    if (!appended.empty() && endsWithoutLineEnd(text)) out += "\r\n";
    out += appended;
    return out;
}

// The settings of one file whose shown value differs from what the file holds.
std::string settingsFileText(const EditorState& state, ModFile file, const ModDocument& doc, bool& changed) {
    std::vector<Edit> edits;
    std::string appended;
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        if (info.file != file || state.setting(s) == state.savedSetting(s)) continue;
        std::string line = std::string(info.command) + " " + settingValueText(s, state.setting(s));
        const auto& lines = state.SettingLines[static_cast<std::size_t>(s)];
        if (lines.empty()) appended += line + "\r\n";
        for (const LineRef& ref : lines) edits.push_back({ref, line});
    }
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.span.begin < b.span.begin; });
    changed = !edits.empty() || !appended.empty();
    return changed ? applyEdits(doc.Text, edits, appended) : std::string();
}

// Takes the written bot-name file as read, the same as adoptBotNames would from its bytes
// but without a second pass over a file that can be large: only the edited lines
// changed, each still declares its bot, and every later line moved by the same amount.
// `edits` are in the order of state.BotNames, one per edited entry.
void adoptEditedBotNames(EditorState& state, const std::vector<Edit>& edits, std::string bytes) {
    std::size_t added = 0;    // bytes the edits so far added
    std::size_t removed = 0;  // and removed
    auto edit = edits.begin();
    for (BotNameEntry& bot : state.BotNames) {
        bool edited = edit != edits.end() && edit->span.begin == bot.Line.begin;
        bot.Line.begin = bot.Line.begin + added - removed;
        if (!edited) continue;
        added += edit->text.size();
        removed += edit->span.length;
        bot.Line.length = edit->text.size();
        // What reading the line back gives, should the code page not round-trip the name.
        bot.Name = state.codePage().decode(std::string_view(edit->text).substr(BotNamePrefix.size()));
        bot.SavedName = bot.Name;
        ++edit;
    }
    state.BotFile.Text = std::move(bytes);
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

    // Writes the new bytes and, once they are on disk, takes them as the file's content.
    auto write = [&](ModFile file, const std::filesystem::path& path, std::string bytes, auto adopt) {
        std::string error = replace(path, bytes);
        if (error.empty()) adopt(std::move(bytes));
        else result.failures.push_back({file, path, error});
    };

    if (groups.BotNames) {
        std::vector<Edit> edits;
        std::string problem;
        for (std::size_t i = 0; i < state.BotNames.size(); ++i) {
            const BotNameEntry& bot = state.BotNames[i];
            if (bot.Name == bot.SavedName) continue;
            auto encoded = state.codePage().encode(bot.Name);
            if (!encoded || state.checkBotName(bot.Name) != NameProblem::None) {
                problem = "bot name " + std::to_string(i + 1) + " holds a character the file cannot store";
                break;
            }
            edits.push_back({bot.Line, std::string(BotNamePrefix) + *encoded});
        }
        if (!problem.empty()) {
            result.failures.push_back({ModFile::BotNames, state.BotFile.Path, problem});
        } else if (!edits.empty()) {
            write(ModFile::BotNames, state.BotFile.Path, applyEdits(state.BotFile.Text, edits),
                  [&](std::string bytes) { adoptEditedBotNames(state, edits, std::move(bytes)); });
        }
    }

    bool changed = false;
    if (groups.FriendlyFire) {
        std::string bytes = settingsFileText(state, ModFile::ServerSettings, state.TextFF, changed);
        if (changed) {
            write(ModFile::ServerSettings, state.TextFF.Path, std::move(bytes),
                  [&](std::string b) { state.adoptServerSettings({state.TextFF.Path, std::move(b)}); });
        }
    }

    if (groups.BotSettings) {
        std::string bytes = settingsFileText(state, ModFile::AIDefaults, state.TextAI, changed);
        if (changed) {
            write(ModFile::AIDefaults, state.TextAI.Path, std::move(bytes),
                  [&](std::string b) { state.adoptAIDefaults({state.TextAI.Path, std::move(b)}); });
        }
    }

    if (groups.ScoreList) {
        std::vector<Edit> edits;
        for (const ScoreEntry& e : state.ListScores) {
            std::int64_t value = state.ScoreValues[e.Index];
            if (value != e.SavedValue) edits.push_back({e.Value, std::to_string(value)});
        }
        std::sort(edits.begin(), edits.end(),
                  [](const Edit& a, const Edit& b) { return a.span.begin < b.span.begin; });
        if (!edits.empty()) {
            std::string bytes = state.TextScoreA + applyEdits(state.TextScoreB.Text, edits);
            std::filesystem::path path = state.TextScoreB.Path;
            write(ModFile::Scoring, path, std::move(bytes),
                  [&](std::string b) { state.adoptScoring(path, b); });
        }
    }
    return result;
}

}  // namespace tarsun
