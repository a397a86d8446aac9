// The start-up loop and the mod choice, with scripted answers on real folders.

#include "EditorState.h"
#include "FolderFixture.h"
#include "General.h"
#include "ScriptedDialogs.h"
#include "StartUp.h"

#include <QApplication>
#include <QtTest>

using namespace tarsun;
using tarsun::testing::FolderFixture;
using tarsun::testing::visibleWindows;
using tarsun::testing::ScriptedDialogs;
using Shown = ScriptedDialogs::Shown;

namespace {

const QString Exit = "Do you want to exit?";
const QString Error = "An error has occured!";

// One run of the start-up with a plain stand-in for the main window.
struct Run : QObject {
    EditorState state;
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    int mainWindowShows = 0;
    StartUp startUp{state, dialogs, mainWindow, [this] { mainWindow.show(); }};

    Run() {
        mainWindow.setObjectName("FormMain");
        mainWindow.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        mainWindowShows += event->type() == QEvent::Show;
        return false;
    }
    QStringList listed() {
        QStringList names;
        for (int i = 0; i < startUp.chooser().list().count(); ++i)
            names << startUp.chooser().list().item(i)->text();
        return names;
    }
    void doubleClick(const QString& name) {
        ModList& list = startUp.chooser().list();
        list.setCurrentItem(list.findItems(name, Qt::MatchExactly).value(0));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.currentItem()).center());
    }
};

}  // namespace

class TestStartUp : public QObject {
    Q_OBJECT
private slots:
    void cancelAsksToExit_data() {
        QTest::addColumn<bool>("leave");
        QTest::newRow("No asks again with the same prompt") << false;
        QTest::newRow("Yes ends with no window ever shown") << true;
    }

    void cancelAsksToExit() {
        QFETCH(bool, leave);
        FolderFixture dirs;
        Run run;
        QStringList visibleAtQuestion{"not asked"};
        run.dialogs.onShow = [&](const Shown& s) {
            if (s.kind == Shown::Question)
                visibleAtQuestion = visibleWindows();
        };
        run.dialogs.folders = leave ? std::deque<QString>{""} : std::deque<QString>{"", dirs.sampleGame()};
        run.dialogs.answers = {leave};
        run.startUp.Form_Load();
        QCOMPARE(run.dialogs.shown[0].kind, Shown::Folder);
        QCOMPARE(GameFolderPrompt, QString("Locate Kestrelfall folder\r\nExample: C:\\Program Files\\Quillon\\Kestrelfall\\"));
        QCOMPARE(run.dialogs.texts(), leave ? QStringList({GameFolderPrompt, Exit})
                                            : QStringList({GameFolderPrompt, Exit, GameFolderPrompt}));
        QCOMPARE(run.state.Answer, leave ? AnswerYes : AnswerNo);
        QCOMPARE(run.dialogs.ended, leave);
        QCOMPARE(visibleAtQuestion, QStringList());
        QCOMPARE(run.mainWindowShows, 0);
        QCOMPARE(run.startUp.chooser().isVisible(), !leave);
    }

