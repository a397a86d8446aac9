#pragma once

// The Windows shell's folder-browse dialog, in its narrow (8-bit code page) form. Kept
// free of Qt so that it compiles on its own with the Windows headers.

#ifdef _WIN32

#include <string>

namespace tarsun {

// Resolves a shell special folder (a CSIDL value) to its item list, with `ownerHwnd` as
// the owner the shell asks for. Returns nullptr when the shell cannot; otherwise the
// caller releases the list with CoTaskMemFree.
void* SpecialFolderPath(void* ownerHwnd, int csidl);

// Opens the dialog on the drives view with startFolder chosen (none when empty) and
// returns the confirmed folder's path, or empty text when cancelled or when the chosen
// item has no file-system path.
std::string ShellBrowseForFolder(void* ownerHwnd, const std::string& narrowPrompt, const std::string& startFolder);

}  // namespace tarsun

#endif
