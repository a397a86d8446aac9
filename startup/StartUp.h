#pragma once

// From launch to a loaded mod. Form_Load asks for the game folder until one with a mods
// folder is given (or the user leaves), then fills the chooser; ListMods_DblClick loads
// the chosen mod and hands over to the main window. The chooser is never shown again,
// so one run edits exactly one mod. The last game folder that had a mods folder is kept
// in the settings given, and the dialog opens there next time (at the home folder before).

#include "FormSelect.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLockFile;
class QSettings;

namespace tarsun {

class Dialogs;
class EditorState;

inline const QString GameFolderKey = QStringLiteral("GameFolder");

inline const QString GameFolderPrompt =
    QStringLiteral("Locate Kestrelfall folder\r\nExample: C:\\Program Files\\Quillon\\Kestrelfall\\");

class StartUp : public QObject {
    Q_OBJECT
public:
    // mainWindow is the start-up window: it owns the folder dialog and stays hidden until
    // a mod is loaded; showMainWindow fills it from the state and shows it.
    StartUp(EditorState& state, Dialogs& dialogs, QSettings& settings, QWidget& mainWindow,
            std::function<void()> showMainWindow);
    ~StartUp() override;

    // Returns with the filled chooser as the only visible window, or once the program has
    // been ended.
    void Form_Load();
    void ListMods_DblClick();

    // Where the lock of a mod open in this editor lies: in a folder beside the user's
    // settings (never in the mod, which other tools share), named after the mod folder.
    QString lockPath(const std::filesystem::path& modFolder) const;

    // Built when first needed: most runs spend their first seconds in the folder dialog.
    FormSelect& chooser();

    // The mods folder below the game folder, as text joined on with no normalisation
    // ("D:\" gives "D:\\mods\"), found in any letter case; nullopt when there is none.
    static std::optional<std::filesystem::path> modsFolderPath(const QString& gameFolder);

private:
    void FormSelect_CloseRequested();
    // Locks the mod for this run; false when another run holds it and the user would
    // rather not open it too.
    bool lockMod(const std::filesystem::path& modFolder, const QString& name);
    QWidget* messageOwner();

    EditorState& state_;
    Dialogs& dialogs_;
    QSettings& settings_;
    QWidget& mainWindow_;
    std::function<void()> showMainWindow_;
    std::unique_ptr<FormSelect> formSelect_;
    std::unique_ptr<QLockFile> lock_;
    // The mods' folder names as the file system spells them, by list position: a name
    // that is not valid text still finds its folder.
    std::vector<std::filesystem::path> modNames_;
};

}  // namespace tarsun
