#include "ModWriter.h"

#include "LineMerge.h"
#include "SaveHistory.h"

#include <new>
#include <optional>

namespace tarsun {

namespace {

// One file's save: the document's edits as a patch of its bytes go through the replace
// protocol, and the document adopts what was written. When another program changed the
// file, the patch is carried over to its text, which becomes a document of its own kind
// to check against `whyEditsFail`; written, that document takes this one's place, and
// the function returns true.
template <class Document, class WhyEditsFail, class AdoptPatched>
bool saveDocument(ModFile file, Document& doc, const TextPatch& patch, WhyEditsFail whyEditsFail,
                  AdoptPatched adoptPatched, const FileReplacer& replace, SaveResult& result) {
    if (patch.empty()) return false;
    const FileBytes& bytes = doc.file();
    try {
        const std::string_view base = bytes.Text;
        const std::vector<std::string_view> content = patch.pieces(base);
        std::optional<Document> merged;
        ReplaceRequest request{bytes.Path, bytes.Stamp, FileContent(&base, 1), content, {}};
        request.rebase = [&](std::string_view current) -> Rebased {
            Merge merge = rebasePatch(base, current, patch);
            if (!merge.text) return {std::nullopt, merge.refusal};
            merged.emplace(doc.blank());
            merged->adopt(FileBytes{bytes.Path, std::move(*merge.text), {}});
            std::string why = whyEditsFail(*merged);
            if (!why.empty()) return {std::nullopt, why};
            return {merged->file().Text, {}};
        };
        ReplaceResult replaced = replace(request);
        if (replaced.kind != ReplaceResult::Written) {
            result.failures.push_back(
                {file, bytes.Path, replaced.reason, replaced.kind == ReplaceResult::ChangedElsewhere});
        } else if (replaced.rebased) {
            merged->stamped(replaced.stamp);
            doc = std::move(*merged);
            return true;
        } else {
            adoptPatched(replaced.stamp);
        }
    } catch (const std::bad_alloc&) {
        result.failures.push_back({file, bytes.Path, "there is not enough memory to save it", false});
    }
    return false;
}

// The save's own judgement of a changed file (saveDocument's rebase), without writing.
template <class Document, class WhyEditsFail>
ChangedFileOutlook judgeDocument(const Document& doc, const TextPatch& patch, std::string_view current,
                                 WhyEditsFail whyEditsFail) {
    ChangedFileOutlook outlook;
    if (patch.empty()) return outlook;
    outlook.edits = true;
    Merge merge = rebasePatch(doc.file().Text, current, patch);
    if (!merge.text) {
        outlook.refusal = merge.refusal;
        return outlook;
    }
    Document merged = doc.blank();
    merged.adopt(FileBytes{doc.file().Path, std::move(*merge.text), {}});
    outlook.refusal = whyEditsFail(merged);
    outlook.merges = outlook.refusal.empty();
    return outlook;
}

}  // namespace

ChangedFileOutlook judgeChangedFile(const EditorState& state, ModFile file, std::string_view current) {
    switch (file) {
    case ModFile::BotNames: {
        std::string problem;
        const TextPatch patch = state.BotFile.edits(problem);
        return judgeDocument(state.BotFile, patch, current, [](const BotNamesDocument&) { return std::string(); });
    }
    case ModFile::ServerSettings:
    case ModFile::AIDefaults: {
        const SettingsDocument& doc = file == ModFile::ServerSettings ? state.TextFF : state.TextAI;
        const SettingValues& shown = state.settings();
        return judgeDocument(doc, doc.edits(shown), current,
                             [&](const SettingsDocument& merged) { return doc.whyEditsFailIn(merged, shown); });
    }
    case ModFile::Scoring: break;
    }
    return judgeDocument(state.TextScore, state.TextScore.edits(state.ScoreValues), current,
                         [&](const ScoringDocument& merged) {
                             return state.TextScore.whyEditsFailIn(merged, state.ScoreValues);
                         });
}

static SaveResult saveGroups(EditorState& state, SaveGroups groups, const FileReplacer& replace);

SaveResult SaveModSettings(EditorState& state, SaveGroups groups) {
    return SaveModSettings(state, groups, [](const ReplaceRequest& r) { return replaceModFile(r); });
}

SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileReplacer& replace) {
    if (state.HistoryFolder.empty()) return saveGroups(state, groups, replace);
    SaveRecorder recorder(state.ModFolder);
    for (std::string& line : editedValues(state, groups)) recorder.value(std::move(line));
    SaveResult result = saveGroups(state, groups, recorder.wrap(replace));
    result.historyProblem = recorder.commit(state.HistoryFolder);
    return result;
}

static SaveResult saveGroups(EditorState& state, SaveGroups groups, const FileReplacer& replace) {
    SaveResult result;
    const std::array<const FileBytes*, 4> files{&state.BotFile.file(), &state.TextFF.file(), &state.TextAI.file(),
                                                &state.TextScore.file()};
    for (const FileBytes* file : files) {
        if (!FileExists(file->Path)) result.missingFile = true;
    }
    if (result.missingFile) return result;
    std::vector<std::filesystem::path> paths;
    for (const FileBytes* file : files) paths.push_back(file->Stamp.known ? file->Stamp.resolved : file->Path);
    removeLeftoverTemporaries(paths);

    if (groups.BotNames) {
        std::string problem;
        const TextPatch patch = state.BotFile.edits(problem);
        if (!problem.empty()) {
            result.failures.push_back({ModFile::BotNames, state.BotFile.file().Path, problem, false});
        } else {
            saveDocument(
                ModFile::BotNames, state.BotFile, patch, [](const BotNamesDocument&) { return std::string(); },
                [&](const FileStamp& stamp) { state.BotFile.written(patch, stamp); }, replace, result);
        }
    }

    for (ModFile file : {ModFile::ServerSettings, ModFile::AIDefaults}) {
        if (!(file == ModFile::ServerSettings ? groups.FriendlyFire : groups.BotSettings)) continue;
        SettingsDocument& doc = state.settingsFile(file);
        const SettingValues& shown = state.settings();
        const TextPatch patch = doc.edits(shown);
        const bool merged = saveDocument(
            file, doc, patch, [&](const SettingsDocument& merged) { return doc.whyEditsFailIn(merged, shown); },
            [&](const FileStamp& stamp) { doc.written(patch, stamp, shown); }, replace, result);
        if (merged) state.showSaved(file);
    }

    if (groups.ScoreList) {
        const TextPatch patch = state.TextScore.edits(state.ScoreValues);
        const bool merged = saveDocument(
            ModFile::Scoring, state.TextScore, patch,
            [&](const ScoringDocument& merged) { return state.TextScore.whyEditsFailIn(merged, state.ScoreValues); },
            [&](const FileStamp& stamp) { state.TextScore.written(patch, stamp); }, replace, result);
        if (merged) state.showSaved(ModFile::Scoring);
    }
    return result;
}

}  // namespace tarsun
