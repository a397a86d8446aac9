#pragma once

// Dialogs whose answers a test scripts in advance; it records every message so the test
// can check what the user saw, and records the end of the program instead of ending.
// A question or folder dialog that nobody scripted fails the running test.

#include "Dialogs.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <deque>
#include <functional>
#include <vector>

namespace tarsun::testing {

class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        enum Kind { Error, Question, Folder } kind;
        QString text;
    };

    std::deque<bool> answers;   // next answers to askYesNo, true for Yes
    std::deque<QString> folders;  // next results of browseForFolder ("" for cancel)
    std::vector<Shown> shown;
    QStringList startFolders;  // where each folder dialog was asked to open
    bool ended = false;
    // Called when a dialog opens, before it returns: a test can inspect the windows
    // exactly as they stand while the user looks at the message.
    std::function<void(const Shown&)> onShow;

    ~ScriptedDialogs() override {
        // A scripted answer left over: a question the test expected never came.
        if (!QTest::currentTestFailed() && !(answers.empty() && folders.empty()))
            QTest::qFail("scripted answers left unused", __FILE__, __LINE__);
    }

    void showError(QWidget*, const QString& text) override { record({Shown::Error, text}); }
    bool askYesNo(QWidget*, const QString& text) override {
        record({Shown::Question, text});
        if (answers.empty()) {
            QTest::qFail(("unscripted question: " + text).toUtf8(), __FILE__, __LINE__);
            // No leaves the program as it stands; past 30 dialogs a loop that asks again
            // and again is ended with Yes instead of hanging the test.
            return shown.size() > 30;
        }
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    QString browseForFolder(QWidget*, const QString& prompt, const QString& startFolder) override {
        startFolders << startFolder;
        record({Shown::Folder, prompt});
        if (folders.empty()) {
            QTest::qFail(("unscripted folder dialog: " + prompt).toUtf8(), __FILE__, __LINE__);
            return {};  // a cancel
        }
        QString folder = folders.front();
        folders.pop_front();
        return folder;
    }
    void endProgram() override { ended = true; }

    QStringList texts() const {
        QStringList all;
        for (const auto& s : shown) all << s.text;
        return all;
    }

private:
    void record(const Shown& s) {
        shown.push_back(s);
        if (onShow) onShow(s);
    }
};

}  // namespace tarsun::testing
