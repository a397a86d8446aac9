#pragma once

// Every window test starts from a private copy of the sample mod, loaded into a fresh
// state and shown in the main window, with dialogs the test answers.

#include "FolderFixture.h"
#include "FormMain.h"
#include "Look.h"
#include "ModLoader.h"
#include "ScriptedDialogs.h"
#include "WidgetActions.h"

#include <QListView>

#include <functional>
#include <map>

namespace tarsun::testing {

class LoadedMod {
public:
    // `change` may alter the copy's files before the load. Without a loaded, shown mod no
    // window test can mean anything, so the whole run stops.
    explicit LoadedMod(const std::function<void(LoadedMod&)>& change = {})
        : folder(dirs.sampleGame() + "/mods/TarsunSample/") {
        if (change) change(*this);
        state.ModFolder = toPath(folder);
        state.InitScoreNames();
        if (!LoadModSettings(state).loaded()) qFatal("the sample mod did not load");
        main.showLoadedValues();
        main.showModeless();
        if (!QTest::qWaitForWindowExposed(&main)) qFatal("the main window never showed");
    }

    QString path(const QString& file) const { return folder + file; }
    QByteArray read(const QString& file) const { return readAll(path(file)); }
    std::map<QString, QByteArray> snapshot() const {
        std::map<QString, QByteArray> files;
        for (const QString& file : {BotNamesFile, ServerSettingsFile, AIDefaultsFile, ScoringFile})
            files[file] = read(file);
        return files;
    }
    template <typename T = QWidget> T* find(const char* name) const { return child<T>(&main, name); }

    FolderFixture dirs;
    const QString folder;
    EditorState state;
    ScriptedDialogs dialogs;
    FormMain main{state, dialogs};  // loaded only after it is made, as in the program
};

// Neither button of a small window is a default, so Enter and Escape press nothing; the
// window system's close acts as Cancel.
inline void closesOnlyAsCancel(QWidget* window) {
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(visibleWindows(), QStringList{window->objectName()});
    window->close();
    QCOMPARE(visibleWindows(), QStringList{"FormMain"});
}

}  // namespace tarsun::testing
