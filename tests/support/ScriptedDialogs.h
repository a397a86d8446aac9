#pragma once

// The dialogs a test answers in the user's place.

#include "Dialogs.h"

#include <QTest>

#include <deque>
#include <functional>
#include <vector>

namespace tarsun::testing {

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
    T next(std::deque<T>& script, Shown::Kind kind, const QString& text, T unscripted,
           const QString& informative = {}) {
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
