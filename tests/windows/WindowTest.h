#pragma once

// What every window test starts from: a private copy of the sample mod, loaded into a
// fresh state, and the main window showing it, with dialogs the test answers.

#include "EditorState.h"
#include "FormMain.h"
#include "ModLoader.h"
#include "ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <functional>
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
    explicit LoadedMod(const std::function<void(LoadedMod&)>& change = {}) {
        const QDir sample(QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall/mods/TarsunSample"));
        for (const QString& file : ModFiles) {
            QVERIFY(QDir(dir.path()).mkpath(QFileInfo(path(file)).path()));
            QVERIFY(QFile::copy(sample.filePath(file), path(file)));
        }
        if (change) change(*this);
        state.ModFolder = QFile::encodeName(dir.path()).toStdString();
        state.InitScoreNames();
        QVERIFY(LoadModSettings(state).loaded());
        main = std::make_unique<FormMain>(state, dialogs);
        main->showLoadedValues();
        main->showModeless();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }

    QString path(const QString& file) const { return dir.filePath(file); }

    QByteArray read(const QString& file) const {
        QFile f(path(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString& file, const QByteArray& bytes) const {
        QFile f(path(file));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    template <typename T = QWidget> T* find(const char* name, QWidget* in = nullptr) const {
        auto* found = (in ? in : main.get())->findChild<T*>(QString::fromLatin1(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }

    // The windows of the program that are visible now, by object name.
    static QStringList visibleWindows() {
        QStringList names;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !w->objectName().isEmpty()) names << w->objectName();
        return names;
    }

    QTemporaryDir dir;
    EditorState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<FormMain> main;
};

// A click on the row and then a double-click, as the user gives it.
inline void doubleClickRow(QListView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    const QPoint at = list->visualRect(index).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

inline QString rowText(QListView* list, int row) {
    return list->model()->index(row, 0).data().toString();
}

}  // namespace tarsun::testing
