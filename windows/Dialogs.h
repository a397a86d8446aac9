#pragma once

// Everything that asks the user or ends the program goes through this interface, so
// that tests can script the answers and watch for the end without ending the test.
// Titles are always "Tarsun Editor".

#include <QString>

class QWidget;

namespace tarsun {

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // An error: critical-stop icon, OK.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A question: question icon, Yes and No. True for Yes. The informative text, when
    // given, stands below the question in a smaller face.
    virtual bool askYesNo(QWidget* parent, const QString& text, const QString& informative = QString()) = 0;
    // The folder-browse dialog, opened with startFolder chosen; empty text when cancelled.
    virtual QString browseForFolder(QWidget* owner, const QString& prompt, const QString& startFolder) = 0;
    // Ends the program at once, without saving.
    virtual void endProgram() = 0;
};

inline constexpr int AnswerYes = 6;
inline constexpr int AnswerNo = 7;

}  // namespace tarsun
