#include "General.h"

#ifdef _WIN32
#include "ShellFolderBrowse.h"
#else
#include "FolderBrowseDialog.h"
#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QWidget>

#include <algorithm>
#include <numeric>

namespace fs = std::filesystem;

namespace tarsun {

QString BrowseForGameFolder(QWidget* owner, const QString& prompt, const QString& startFolder) {
#ifdef _WIN32
    // The shell's wide form: any folder name comes back as the file system spells it.
    void* hwnd = owner ? reinterpret_cast<void*>(owner->window()->winId()) : nullptr;
    return toText(ShellBrowseForFolder(hwnd, prompt.toStdWString(), toPath(QDir::toNativeSeparators(startFolder))));
#else
    // A dialog over a hidden owner would be placed by the owner's stale geometry.
    QWidget* parent = owner && owner->isVisible() ? owner : QApplication::activeWindow();
    FolderBrowseDialog dialog(prompt, startFolder, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosenFolder();
#endif
}

#ifndef _WIN32
QString SpecialFolderPath(SpecialFolder id) {
    switch (id) {
    case SpecialFolder::Drives:
        return {};
    case SpecialFolder::Profile:
        return QDir::homePath();
    }
    return {};
}
#endif

FolderListing ListSubfolders(const fs::path& folder) {
    FolderListing listing;
    auto found = subfolderNames(folder);
    if (!found)
        return listing;
    std::vector<fs::path>& names = *found;

    // Sort on the shown text once per name; a tie in letter case falls back to the exact
    // spelling so that the order does not depend on the file system's.
    std::vector<QString> keys;
    keys.reserve(names.size());
    for (const auto& name : names)
        keys.push_back(toText(name));
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        int c = QString::compare(keys[a], keys[b], Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        return names[a].native() < names[b].native();
    });
    listing.names.reserve(names.size());
    for (std::size_t i : order)
        listing.names.push_back(std::move(names[i]));
    listing.ok = true;
    return listing;
}

}  // namespace tarsun
