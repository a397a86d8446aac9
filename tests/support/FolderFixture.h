#pragma once

// Real folders in a fresh temporary place per test, the sample mod's files, what the
// window and start-up tests look at and press on the screen, and the dialogs they answer.

#include "Dialogs.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <functional>
#include <vector>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tarsun::testing {

inline const QString BotNamesFile = QStringLiteral("AI/BotNames.AI");
inline const QString ServerSettingsFile = QStringLiteral("Settings/ServerSettings.CON");
inline const QString AIDefaultsFile = QStringLiteral("AI/AIDefault.AI");
inline const QString ScoringFile = QStringLiteral("python/game/scoringCommon.py");

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

class FolderFixture {
public:
    QString path(const QString& relative) const { return root_.filePath(relative); }
    QString folder(const QString& relative) const { return QDir().mkpath(path(relative)), path(relative); }
    QString file(const QString& relative, const QByteArray& bytes = {}) const {
        writeAll(path(relative), bytes);
        return path(relative);
    }
    // A copy of the sample game, so nothing touches the originals.
    QString sampleGame() const {
        const QDir source(QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall"));
        for (QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString from = it.next(), to = path("game/" + source.relativeFilePath(from));
            QDir().mkpath(QFileInfo(to).path());
            QFile::copy(from, to);
        }
        return path("game");
    }

private:
    QTemporaryDir root_;
};

// The program names every window it shows.
inline QStringList visibleWindows() {
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->objectName().isEmpty()) names << w->objectName();
    return names;
}

inline QString rowText(QAbstractItemView* list, int row) {
    return list->model()->index(row, 0).data().toString();
}

// The named control; without it no test can go on, so the run stops.
template <typename T = QWidget> T* child(const QObject* parent, const char* name) {
    auto* found = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!found) qFatal("no control %s", name);
    return found;
}

// The window's controls that a screen reader would find without a name, or without a
// description that gives the range of the value they set; and the focusable ones whose
// keyboard focus cannot be seen (the control looks the same with it and without).
inline QStringList inaccessibleControls(QWidget* window) {
    QStringList faults;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        const bool control = w->focusPolicy() != Qt::NoFocus || qobject_cast<QLabel*>(w) ||
                             qobject_cast<QAbstractButton*>(w);
        if (name.isEmpty() || name.startsWith("qt_") || !control) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty()) faults << name + " has no name";
        const bool setsValue = name.startsWith("VScroll") || name.startsWith("Slider");
        if (a && setsValue && !a->text(QAccessible::Description).contains(" to ")) faults << name + " gives no range";
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisible()) continue;
        QApplication::setActiveWindow(window);
        w->setFocus(Qt::TabFocusReason);
        const QImage focused = w->grab().toImage();
        if (!w->hasFocus()) faults << name + " takes no focus";
        w->clearFocus();
        if (focused == w->grab().toImage()) faults << name + " shows no focus";
    }
    return faults;
}

// The ways a row is opened: a double-click, or Return or Enter on the current row.
inline void addOpeningKeys() {
    QTest::addColumn<int>("key");
    QTest::newRow("double-click") << int(Qt::Key_unknown);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

// A click then a double-click on the row, as the user gives them; or with `key` the row
// made current and that key pressed.
inline void openRow(QAbstractItemView* list, int row, Qt::Key key = Qt::Key_unknown) {
    const QModelIndex index = list->model()->index(row, 0);
    if (key != Qt::Key_unknown) {
        list->setCurrentIndex(index);
        QTest::keyClick(list, key);
        return;
    }
    list->scrollTo(index);
    const QPoint at = list->visualRect(index).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

// A left click on a window's button, or a spinner's "ArrowUp" or "ArrowDown".
inline void click(QWidget* parent, const char* name) {
    QTest::mouseClick(child(parent, name), Qt::LeftButton);
}

// While alive, this thread obeys file permissions even as root (CI is), so a mode-000
// folder really cannot be listed. active() is false where that cannot be had.
class ObeyPermissions {
public:
    bool active() const { return active_; }
#ifdef __linux__
    ObeyPermissions() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~ObeyPermissions() {
        if (active_) syscall(SYS_capset, &header_, saved_);
    }
#endif

private:
    bool active_ = false;
#ifdef __linux__
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
#endif
};

// Dialogs answered from a script. Every message is recorded for the test to check, the
// end of the program is recorded instead of done, and a question or folder dialog that
// nobody scripted fails the running test.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        enum Kind { Error, Question, Folder } kind;
        QString text;
        QString informative;  // a question's text below it
    };

    std::deque<bool> answers;     // to askYesNo, true for Yes
    std::deque<QString> folders;  // from browseForFolder, "" for cancel
    std::vector<Shown> shown;
    QStringList startFolders;  // where each folder dialog opened
    bool ended = false;
    // Runs as a dialog opens, so a test sees the windows as the user does then.
    std::function<void(const Shown&)> onShow;

    ~ScriptedDialogs() override {
        // A leftover answer: a question the test expected never came.
        if (!QTest::currentTestFailed() && !(answers.empty() && folders.empty()))
            QTest::qFail("scripted answers left unused", __FILE__, __LINE__);
    }

    void showError(QWidget*, const QString& text) override { record(Shown::Error, text); }
    bool askYesNo(QWidget*, const QString& text, const QString& informative) override {
        // Unscripted: No leaves things as they stand; past 30 dialogs, Yes ends a loop
        // that would otherwise ask forever.
        return next(answers, Shown::Question, text, shown.size() > 30, informative);
    }
    QString browseForFolder(QWidget*, const QString& prompt, const QString& startFolder) override {
        startFolders << startFolder;
        return next(folders, Shown::Folder, prompt, QString());
    }
    void endProgram() override { ended = true; }

    QStringList texts() const {
        QStringList all;
        for (const auto& s : shown) all << s.text;
        return all;
    }

private:
    void record(Shown::Kind kind, const QString& text, const QString& informative = {}) {
        shown.push_back({kind, text, informative});
        if (onShow) onShow(shown.back());
    }
    template <typename T>
    T next(std::deque<T>& script, Shown::Kind kind, const QString& text, T unscripted, const QString& informative = {}) {
        record(kind, text, informative);
        if (script.empty()) {
            QTest::qFail(("unscripted dialog: " + text).toUtf8(), __FILE__, __LINE__);
            return unscripted;
        }
        T answer = script.front();
        script.pop_front();
        return answer;
    }
};

}  // namespace tarsun::testing
