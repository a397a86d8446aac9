#include "SaveCheck.h"

#include "NamedValues.h"
#include "ReplaceProtocol.h"

namespace tarsun {

std::vector<ModFile> filesToWrite(const EditorState& state, SaveGroups groups) {
    const SaveGroups edited = groupsWithEdits(state);
    std::vector<ModFile> files;
    if (groups.BotNames && edited.BotNames) files.push_back(ModFile::BotNames);
    if (groups.FriendlyFire && edited.FriendlyFire) files.push_back(ModFile::ServerSettings);
    if (groups.BotSettings && edited.BotSettings) files.push_back(ModFile::AIDefaults);
    if (groups.ScoreList && edited.ScoreList) files.push_back(ModFile::Scoring);
    return files;
}

std::vector<SaveResult::Failure> whySaveWouldFail(const EditorState& state, SaveGroups groups, const FileSystem& fs) {
    std::vector<SaveResult::Failure> failures;
    for (ModFile file : filesToWrite(state, groups)) {
        const FileBytes& bytes = state.fileBytes(file);
        if (const Expected<void> replaceable = canReplace(bytes.target(), fs); !replaceable)
            failures.push_back({file, bytes.Path, replaceable.reason(), false});
    }
    return failures;
}

}  // namespace tarsun
