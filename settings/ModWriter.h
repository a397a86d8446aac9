#pragma once

#include "EditorState.h"
#include "FileSystem.h"
#include "ReplaceProtocol.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

// Which groups to write, in the save window's order.
struct SaveGroups {
    bool FriendlyFire = true;
    bool ScoreList = true;
    bool BotSettings = true;  // maximum bots and bot skill
    bool BotNames = true;
};

struct SaveResult {
    // One of the four files was missing: nothing was written.
    bool missingFile = false;
    struct Failure {
        ModFile file;
        std::filesystem::path path;
        std::string reason;
        // Another program changed the file in a way the edits could not be carried over
        // to: it was left as that program wrote it, and the edits are still pending.
        bool changedElsewhere = false;
    };
    // Ticked groups whose file could not be written; the others were written.
    std::vector<Failure> failures;
    bool done() const { return !missingFile && failures.empty(); }
    // Why the save could not be kept in the history for undo ("" when it was, or none is kept).
    std::string historyProblem;
};

// Writes the ticked groups. A value is written only where it differs from what the file
// held; every other byte stays as read. Each file is replaced whole or not at all, by
// `replace` where given. With a state.HistoryFolder, what the save replaced is kept there
// for undo.
SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileSystem& fs = systemFileSystem());
SaveResult SaveModSettings(EditorState& state, SaveGroups groups, const FileReplacer& replace,
                           const FileSystem& fs = systemFileSystem());

// What the next save would do with a file another program changed since it was read or
// written, now holding `current`: with no edits of the user's in it, nothing; else carry
// them over to the new text, or refuse the file, and why (for the user, after "another
// program changed it since it was loaded, ").
struct ChangedFileOutlook {
    bool edits = false;
    bool merges = false;
    std::string refusal;
};
ChangedFileOutlook judgeChangedFile(const EditorState& state, ModFile file, std::string_view current);

}  // namespace tarsun
