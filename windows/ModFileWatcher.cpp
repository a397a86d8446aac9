#include "ModFileWatcher.h"

#include "EditorState.h"
#include "Look.h"
#include "ModWriter.h"
#include "ReplaceProtocol.h"

#include <QFileSystemWatcher>

namespace tarsun {

ModFileWatcher::ModFileWatcher(const EditorState& state, QObject* parent) : QObject(parent), state_(state) {
    // A program writing a file in several steps gives several signals: one look at the end.
    timer_.setSingleShot(true);
    timer_.setInterval(150);
    connect(&timer_, &QTimer::timeout, this, &ModFileWatcher::check);
}

void ModFileWatcher::start() {
    if (watcher_) return;
    watcher_ = new QFileSystemWatcher(this);
    for (ModFile file : AllModFiles) {
        const QString path = toText(state_.fileBytes(file).Path);
        watcher_->addPath(path);
        watcher_->addPath(toText(state_.fileBytes(file).Path.parent_path()));
    }
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &ModFileWatcher::checkSoon);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &ModFileWatcher::checkSoon);
}

const QString& ModFileWatcher::note(ModFile file) const { return notes_[static_cast<std::size_t>(file)]; }

void ModFileWatcher::check() {
    if (!watcher_) return;
    bool changed = false;
    for (ModFile file : AllModFiles) {
        const FileBytes& held = state_.fileBytes(file);
        // A file replaced by a rename is a new file: watch it again.
        const QString path = toText(held.Path);
        if (!watcher_->files().contains(path)) watcher_->addPath(path);

        QString note;
        const QString name = QString::fromStdString(modFileDisplayName(file));
        const Expected<FileBytes> now = readModFile(held.Path);
        if (!now) {
            note = name + QStringLiteral(" cannot be read now: a save will report it.");
        } else if (now->Text != held.Text) {
            const ChangedFileOutlook outlook = judgeChangedFile(state_, file, now->Text);
            note = name + QStringLiteral(" was changed by another program. ");
            if (!outlook.edits)
                note += QStringLiteral("You have no edits in it: a save leaves it as that program wrote it.");
            else if (outlook.merges)
                note += QStringLiteral("The next save carries your edits over into it.");
            else
                note += QStringLiteral("The next save refuses it: another program changed it since it was loaded, ") +
                        QString::fromStdString(outlook.refusal) + '.';
        }
        QString& kept = notes_[static_cast<std::size_t>(file)];
        changed = changed || kept != note;
        kept = note;
    }
    if (changed) emit notesChanged();
}

}  // namespace tarsun
