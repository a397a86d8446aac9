// A save, top to bottom: for each ticked file, the document's edits as a patch, the
// replace, and the document taking in what was written. Where another program changed
// the file, the replace hands back what it holds; the patch is carried over to that text,
// the document judges the result, and the replace is asked again with it.

#include "ModWriter.h"

#include "LineMerge.h"
#include "ModFiles.h"
#include "SaveHistory.h"

#include <chrono>
#include <new>
#include <thread>

namespace tarsun {

namespace {

// The patch carried over to another program's text, as a document of the same kind, or
// why the edits do not hold there.
Expected<std::unique_ptr<ModDocument>> carriedOver(const ModDocument& doc, const TextPatch& patch,
                                                   std::string_view current, const ShownValues& shown) {
    Merge merge = rebasePatch(doc.file().Text, current, patch);
    if (!merge.text) return Failure{merge.refusal};
    return doc.judge(FileBytes{doc.file().Path, std::move(*merge.text), {}}, shown);
}

class FileSave {
public:
    FileSave(EditorState& state, ModFile file, const FileReplacer& replace, const FileSystem& fs, SaveResult& result)
        : state_(state), file_(file), doc_(state.document(file)), replace_(replace), fs_(fs), result_(result) {}

    void run() {
        const ShownValues shown = state_.shown();
        const Expected<TextPatch> patch = doc_.edits(shown);
        if (!patch) return fail(patch.reason());
        if (patch->empty()) return;
        // What an interrupted save of this file left beside it goes first; the other
        // files' folders were swept at load.
        const std::filesystem::path target = doc_.file().target();
        FolderListings(fs_).removeLeftoverTemporaries(std::span(&target, 1));
        const std::string_view base = doc_.file().Text;
        const std::vector<std::string_view> content = patch->pieces(base);
        const ReplaceRequest asLoaded{doc_.file().Path, doc_.file().Stamp, FileContent(&base, 1), content};
        ReplaceResult replaced = replace_(asLoaded);
        std::unique_ptr<ModDocument> merged;
        std::optional<FileBytes> found;
        std::optional<std::string> refusedRead;
        for (int round = 0; replaced.kind == ReplaceResult::Differs && round < 4; ++round) {
            found = std::move(replaced.found);
            Expected<std::unique_ptr<ModDocument>> judged = carriedOver(doc_, *patch, found->Text, shown);
            if (!judged) {
                // A file being rewritten in place may be read half-written: the edits are
                // refused only when it reads the same twice, a moment apart.
                if (refusedRead == found->Text)
                    return fail("another program changed it since it was loaded, " + judged.reason(), true);
                refusedRead = std::move(found->Text);
                merged.reset();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                replaced = replace_(asLoaded);
                continue;
            }
            merged = std::move(*judged);
            const std::string_view theirs = found->Text, mine = merged->file().Text;
            replaced = replace_({found->Path, found->Stamp, FileContent(&theirs, 1), FileContent(&mine, 1)});
        }
        if (replaced.kind == ReplaceResult::Differs)
            return fail("another program kept changing it while it was saved", true);
        if (replaced.kind != ReplaceResult::Written)
            return fail(replaced.reason, replaced.kind == ReplaceResult::ChangedElsewhere);
        if (!merged) return doc_.written(*patch, replaced.stamp, shown);
        // The other program's changes are now the file's: the values shown become its values.
        doc_.replaceBy(std::move(*merged), replaced.stamp);
        state_.showSaved(file_);
    }

private:
    void fail(std::string why, bool changedElsewhere = false) {
        result_.failures.push_back({file_, doc_.file().Path, std::move(why), changedElsewhere});
    }

    EditorState& state_;
    ModFile file_;
    ModDocument& doc_;
    const FileReplacer& replace_;
    const FileSystem& fs_;
    SaveResult& result_;
};

bool ticked(ModFile file, SaveGroups groups) {
    switch (file) {
    case ModFile::BotNames: return groups.BotNames;
    case ModFile::ServerSettings: return groups.FriendlyFire;
    case ModFile::AIDefaults: return groups.BotSettings;
    case ModFile::Scoring: break;
    }
    return groups.ScoreList;
}

// The bot names first, the scoring file last, as the save window lists them.
constexpr ModFile SaveOrder[] = {ModFile::BotNames, ModFile::ServerSettings, ModFile::AIDefaults, ModFile::Scoring};

SaveResult saveGroups(EditorState& state, SaveGroups groups, const FileReplacer& replace, const FileSystem& fs) {
    SaveResult result;
    for (ModFile file : SaveOrder)
        if (!FileExists(state.fileBytes(file).Path, fs)) result.missingFile = true;
    if (result.missingFile) return result;
    for (ModFile file : SaveOrder) {
        if (!ticked(file, groups)) continue;
        try {
            FileSave(state, file, replace, fs, result).run();
        } catch (const std::bad_alloc&) {
            result.failures.push_back({file, state.fileBytes(file).Path, "there is not enough memory to save it", false});
        }
    }
    return result;
}

}  // namespace

ChangedFileOutlook judgeChangedFile(const EditorState& state, ModFile file, std::string_view current) {
    ChangedFileOutlook outlook;
    const ModDocument& doc = state.document(file);
    const ShownValues shown = state.shown();
    const Expected<TextPatch> patch = doc.edits(shown);
    if (!patch || patch->empty()) return outlook;
    outlook.edits = true;
    const Expected<std::unique_ptr<ModDocument>> judged = carriedOver(doc, *patch, current, shown);
    outlook.merges = static_cast<bool>(judged);
    if (!judged) outlook.refusal = judged.reason();
    return outlook;
}

SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileSystem& fs) {
    return SaveModSettings(state, groups, [&](const ReplaceRequest& r) { return replaceModFile(r, fs); }, fs);
}

SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileReplacer& replace, const FileSystem& fs) {
    if (state.HistoryFolder.empty()) return saveGroups(state, groups, replace, fs);
    SaveRecorder recorder(state.ModFolder);
    for (std::string& line : editedValues(state, groups)) recorder.value(std::move(line));
    SaveResult result = saveGroups(state, groups, recorder.wrap(replace), fs);
    if (const Expected<void> kept = recorder.commit(state.HistoryFolder); !kept) result.historyProblem = kept.reason();
    return result;
}

}  // namespace tarsun
