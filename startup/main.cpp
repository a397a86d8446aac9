// Tarsun Editor: edits the settings files of one Kestrelfall mod per run.
//
// The state lives here for the whole run and every window is handed it by reference.
// StartUp asks for the game folder and lets the user choose a mod; FormMain then shows and
// edits the mod's values, and saves them through the settings core.

#include "EditorProgram.h"
#include "EditorState.h"
#include "SaveHistory.h"
#include "SystemDialogs.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tarsun::EditorProgram::setUpApplication();

    tarsun::EditorState state;
    state.HistoryFolder = tarsun::userHistoryFolder();  // every save can be undone with tarsun-cli undo
    tarsun::SystemDialogs dialogs;
    QSettings settings;  // the user's, under the names set above
    tarsun::EditorProgram program(state, dialogs, settings);
    program.start();
    if (dialogs.ended())
        return 0;
    return QApplication::exec();
}
