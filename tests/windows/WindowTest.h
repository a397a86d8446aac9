#pragma once

// Every window test starts from a private copy of the sample mod, loaded into a fresh
// state and shown in the main window, with dialogs the test answers.

#include "EditorState.h"
#include "FolderFixture.h"
#include "FormMain.h"
#include "Look.h"
#include "ModLoader.h"
#include "ScriptedDialogs.h"

#include <QListView>

#include <functional>
#include <map>
#include <memory>

namespace tarsun::testing {

class LoadedMod {
public:
    // `change` may alter the copy's files before the load. `main` stays empty if the
    // load failed: tests start with QVERIFY(mod.main).
    explicit LoadedMod(const std::function<void(LoadedMod&)>& change = {})
        : folder(dirs.sampleGame() + "/mods/TarsunSample/") {
        if (change) change(*this);
        state.ModFolder = toPath(folder);
        state.InitScoreNames();
        QVERIFY(LoadModSettings(state).loaded());
        main = std::make_unique<FormMain>(state, dialogs);
        main->showLoadedValues();
        main->showModeless();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }

    QString path(const QString& file) const { return folder + file; }
    QByteArray read(const QString& file) const { return readAll(path(file)); }
    std::map<QString, QByteArray> snapshot() const {
        std::map<QString, QByteArray> files;
        for (const QString& file : {BotNamesFile, ServerSettingsFile, AIDefaultsFile, ScoringFile})
            files[file] = read(file);
        return files;
    }
    template <typename T = QWidget> T* find(const char* name) const {
        auto* found = main->findChild<T*>(QString::fromLatin1(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }

    FolderFixture dirs;
    const QString folder;
    EditorState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<FormMain> main;
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
