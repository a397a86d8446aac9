#include "ModWriter.h"

#include "LineMerge.h"

#include <algorithm>
#include <new>

namespace tarsun {

namespace {

// The lines of one settings file whose shown value differs from what the file holds:
// each gets the new value in place of its old one, and everything else on it stays.
TextPatch settingsPatch(const EditorState& state, ModFile file) {
    std::vector<TextPatch::Edit> edits;
    std::string appended;
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        if (info.file != file || state.setting(s) == state.savedSetting(s)) continue;
        const std::string value = settingValueText(s, state.setting(s));
        const auto& lines = state.SettingLines[static_cast<std::size_t>(s)];
        if (lines.empty()) appended += std::string(info.command) + " " + value + "\r\n";
        const std::string_view text = file == ModFile::ServerSettings ? state.TextFF.Text : state.TextAI.Text;
        for (const SettingLine& line : lines) {
            // A line with no value gets one, a blank after the command when there is none.
            const bool bare = line.Value.length == 0 && line.Value.begin == line.Line.begin + info.command.size() &&
                              (line.Value.begin >= text.size() || text[line.Value.begin] != ' ');
            edits.push_back({line.Value, bare ? " " + value : value});
        }
    }
    return TextPatch(std::move(edits), std::move(appended));
}

TextPatch scorePatch(const EditorState& state) {
    std::vector<TextPatch::Edit> edits;
    for (const ScoreEntry& e : state.ListScores)
        if (e.Edited) edits.push_back({e.Value, std::to_string(state.ScoreValues[e.Index])});
    return TextPatch(std::move(edits));
}

TextPatch botNamesPatch(const EditorState& state, std::string& problem) {
    std::vector<TextPatch::Edit> edits;
    for (const auto& [entry, name] : state.editedBotNames()) {
        auto bytes = state.codePage().encode(name);
        if (!bytes) {
            problem = "bot name " + std::to_string(entry + 1) + " holds a character the file cannot store";
            return TextPatch({});
        }
        edits.push_back({state.botLine(entry), std::string(BotNamePrefix) + *bytes});
    }
    return TextPatch(std::move(edits));
}

// Why a value the user edited in this file does not hold, as the game reads it, in the text
// a merge made ("" when all hold): another program may have set the same value again
// further down, or added a line of its own for a setting that had none, as the edit did.
// `fresh` holds the merged text as read.
std::string whyEditsFailIn(const EditorState& state, ModFile file, const EditorState& fresh) {
    const std::string setAgain = "and set a value you edited again";
    if (file == ModFile::Scoring) {
        for (const ScoreEntry& e : state.ListScores) {
            if (!e.Edited) continue;
            auto it = std::find_if(fresh.ListScores.begin(), fresh.ListScores.end(),
                                   [&](const ScoreEntry& f) { return f.Index == e.Index; });
            if (it == fresh.ListScores.end() || !it->Literal || it->SavedValue != state.ScoreValues[e.Index])
                return setAgain;
        }
        return {};
    }
    for (Setting s : AllSettings) {
        if (settingInfo(s).file != file || state.setting(s) == state.savedSetting(s)) continue;
        const std::size_t lines = fresh.SettingLines[static_cast<std::size_t>(s)].size();
        if (state.SettingLines[static_cast<std::size_t>(s)].empty() && lines > 1)
            return "and added a line of its own for a setting you edited";
        if (fresh.setting(s) != state.setting(s)) return setAgain;
    }
    return {};
}

}  // namespace

SaveResult SaveModSettings(EditorState& state, SaveGroups groups) {
    return SaveModSettings(state, groups, [](const ReplaceRequest& r) { return replaceModFile(r); });
}

SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileReplacer& replace) {
    SaveResult result;
    const std::array<const ModDocument*, 4> docs{&state.BotFile, &state.TextFF, &state.TextAI, &state.TextScoreB};
    for (const ModDocument* doc : docs) {
        if (!FileExists(doc->Path)) result.missingFile = true;
    }
    if (result.missingFile) return result;
    std::vector<std::filesystem::path> paths;
    for (const ModDocument* doc : docs) paths.push_back(doc->Stamp.known ? doc->Stamp.resolved : doc->Path);
    removeLeftoverTemporaries(paths);

    // The edits carried over to what another program wrote, when they still hold there;
    // `read` keeps the merged text as read, for the state to take once it is written.
    auto checkedRebase = [&](ModFile file, std::string_view base, std::string_view current, const TextPatch& patch,
                             std::optional<EditorState>& read) -> Merge {
        Merge merged = rebasePatch(base, current, patch);
        if (merged.text && file != ModFile::BotNames) {
            read.emplace(state.codePage());
            read->adopt(file, ModDocument{{}, *merged.text, {}});
            merged.refusal = whyEditsFailIn(state, file, *read);
        }
        if (!merged.refusal.empty()) merged.text.reset();
        return merged;
    };

    // Writes one file. The state takes what was written as the file's bytes: the patched
    // text, or, where another program had changed the file, the file as rebased.
    auto write = [&](ModFile file, const ModDocument& doc, std::string_view base, std::string_view head,
                     const TextPatch& patch, auto adoptPatched) {
        try {
            std::vector<std::string_view> content = patch.pieces(doc.Text);
            content.insert(content.begin(), head);
            const std::array<std::string_view, 2> baseParts{head, base};
            ReplaceRequest request{doc.Path, doc.Stamp, baseParts, content, {}};
            std::optional<EditorState> read;
            request.rebase = [&](std::string_view current) -> Merge {
                if (head.empty()) return checkedRebase(file, base, current, patch, read);
                // Only the scoring file has a head, and it is small: joined, and the edits moved past it.
                std::vector<TextPatch::Edit> edits = patch.edits();
                for (auto& e : edits) e.span.begin += head.size();
                return checkedRebase(file, std::string(head) + std::string(base), current,
                                     TextPatch(std::move(edits), patch.appended()), read);
            };
            ReplaceResult replaced = replace(request);
            if (replaced.kind != ReplaceResult::Written) {
                result.failures.push_back({file, doc.Path, replaced.reason, replaced.kind == ReplaceResult::ChangedElsewhere});
            } else if (replaced.rebased && read && file != ModFile::Scoring) {
                state.settingsFileTaken(file, std::move(*read), replaced.stamp);
            } else if (replaced.rebased) {
                state.adopt(file, ModDocument{doc.Path, std::move(*replaced.rebased), replaced.stamp});
            } else {
                adoptPatched(replaced.stamp);
            }
        } catch (const std::bad_alloc&) {
            result.failures.push_back({file, doc.Path, "there is not enough memory to save it", false});
        }
    };

    if (groups.BotNames) {
        std::string problem;
        TextPatch patch = botNamesPatch(state, problem);
        if (!problem.empty()) {
            result.failures.push_back({ModFile::BotNames, state.BotFile.Path, problem, false});
        } else if (!patch.empty()) {
            write(ModFile::BotNames, state.BotFile, state.BotFile.Text, {}, patch,
                  [&](const FileStamp& stamp) { state.botNamesWritten(patch, stamp); });
        }
    }

    for (ModFile file : {ModFile::ServerSettings, ModFile::AIDefaults}) {
        bool ticked = file == ModFile::ServerSettings ? groups.FriendlyFire : groups.BotSettings;
        const ModDocument& doc = file == ModFile::ServerSettings ? state.TextFF : state.TextAI;
        TextPatch patch = settingsPatch(state, file);
        if (!ticked || patch.empty()) continue;
        write(file, doc, doc.Text, {}, patch, [&](const FileStamp& stamp) { state.settingsWritten(file, patch, stamp); });
    }

    if (groups.ScoreList) {
        TextPatch patch = scorePatch(state);
        if (!patch.empty()) {
            const std::string head = state.TextScoreA;
            write(ModFile::Scoring, state.TextScoreB, state.TextScoreB.Text, head, patch, [&](const FileStamp& stamp) {
                // The scoring file is small: taken back whole, its constants are found afresh.
                std::string body = state.TextScoreB.Text;
                patch.applyInPlace(body);
                state.adoptScoring(ModDocument{state.TextScoreB.Path, head + body, stamp});
            });
        }
    }
    return result;
}

}  // namespace tarsun
