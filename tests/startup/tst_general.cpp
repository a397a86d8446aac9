// The platform services: the folder test, the subfolder listing and the folder dialog.

#include "FolderBrowseDialog.h"
#include "FolderFixture.h"
#include "General.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using namespace tarsun;
using tarsun::testing::FolderFixture;

class TestGeneral : public QObject {
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
};

QTEST_MAIN(TestGeneral)
#include "tst_general.moc"
