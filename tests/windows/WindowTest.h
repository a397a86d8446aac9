#pragma once

// What every window test starts from: a private copy of the sample mod, loaded into a
// fresh state, and the main window showing it, with dialogs the test answers.

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
inline const QStringList ModFiles{BotNamesFile, ServerSettingsFile, AIDefaultsFile, ScoringFile};

class LoadedMod {
public:
    // Copies the sample mod, lets `change` alter the copy's files, loads it and shows it.
    // `main` stays empty if that failed: tests start with QVERIFY(mod.main).
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
    void write(const QString& file, const QByteArray& bytes) const {
        QFile f(path(file));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    std::map<QString, QByteArray> snapshot() const {
        std::map<QString, QByteArray> files;
        for (const QString& file : ModFiles) files[file] = read(file);
        return files;
    }

    template <typename T = QWidget> T* find(const char* name, QWidget* in = nullptr) const {
        auto* found = (in ? in : main.get())->findChild<T*>(QString::fromLatin1(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }

    FolderFixture dirs;
    const QString folder;
    EditorState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<FormMain> main;
};

inline void doubleClickRow(QListView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    doubleClickAt(list->viewport(), list->visualRect(index).center());
}

inline QString rowText(QListView* list, int row) { return list->model()->index(row, 0).data().toString(); }

// "ArrowUp" or "ArrowDown" of a spinner.
inline void clickArrow(QWidget* spinner, const char* arrow) {
    QTest::mouseClick(spinner->findChild<QToolButton*>(arrow), Qt::LeftButton);
}

inline void click(QWidget* window, const char* button) {
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
}

}  // namespace tarsun::testing
