#pragma once

// The Windows shell's folder-browse dialog, in its wide (UTF-16) form: a folder whose name
// lies outside the system's 8-bit code page comes back whole. Kept free of Qt so that it
// compiles on its own with the Windows headers.

#ifdef _WIN32

#include <filesystem>
#include <string>

namespace tarsun {

// Resolves a shell special folder (a CSIDL value) to its item list, with `ownerHwnd` as
// the owner the shell asks for. Returns nullptr when the shell cannot; otherwise the
// caller releases the list with CoTaskMemFree.
void* specialFolderIdList(void* ownerHwnd, int csidl);

// Opens the dialog on the drives view with startFolder chosen (none when empty) and
// returns the confirmed folder's path, or an empty path when cancelled or when the chosen
// item has no file-system path.
std::filesystem::path ShellBrowseForFolder(void* ownerHwnd, const std::wstring& prompt,
                                           const std::filesystem::path& startFolder);

}  // namespace tarsun

#endif