    void badFoldersGiveTheErrorAndTheDialogAgain() {
        FolderFixture dirs;
        Run run;
        // What stood on the screen at each error: windows, entries, whether ModsFolder was set.
        std::vector<QStringList> atError;
        run.dialogs.onShow = [&](const Shown& s) {
            if (s.kind == Shown::Error)
                atError.push_back(visibleWindows() << QString::number(run.startUp.chooser().list().count())
                                                   << QString::number(run.state.ModsFolder.empty()));
        };
        run.dialogs.folders = {dirs.path("missing"), dirs.folder("noMods"), dirs.sampleGame()};
        run.startUp.Form_Load();

        QCOMPARE(run.dialogs.texts(),
                 QStringList({GameFolderPrompt, Error, GameFolderPrompt, Error, GameFolderPrompt}));
        // The missing folder: nothing showing yet. No mods folder: the empty chooser.
        QCOMPARE(atError[0], QStringList({"0", "1"}));
        QCOMPARE(atError[1], QStringList({"FormSelect", "0", "1"}));
        // The good folder afterwards fills the list once.
        QCOMPARE(run.listed(), QStringList({"Small Skirmish", "TarsunSample"}));
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));
        QCOMPARE(run.mainWindowShows, 0);
    }

    void unreadableModsFolderIsAnErrorNotACrash() {
        FolderFixture dirs;
        const QString locked = dirs.folder("locked/mods");
        dirs.folder("locked/mods/one");
        QFile::setPermissions(locked, QFileDevice::Permissions{});
        Run run;
        run.dialogs.folders = {dirs.path("locked"), ""};
        run.dialogs.answers = {true};
        {
            testing::ObeyPermissions obey;
            if (!obey.active())
                QSKIP("cannot give up the permission override here");
            run.startUp.Form_Load();
        }
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(run.dialogs.texts(), QStringList({GameFolderPrompt, Error, GameFolderPrompt, Exit}));
        QVERIFY(run.state.ModsFolder.empty());
        QCOMPARE(run.listed(), QStringList());
    }

    void modsFolderIsJoinedAsTextAndFoundInAnyCase() {
        FolderFixture dirs;
        dirs.folder("game/MODS/one");
        // A folder given with its separator, as a root is, keeps it: the join doubles it.
        QCOMPARE(StartUp::findModsFolder(dirs.path("game") + "/"), toPath(dirs.path("game") + "//MODS/"));
        QCOMPARE(StartUp::findModsFolder(dirs.path("game")), toPath(dirs.path("game") + "/MODS/"));
        QCOMPARE(StartUp::findModsFolder(dirs.folder("bare")), std::nullopt);
        if (FolderExists("/mods"))
            QCOMPARE(StartUp::findModsFolder("/"), toPath("//mods/"));
    }

    void doubleClickNeedsASelectionAndAYes() {
        FolderFixture dirs;
        Run run;
        run.dialogs.folders = {dirs.sampleGame()};
        run.startUp.Form_Load();
        const std::size_t before = run.dialogs.shown.size();
        ModList& list = run.startUp.chooser().list();

        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.viewport()->height() - 3));
        QCOMPARE(run.dialogs.shown.size(), before);

        run.dialogs.answers = {false};
        run.doubleClick("Small Skirmish");
        QCOMPARE(run.dialogs.shown.back().text, QString("Edit Small Skirmish?"));
        QCOMPARE(run.state.Answer, AnswerNo);
        QVERIFY(run.state.ModFolder.empty());
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));

        run.dialogs.answers = {true};
        run.doubleClick("TarsunSample");
        QCOMPARE(toText(run.state.ModFolder), dirs.path("game") + "/mods/TarsunSample");
        QVERIFY(!run.state.BotNames.empty());
        QCOMPARE(run.state.ScoreNames[0].empty(), false);
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));
        QCOMPARE(run.mainWindowShows, 1);
        QVERIFY(!run.dialogs.ended);
    }

    void aMissingModFileEndsTheProgramAfterItsMessage() {
        FolderFixture dirs;
        dirs.folder("game/mods/empty mod");
        Run run;
        run.dialogs.folders = {dirs.path("game")};
        run.startUp.Form_Load();
        run.dialogs.answers = {true};
        run.doubleClick("empty mod");
        QCOMPARE(run.dialogs.shown.back().kind, Shown::Error);
        QCOMPARE(run.dialogs.shown.back().text, QString("File not found! No data loaded."));
        QVERIFY(run.dialogs.ended);
        QCOMPARE(run.mainWindowShows, 0);
        QCOMPARE(toText(run.state.ModFolder), dirs.path("game") + "/mods/empty mod");
    }

    void closingTheChooserAsksToExit() {
        FolderFixture dirs;
        Run run;
        run.dialogs.folders = {dirs.sampleGame()};
        run.startUp.Form_Load();
        run.dialogs.answers = {false, true};
        run.startUp.chooser().close();
        QVERIFY(run.startUp.chooser().isVisible());
        QVERIFY(!run.dialogs.ended);
        run.startUp.chooser().close();
        QCOMPARE(run.dialogs.texts().mid(1), QStringList({Exit, Exit}));
        QVERIFY(run.dialogs.ended);
    }
};

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
