#pragma once

// What a save would write, and why it could not, asked before anything is written: a mod
// is then saved whole or refused whole, and only a failure during the writes themselves
// (a full disk, another program) can leave part of it written.

#include "ModWriter.h"

#include <vector>

namespace tarsun {

// The files the save of these groups would write: the ticked groups that hold an edit,
// in the order the writer takes them.
std::vector<ModFile> filesToWrite(const EditorState& state, SaveGroups groups);

// For each file the save would write, why it cannot be replaced now: it is gone, is no
// ordinary file, is read-only or may not be written, or its folder takes no new file.
// Empty when every one can be. Nothing is written or left behind.
std::vector<SaveResult::Failure> whySaveWouldFail(const EditorState& state, SaveGroups groups,
                                                  const FileSystem& fs = systemFileSystem());

}  // namespace tarsun
