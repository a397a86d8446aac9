#include "StartUp.h"

#include "Dialogs.h"
#include "EditorState.h"
#include "General.h"
#include "ModFiles.h"
#include "ModLoader.h"

#include <QDir>
#include <QSettings>

namespace fs = std::filesystem;

namespace tarsun {

namespace {
const QString ExitQuestion = QStringLiteral("Do you want to exit?");
// Both folder failures give the same text; the user is not told which test failed.
const QString FolderError = QStringLiteral("An error has occured!");
const QString LoadError = QStringLiteral("File not found! No data loaded.");
}  // namespace

StartUp::StartUp(EditorState& state, Dialogs& dialogs, QSettings& settings, QWidget& mainWindow,
                 std::function<void()> showMainWindow)
    : state_(state), dialogs_(dialogs), settings_(settings), mainWindow_(mainWindow),
      showMainWindow_(std::move(showMainWindow)) {}

StartUp::~StartUp() = default;

FormSelect& StartUp::chooser() {
    if (!formSelect_) {
        formSelect_ = std::make_unique<FormSelect>();
        connect(formSelect_.get(), &FormSelect::ListMods_DblClick, this, &StartUp::ListMods_DblClick);
        connect(formSelect_.get(), &FormSelect::windowCloseRequested, this, &StartUp::FormSelect_CloseRequested);
    }
    return *formSelect_;
}

QWidget* StartUp::messageOwner() {
    // A message box over a hidden window would be placed by that window's stale geometry.
    return formSelect_ && formSelect_->isVisible() ? formSelect_.get() : nullptr;
}

std::optional<fs::path> StartUp::findModsFolder(const QString& gameFolder) {
    const auto found = tarsun::findModsFolder(toPath(gameFolder));
    if (!found)
        return std::nullopt;
    const QString separator = QDir::separator();
    return toPath(gameFolder + separator + toText(found->filename()) + separator);
}

void StartUp::Form_Load() {
    for (;;) {
        const QString gameFolder = dialogs_.browseForFolder(
            &mainWindow_, GameFolderPrompt, settings_.value(GameFolderKey, QDir::homePath()).toString());
        if (gameFolder.isEmpty()) {
            const bool leave = dialogs_.askYesNo(messageOwner(), ExitQuestion);
            state_.Answer = leave ? AnswerYes : AnswerNo;
            if (leave) {
                dialogs_.endProgram();
                return;
            }
            continue;
        }
        if (!FolderExists(toPath(gameFolder))) {
            dialogs_.showError(messageOwner(), FolderError);
            continue;
        }

        mainWindow_.hide();
        chooser().showModeless();

        const std::optional<fs::path> modsFolder = findModsFolder(gameFolder);
        FolderListing mods;
        if (modsFolder)
            mods = ListSubfolders(*modsFolder);
        // A mods folder that cannot be read is as good as a missing one.
        if (!mods.ok) {
            dialogs_.showError(messageOwner(), FolderError);
            continue;
        }

        state_.ModsFolder = *modsFolder;
        settings_.setValue(GameFolderKey, gameFolder);
        QStringList names;
        names.reserve(static_cast<qsizetype>(mods.names.size()));
        for (const fs::path& name : mods.names)
            names << toText(name);
        chooser().addMods(names);
        modNames_ = std::move(mods.names);
        return;
    }
}

void StartUp::ListMods_DblClick() {
    ModList& list = chooser().list();
    const QList<QListWidgetItem*> selected = list.selectedItems();
    if (selected.isEmpty())
        return;
    const int position = list.row(selected.front());
    const QString name = selected.front()->text();

    const bool edit = dialogs_.askYesNo(&chooser(), QStringLiteral("Edit ") + name + QStringLiteral("?"));
    state_.Answer = edit ? AnswerYes : AnswerNo;
    if (!edit)
        return;

    // ModsFolder ends in a separator, so joining the name as text gives the mod folder.
    state_.ModFolder = fs::path(state_.ModsFolder.native() + modNames_.at(static_cast<std::size_t>(position)).native());
    chooser().hide();
    state_.InitScoreNames();
    if (!LoadModSettings(state_).loaded()) {
        dialogs_.showError(nullptr, LoadError);
        dialogs_.endProgram();
        return;
    }
    showMainWindow_();
}

void StartUp::FormSelect_CloseRequested() {
    const bool leave = dialogs_.askYesNo(&chooser(), ExitQuestion);
    state_.Answer = leave ? AnswerYes : AnswerNo;
    if (leave)
        dialogs_.endProgram();
}

}  // namespace tarsun
