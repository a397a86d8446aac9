#pragma once

// Dialogs whose answers a test scripts in advance; it records every message so the test
// can check what the user saw, and records the end of the program instead of ending.

#include "Dialogs.h"

#include <QString>
#include <QStringList>

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
    int unscripted = 0;  // dialogs that came with no scripted answer left
    // Called when a dialog opens, before it returns: a test can inspect the windows
    // exactly as they stand while the user looks at the message.
    std::function<void(const Shown&)> onShow;

    void showError(QWidget*, const QString& text) override { record({Shown::Error, text}); }
    bool askYesNo(QWidget*, const QString& text) override {
        record({Shown::Question, text});
        if (answers.empty()) {
            ++unscripted;  // a question the test did not expect: answer No
            return false;
        }
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    QString browseForFolder(QWidget*, const QString& prompt, const QString& startFolder) override {
        startFolders << startFolder;
        record({Shown::Folder, prompt});
        if (folders.empty()) {
            ++unscripted;  // answer as a cancel
            return {};
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
