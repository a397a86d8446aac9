// The platform services: the folder test, the subfolder listing, the folder dialog, the
// message boxes and the end of the program.

#include "FolderBrowseDialog.h"
#include "FolderFixture.h"
#include "General.h"
#include "SystemDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using namespace tarsun;
using tarsun::testing::FolderFixture;

namespace {

struct BoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
};

// Looks at the message box once it is up, then presses `press` on it.
void answerNextBox(BoxSeen& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->parentWidget()};
        box->button(press)->click();
    });
}

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void folderExistsTellsFoldersFromEverythingElse() {
        FolderFixture dirs;
        const QString folder = dirs.folder("game");
        const QString file = dirs.file("game/notes.txt", "x");
        QVERIFY(FolderExists(toPath(folder)));
        QVERIFY(FolderExists(toPath(folder + "/")));
        QVERIFY(!FolderExists(toPath(file)));
        QVERIFY(!FolderExists(toPath(file + "/")));
        QVERIFY(!FolderExists(toPath(dirs.path("missing"))));
        QVERIFY(!FolderExists({}));
        // A NUL would let the system call test only the part before it.
        QVERIFY(!FolderExists(toPath(folder + QChar(0) + "x")));
        QVERIFY(!FolderExists(toPath(QString(5000, 'a'))));
    }

    void listingGivesSubfolderNamesSortedWithoutLetterCase() {
        FolderFixture dirs;
        const QString mods = dirs.folder("mods");
        for (const char* name : {"beta", "Alpha", "my mod", "ALPHA2", "gamma/deeper"})
            dirs.folder(QString("mods/") + name);
        dirs.file("mods/readme.txt");
        const FolderListing listing = ListSubfolders(toPath(mods));
        QVERIFY(listing.ok);
        QStringList names;
        for (const auto& name : listing.names)
            names << toText(name);
        QCOMPARE(names, QStringList({"Alpha", "ALPHA2", "beta", "gamma", "my mod"}));

        const FolderListing empty = ListSubfolders(toPath(dirs.folder("mods/beta")));
        QVERIFY(empty.ok);
        QCOMPARE(empty.names.size(), 0u);
        // What is no folder is reported; an unreadable one: tst_startup, through the loop.
        QVERIFY(!ListSubfolders(toPath(dirs.path("missing"))).ok);
        QVERIFY(!ListSubfolders(toPath(dirs.file("file"))).ok);
    }

    void dialogConfirmsOnlyExistingFolders() {
        FolderFixture dirs;
        FolderBrowseDialog dialog("Locate it\r\nExample: here");
        auto* prompt = dialog.findChild<QLabel*>("LabelPrompt");
        auto* text = dialog.findChild<QLineEdit*>("TextFolder");
        auto* ok = dialog.findChild<QPushButton*>("CommandOK");
        auto* tree = dialog.findChild<QTreeView*>("TreeFolders");
        QVERIFY(prompt && text && ok && tree);
        QCOMPARE(prompt->text(), QString("Locate it\nExample: here"));
        // The tree starts above the file-system roots.
        QVERIFY(tree->model()->rowCount(tree->rootIndex()) >= 1);

        QVERIFY(!ok->isEnabled());
        text->setText(dirs.path("missing"));
        QVERIFY(!ok->isEnabled());
        text->setText(dirs.file("file"));
        QVERIFY(!ok->isEnabled());
        text->setText(dirs.folder("game") + "/");
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.chosenFolder(), QDir::toNativeSeparators(dirs.path("game")));
        text->setText(QDir::rootPath());  // only a root keeps its separator
        QCOMPARE(dialog.chosenFolder(), QDir::toNativeSeparators(QDir::rootPath()));

        dialog.findChild<QPushButton*>("CommandHome")->click();
        QCOMPARE(QDir::fromNativeSeparators(text->text()), QDir::homePath());

        // A start folder opens chosen, ready to confirm.
        FolderBrowseDialog reopened("Locate it", dirs.path("game"));
        QCOMPARE(reopened.chosenFolder(), QDir::toNativeSeparators(dirs.path("game")));
        QVERIFY(reopened.findChild<QPushButton*>("CommandOK")->isEnabled());
    }

    void browseReturnsTheTypedFolderOrNothing() {
        FolderFixture dirs;
        const QString game = dirs.folder("game");
        auto answer = [](const QString& typed, const char* button) {
            QTimer::singleShot(0, [=] {
                QWidget* dialog = QApplication::activeModalWidget();
                QVERIFY(dialog);
                dialog->findChild<QLineEdit*>("TextFolder")->setText(typed);
                dialog->findChild<QPushButton*>(button)->click();
            });
        };
        answer(game + "/", "CommandOK");
        QCOMPARE(BrowseForGameFolder(nullptr, "prompt"), QDir::toNativeSeparators(game));
        answer(game, "CommandCancel");
        QCOMPARE(BrowseForGameFolder(nullptr, "prompt"), QString());
    }

    void errorsAndQuestionsUseTheProgramsTitleAndButtons() {
        SystemDialogs dialogs;
        QWidget owner;
        owner.show();
        BoxSeen seen;

        answerNextBox(seen, QMessageBox::Ok);
        dialogs.showError(&owner, "An error has occured!");
        QCOMPARE(seen.title, QString("Tarsun Editor"));
        QCOMPARE(seen.text, QString("An error has occured!"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.parent, &owner);

        answerNextBox(seen, QMessageBox::Yes);
        QVERIFY(dialogs.askYesNo(&owner, "Do you want to exit?"));
        QCOMPARE(seen.title, QString("Tarsun Editor"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);

        answerNextBox(seen, QMessageBox::No);
        QVERIFY(!dialogs.askYesNo(nullptr, "Edit x?"));
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
