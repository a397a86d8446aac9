#pragma once

// The real message boxes, folder dialog and end of the program.

#include "Dialogs.h"

namespace tarsun {

class SystemDialogs : public Dialogs {
public:
    void showError(QWidget* parent, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& informative) override;
    QString browseForFolder(QWidget* owner, const QString& prompt, const QString& startFolder) override;
    // Hides every window at once and stops the event loop, also one that has not started
    // yet; main then leaves without entering it (see ended()).
    void endProgram() override;

    bool ended() const { return ended_; }

private:
    bool ended_ = false;
};

}  // namespace tarsun
