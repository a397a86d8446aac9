#pragma once

// Notices, while the main window is shown, that another program changed one of the mod's
// four files, and says what the next save will do with it. The files and their folders
// are both watched: a program that saves by writing a new file and renaming it over the
// old one replaces the file the watcher held.

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class QFileSystemWatcher;

namespace tarsun {

class EditorState;
enum class ModFile;

class ModFileWatcher : public QObject {
    Q_OBJECT
public:
    ModFileWatcher(const EditorState& state, QObject* parent);

    // Watches the files as the state found them at load.
    void start();
    // Looks at the files again shortly (after an edit, which changes what a save would do).
    void checkSoon() { timer_.start(); }

    // For each file, by ModFile: "" while it holds what was read or last written, else
    // what the next save will do with it.
    const QString& note(ModFile file) const;

signals:
    // A note changed.
    void notesChanged();

private:
    void check();

    const EditorState& state_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer timer_;
    std::array<QString, 4> notes_;
};

}  // namespace tarsun
