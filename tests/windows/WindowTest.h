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
#include <QPushButton>
#include <QToolButton>

#include <functional>
#include <map>
#include <memory>

namespace tarsun::testing {

inline const QString BotNamesFile = QStringLiteral("AI/BotNames.AI");
inline const QString ServerSettingsFile = QStringLiteral("Settings/ServerSettings.CON");
inline const QString AIDefaultsFile = QStringLiteral("AI/AIDefault.AI");
inline const QString ScoringFile = QStringLiteral("python/game/scoringCommon.py");

class LoadedMod {
public:
    // `change` may alter the copy's files before the load. `main` stays empty if the
    // load failed: tests start with QVERIFY(mod.main).
    explicit LoadedMod(const std::function<void(LoadedMod&)>& change = {})
        : folder(dirs.sampleGame() + "/mods/TarsunSample/") {
        if (change)
            change(*this);
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
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    FolderFixture dirs;
    const QString folder;
    EditorState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<FormMain> main;
};

inline QString rowText(QListView* list, int row) {
    return list->model()->index(row, 0).data().toString();
}

// "ArrowUp" or "ArrowDown" of a spinner.
inline void clickArrow(QWidget* spinner, const char* arrow) {
    QTest::mouseClick(spinner->findChild<QToolButton*>(arrow), Qt::LeftButton);
}
inline void click(QWidget* window, const char* button) {
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
}

} // namespace tarsun::testing
