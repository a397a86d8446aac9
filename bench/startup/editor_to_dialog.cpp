// The editor's own start, as main runs it, until the folder dialog is on the screen.

#include "EditorProgram.h"
#include "EditorState.h"
#include "MappedSignal.h"
#include "SystemDialogs.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tarsun::EditorProgram::setUpApplication();
    MappedSignal signal(QStringLiteral("FolderBrowseDialog"));
    tarsun::EditorState state;
    tarsun::SystemDialogs dialogs;
    QSettings settings;
    tarsun::EditorProgram program(state, dialogs, settings);
    program.start();
    return 1;  // the dialog never came up
}
