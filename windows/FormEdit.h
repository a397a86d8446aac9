#pragma once

// The value editor: changes one bot name or the value of one scoring constant at a
// time. The main window prepares it for one of the two modes, hides itself and shows
// it; Accept stores the edit in the state, Cancel drops it, and both hide the editor
// and hand back to the main window through finished().

#include "SmallWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarsun {

class ArrowSpinner;
class BotNameValidator;
class Dialogs;
class EditorState;

class FormEdit : public SmallWindow {
    Q_OBJECT
public:
    FormEdit(EditorState& state, Dialogs& dialogs, QWidget* parent = nullptr);

    // Sets up bot-name mode for BotNames entry `row`.
    void prepareBotName(int row);
    // Sets up score mode for ListScores entry `row`.
    void prepareScore(int row);

signals:
    // The editor has hidden itself; accepted when the edit was stored.
    void finished(bool accepted);

public slots:
    void VScrollNum_Change();
    void CommandAccept_Click();
    void CommandCancel_Click();

protected:
    // Closed by the window system: the same as Cancel.
    void closeRequested() override;

private:
    void showRefusal();

    EditorState& state_;
    Dialogs& dialogs_;
    QLabel* labelLEditing_;
    QLineEdit* textBotName_;
    BotNameValidator* validator_;
    QLabel* labelLScore_;
    QLabel* labelScore_;
    ArrowSpinner* vScrollNum_;
    QPushButton* commandAccept_;
    QPushButton* commandCancel_;
    bool moved_ = false;  // the score was stepped since the editor opened
};

}  // namespace tarsun
