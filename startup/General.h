#pragma once

// The platform services the start-up needs: the folder-browse dialog, the folder test and
// the listing of a folder's subfolders. None of them keeps state between calls, and none
// throws: a path the file system rejects simply counts as "not there".

#include "Look.h"  // toPath and toText
#include "ModFolders.h"  // FolderExists

#include <QString>
#include <QStringList>

#include <filesystem>
#include <vector>

class QWidget;

namespace tarsun {

// The folder-browse dialog, owned by `owner`, with `prompt` (CR LF breaks it into lines)
// above a tree of the machine's drives or file-system roots. Returns the confirmed
// folder: a root with its separator ("D:\", "/"), any other folder without one; empty
// text when the user cancelled. A startFolder that exists is chosen when it opens.
QString BrowseForGameFolder(QWidget* owner, const QString& prompt, const QString& startFolder = {});

// Shell special-folder ids used here (the Windows CSIDL values).
enum class SpecialFolder { Drives = 17, Profile = 40 };

#ifndef _WIN32
// Where the stand-in folder dialog starts for a special folder: "" for the drives view,
// which the tree shows as the file-system roots; the home folder for Profile. (On Windows
// the shell's own item lists are used instead, see ShellFolderBrowse.h.)
QString SpecialFolderPath(SpecialFolder id);
#endif

struct FolderListing {
    bool ok = false;  // false when the folder could not be read to its end
    // The immediate subfolders' names as the file system spells them, sorted by name
    // without regard to letter case.
    std::vector<std::filesystem::path> names;
};
FolderListing ListSubfolders(const std::filesystem::path& folder);

}  // namespace tarsun
