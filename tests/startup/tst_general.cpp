// The platform services: the folder test, the subfolder listing, the folder dialog, the
// message boxes and the end of the program.

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#else
#include "FolderBrowseDialog.h"
#endif
#include "EditorState.h"
#include "FolderFixture.h"
#include "General.h"
#include "ScriptedDialogs.h"
#include "StartUp.h"
#include "SystemDialogs.h"
#include "WidgetActions.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <utility>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// Once the message box is up, notes its title, text, icon, buttons and owner in `seen`,
// then presses `press`.
void answerNextBox(QVariantList& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = {box->windowTitle(), box->text(), int(box->icon()), box->standardButtons().toInt(),
                QVariant::fromValue<QObject*>(box->parentWidget()), box->informativeText()};
        box->button(press)->click();
    });
}

#ifdef _WIN32
// Once the shell's folder dialog is up, hands it to `act` every 50 ms until `act` says it
// pressed a button: the dialog shows before its tree is filled.
void onShellDialog(std::function<bool(HWND)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        HWND dialog = FindWindowW(L"#32770", nullptr);
        if (!dialog || !IsWindowVisible(dialog) || !act(dialog))
            return;
        poll->stop();
        poll->deleteLater();
    });
    poll->start(50);
}

// The first window of a class among all of the dialog's (Windows nests the tree deeper).
HWND shellChild(HWND dialog, const wchar_t* className) {
    std::pair<const wchar_t*, HWND> search{className, nullptr};
    EnumChildWindows(
        dialog,
        [](HWND window, LPARAM data) {
            auto* found = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(data);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (lstrcmpiW(name, found->first) != 0)
                return TRUE;
            found->second = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

QString itemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW query{TVIF_TEXT, item, 0, 0, text, MAX_PATH, 0, 0, 0, 0};
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
    return QString::fromWCharArray(text);
}

// Opens drive C: in the tree and selects its folder `name`, if the tree shows it yet.
void chooseInTree(HWND tree, const QString& name) {
    for (auto drive = TreeView_GetChild(tree, TreeView_GetRoot(tree)); drive; drive = TreeView_GetNextSibling(tree, drive)) {
        if (!itemText(tree, drive).contains("C:)")) continue;
        TreeView_Expand(tree, drive, TVE_EXPAND);
        for (auto item = TreeView_GetChild(tree, drive); item; item = TreeView_GetNextSibling(tree, item))
            if (itemText(tree, item) == name) TreeView_SelectItem(tree, item);
    }
}

// The real shell dialog once, then scripted ones: a start-up that asks again fails the test.
struct ShellDialogs : ScriptedDialogs {
    bool opened = false;
    QString browseForFolder(QWidget* owner, const QString& prompt, const QString& startFolder) override {
        if (std::exchange(opened, true)) return ScriptedDialogs::browseForFolder(owner, prompt, startFolder);
        return BrowseForGameFolder(owner, prompt, startFolder);
    }
    // Any question after it is shown (the test then fails on the texts) and answered Yes, so
    // a dialog that never chose the folder ends the start-up instead of asking again.
    bool askYesNo(QWidget* owner, const QString& text, const QString& informative) override {
        answers.push_back(true);
        return ScriptedDialogs::askYesNo(owner, text, informative);
    }
};
#endif

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void folderTestAndListingTellFoldersFromEverythingElse() {
        FolderFixture dirs;
        const QString mods = dirs.folder("mods");
        for (const char* name : {"beta", "Alpha", "my mod", "ALPHA2", "gamma/deeper"})
            dirs.folder(QString("mods/") + name);
        const QString file = dirs.file("mods/readme.txt", "x");
        QVERIFY(FolderExists(toPath(mods)) && FolderExists(toPath(mods + "/")));
        // A NUL would let the system call test only the part before it.
        for (const QString& other :
             {QString(), file, file + "/", dirs.path("missing"), mods + QChar(0) + "x", QString(5000, 'a')})
            QVERIFY2(!FolderExists(toPath(other)), qPrintable(other));

        // The listing: subfolder names only, sorted without letter case.
        const FolderListing listing = ListSubfolders(toPath(mods));
        QVERIFY(listing.ok);
        QStringList names;
        for (const auto& name : listing.names) names << toText(name);
        QCOMPARE(names, QStringList({"Alpha", "ALPHA2", "beta", "gamma", "my mod"}));
        // What is no folder is reported; an unreadable one: tst_startup, through the loop.
        QVERIFY(!ListSubfolders(toPath(dirs.path("missing"))).ok);
        QVERIFY(!ListSubfolders(toPath(file)).ok);
    }

#ifdef _WIN32
    // The shell's own dialog (Wine's, under Wine), driven through its windows, with a game
    // folder named outside the system's code page (Wine's is Windows-1252): chosen in the
    // tree, accepted, kept in the registry, preselected from there on the next start.
    void shellDialogAndRegistryKeepAFolderNamedOutsideTheCodePage() {
        // Straight under C:\, not in the profile's temporary folder: Wine's dialog matches a
        // path through its tree by each folder's times, and that folder changes meanwhile.
        const QString name = QStringLiteral("Κέρκυρα 遊戲");
        const QString game = QDir::toNativeSeparators(QDir("C:/").filePath(name));
        QDir(game).removeRecursively();
        QVERIFY(QDir().mkpath(game + "/mods/one"));
        const auto removeGame = qScopeGuard([&] { QDir(game).removeRecursively(); });
        const wchar_t* key = L"Software\\Tarsun Editor\\tst_general";
        RegDeleteKeyW(HKEY_CURRENT_USER, key);
        QString prompt, selected;
        QStringList drives;
        for (const bool choose : {true, false}) {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Tarsun Editor", "tst_general");
            EditorState state;
            ShellDialogs dialogs;
            QWidget mainWindow;
            StartUp startUp(state, dialogs, settings, mainWindow, [] {});
            int ticks = 0;
            onShellDialog([&, choose](HWND dialog) {
                wchar_t text[256] = {};
                GetWindowTextW(shellChild(dialog, L"Static"), text, 256);
                prompt = QString::fromWCharArray(text);
                HWND tree = shellChild(dialog, WC_TREEVIEWW);
                drives.clear();
                for (auto item = TreeView_GetChild(tree, TreeView_GetRoot(tree)); item;
                     item = TreeView_GetNextSibling(tree, item))
                    drives << itemText(tree, item);
                // The user's choice, made in the tree as a user makes it: C: opened, the
                // folder clicked (a path handed to Wine's dialog now and then never took).
                // The next start finds it chosen already.
                if (choose) chooseInTree(tree, name);
                selected = itemText(tree, TreeView_GetSelection(tree));
                // Wine fills the tree and takes a selection a while after showing it: up to 5 s.
                if (selected != name && ++ticks < 100) return false;
                SendMessageW(GetDlgItem(dialog, selected == name ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
                return true;
            });
            startUp.Form_Load();
            QCOMPARE(selected, name);
            QCOMPARE(dialogs.texts(), QStringList());  // no message
            QCOMPARE(toText(state.ModsFolder), game + "\\mods\\");
            // What the registry holds, read past Qt.
            settings.sync();
            wchar_t held[MAX_PATH] = {};
            DWORD size = sizeof held;
            RegGetValueW(HKEY_CURRENT_USER, key, L"GameFolder", RRF_RT_REG_SZ, nullptr, held, &size);
            QCOMPARE(QString::fromWCharArray(held), game);
        }
        RegDeleteKeyW(HKEY_CURRENT_USER, key);
        QCOMPARE(prompt, GameFolderPrompt);
        QVERIFY2(drives.filter("C:)").size() == 1, qPrintable(drives.join(", ")));

        onShellDialog([](HWND dialog) { return SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0), true; });
        QCOMPARE(BrowseForGameFolder(nullptr, "prompt", game), QString());
    }
#else
    void dialogConfirmsOnlyExistingFolders() {
        FolderFixture dirs;
        const QString game = dirs.folder("game");
        FolderBrowseDialog dialog("Locate it\r\nExample: here");
        auto* text = child<QLineEdit>(&dialog, "TextFolder");
        auto* ok = child<QPushButton>(&dialog, "CommandOK");
        auto* tree = child<QTreeView>(&dialog, "TreeFolders");
        QCOMPARE(child<QLabel>(&dialog, "LabelPrompt")->text(), QString("Locate it\nExample: here"));
        // The tree starts above the file-system roots.
        QVERIFY(tree->model()->rowCount(tree->rootIndex()) >= 1);

        QVERIFY(!ok->isEnabled());
        for (const QString& refused : {dirs.path("missing"), dirs.file("file")}) {
            text->setText(refused);
            QVERIFY2(!ok->isEnabled(), qPrintable(refused));
        }
        text->setText(game + "/");
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.chosenFolder(), QDir::toNativeSeparators(game));
        text->setText(QDir::rootPath());  // only a root keeps its separator
        QCOMPARE(dialog.chosenFolder(), QDir::toNativeSeparators(QDir::rootPath()));

        child<QPushButton>(&dialog, "CommandHome")->click();
        QCOMPARE(QDir::fromNativeSeparators(text->text()), QDir::homePath());

        // A start folder opens chosen, ready to confirm.
        FolderBrowseDialog reopened("Locate it", game);
        QCOMPARE(reopened.chosenFolder(), QDir::toNativeSeparators(game));
        QVERIFY(child<QPushButton>(&reopened, "CommandOK")->isEnabled());

        // Through the program's call: the typed folder on OK, nothing on Cancel.
        for (const auto& [button, chosen] :
             {std::pair{"CommandOK", QDir::toNativeSeparators(game)}, std::pair{"CommandCancel", QString()}}) {
            QTimer::singleShot(0, [game, button = button] {
                QWidget* modal = QApplication::activeModalWidget();
                child<QLineEdit>(modal, "TextFolder")->setText(game + "/");
                child<QPushButton>(modal, button)->click();
            });
            QCOMPARE(BrowseForGameFolder(nullptr, "prompt"), chosen);
        }
    }
#endif

    void errorsAndQuestionsUseTheProgramsTitleAndButtons() {
        SystemDialogs dialogs;
        QWidget owner;
        owner.show();
        QVariantList seen;
        const auto ownerSeen = QVariant::fromValue<QObject*>(&owner);

        answerNextBox(seen, QMessageBox::Ok);
        dialogs.showError(&owner, "An error has occured!");
        QCOMPARE(seen, QVariantList({"Tarsun Editor", "An error has occured!", int(QMessageBox::Critical),
                                     int(QMessageBox::Ok), ownerSeen, ""}));
        answerNextBox(seen, QMessageBox::Yes);
        QVERIFY(dialogs.askYesNo(&owner, "Do you want to exit?", "Unsaved: bot names"));
        QCOMPARE(seen, QVariantList({"Tarsun Editor", "Do you want to exit?", int(QMessageBox::Question),
                                     (QMessageBox::Yes | QMessageBox::No).toInt(), ownerSeen, "Unsaved: bot names"}));

        answerNextBox(seen, QMessageBox::No);
        QVERIFY(!dialogs.askYesNo(nullptr, "Edit x?", {}));
        QVERIFY(!dialogs.ended());
    }

    // Last, as it runs and ends the application's own loop.
    void endingBeforeTheEventLoopStillStopsIt() {
        SystemDialogs dialogs;
        QWidget window;
        window.show();
        dialogs.endProgram();
        QVERIFY(dialogs.ended());
        QVERIFY(!window.isVisible());
        // Should the quit be lost, this ends the loop with another code.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_general.moc"
