#pragma once

// The save window: four boxes choose which groups the writer rewrites; Save asks
// "Save?" and writes, Cancel writes nothing. Both hide the window and hand back to the
// main window through finished(). The boxes keep their ticks for the whole run.

#include "SmallWindow.h"

#include "ModWriter.h"

#include <QStringList>

class QCheckBox;
class QPushButton;

namespace tarsun {

class Dialogs;
class EditorState;

class FormSave : public SmallWindow {
    Q_OBJECT
public:
    FormSave(EditorState& state, Dialogs& dialogs, QWidget* parent = nullptr);

    // The writer's flags as the boxes stand.
    SaveGroups groups() const;

    // How the writer replaces a file; tests put a failing stand-in here.
    void setFileReplacer(FileReplacer replace) { replace_ = std::move(replace); }

signals:
    // The window has hidden itself; wrote when the writer ran.
    void finished(bool wrote);

public slots:
    void CommandSave_Click();
    void CommandCancel_Click();

protected:
    // Closed by the window system: the same as Cancel.
    void closeRequested() override;
    void showEvent(QShowEvent* event) override;

private:
    // The tip of a group's box: its edits, or that it has none.
    static QString describeEdits(QStringList edits);
    void reportFailures(const SaveResult& result);
    // For a file refused because another program changed it: asks whether to take its
    // version and keep the user's other edits in it.
    void offerTheirs(const SaveResult::Failure& failure);

    EditorState& state_;
    Dialogs& dialogs_;
    FileReplacer replace_ = [](const ReplaceRequest& request) { return replaceModFile(request); };
    QCheckBox* checkFF_;
    QCheckBox* checkScore_;
    QCheckBox* checkBots_;
    QCheckBox* checkBotNames_;
};

}  // namespace tarsun
