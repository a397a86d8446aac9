#include "StartUp.h"

#include "Dialogs.h"
#include "EditorState.h"
#include "General.h"
#include "ModFolders.h"
#include "ModLoader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

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

std::optional<fs::path> StartUp::modsFolderPath(const QString& gameFolder) {
    const auto found = tarsun::modsFolderIn(toPath(gameFolder));
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

        const std::optional<fs::path> modsFolder = modsFolderPath(gameFolder);
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
    const fs::path modFolder(state_.ModsFolder.native() + modNames_.at(static_cast<std::size_t>(position)).native());
    if (!lockMod(modFolder, name))
        return;
    state_.ModFolder = modFolder;
    chooser().hide();
    state_.InitScoreNames();
    if (!LoadModSettings(state_).loaded()) {
        dialogs_.showError(nullptr, LoadError);
        dialogs_.endProgram();
        return;
    }
    showMainWindow_();
}

QString StartUp::lockPath(const fs::path& modFolder) const {
    // On Windows the settings live in the registry: the program's own data folder then.
    const QString settingsFolder = settings_.format() == QSettings::NativeFormat && QSysInfo::productType() == "windows"
                                       ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                                       : QFileInfo(settings_.fileName()).absolutePath();
    std::error_code error;
    const fs::path same = fs::weakly_canonical(modFolder, error);
    const QByteArray key = QFile::encodeName(toText(error ? modFolder : same));
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
    return settingsFolder + QStringLiteral("/locks/mod-") + hash + QStringLiteral(".lock");
}

bool StartUp::lockMod(const fs::path& modFolder, const QString& name) {
    const QString path = lockPath(modFolder);
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto lock = std::make_unique<QLockFile>(path);
    // No age makes a lock stale: a run may stay open for days. One whose process has
    // ended (a crashed run) is taken over by tryLock itself.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return true;
    }
    // A lock that cannot be made at all (a read-only profile) does not keep the mod shut.
    if (lock->error() != QLockFile::LockFailedError)
        return true;
    const bool open = dialogs_.askYesNo(
        &chooser(), name + QStringLiteral(" is already open in another Tarsun Editor. Open it here too?"),
        QStringLiteral("Edits made there are not shown here. Each save still checks the files, and never writes "
                       "over what the other one saved without carrying it over."));
    state_.Answer = open ? AnswerYes : AnswerNo;
    return open;
}

void StartUp::FormSelect_CloseRequested() {
    const bool leave = dialogs_.askYesNo(&chooser(), ExitQuestion);
    state_.Answer = leave ? AnswerYes : AnswerNo;
    if (leave)
        dialogs_.endProgram();
}

}  // namespace tarsun
