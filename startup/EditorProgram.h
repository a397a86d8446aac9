#pragma once

// The program's windows, wired as main starts them: the main window is the start-up
// window, created first and kept hidden, and the start-up hands over to it once a mod
// is loaded. Tests drive a whole run through this same wiring.

#include "FormMain.h"
#include "Look.h"
#include "StartUp.h"

#include <QApplication>

namespace tarsun {

class EditorProgram {
public:
    EditorProgram(EditorState& state, Dialogs& dialogs, QSettings& settings)
        : formMain_(state, dialogs), startUp_(state, dialogs, settings, formMain_, [this] {
              formMain_.showLoadedValues();
              formMain_.showModeless();
          }) {}

    // The program's names (which also place its settings) and icon, and how it ends;
    // once, after the QApplication.
    static void setUpApplication() {
        QApplication::setOrganizationName(QStringLiteral("Tarsun Editor"));
        QApplication::setApplicationName(QStringLiteral("Tarsun Editor"));
        QApplication::setDesktopFileName(QStringLiteral("tarsun-editor"));  // ties windows to the launcher
        QApplication::setWindowIcon(programIcon());
        // Every way out goes through the exit question or the loader's message, which end
        // the program themselves; a window merely hidden between two others must not.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    // The main window's load handler: returns with the chooser filled, or once the
    // program has been ended.
    void start() { startUp_.Form_Load(); }

    FormMain& formMain() { return formMain_; }
    StartUp& startUp() { return startUp_; }

private:
    FormMain formMain_;
    StartUp startUp_;
};

}  // namespace tarsun
