// The start-up loop and the mod choice, with scripted answers on real folders, and one
// whole typical run through the real windows.

#include "EditorProgram.h"
#include "EditorState.h"
#include "FolderFixture.h"
#include "General.h"
#include "ScriptedDialogs.h"
#include "StartUp.h"

#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QtTest>

using namespace tarsun;
using namespace tarsun::testing;
using Shown = ScriptedDialogs::Shown;

namespace {

const QString Exit = "Do you want to exit?";
const QString Error = "An error has occured!";

// One run of the start-up with a plain stand-in for the main window, keeping its
// settings in `settingsFile` (by default a file of its own).
struct Run : QObject {
    QTemporaryDir scratch;
    QSettings settings;
    EditorState state;
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    int mainWindowShows = 0;
    StartUp startUp{state, dialogs, settings, mainWindow, [this] { mainWindow.show(); }};

    explicit Run(const QString& settingsFile = {})
        : settings(settingsFile.isEmpty() ? scratch.filePath("tarsun.ini") : settingsFile,
                   QSettings::IniFormat) {
        mainWindow.setObjectName("FormMain");
        mainWindow.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        mainWindowShows += event->type() == QEvent::Show;
        return false;
    }
    QStringList listed() {
        QStringList names;
        for (auto* item : startUp.chooser().list().findItems("*", Qt::MatchWildcard))
            names << item->text();
        return names;
    }
    // A double-click on the mod, or with `key` the mod selected and that key pressed.
    void doubleClick(const QString& name, Qt::Key key = Qt::Key_unknown) {
        ModList& list = startUp.chooser().list();
        list.setCurrentItem(list.findItems(name, Qt::MatchExactly).value(0));
        if (key == Qt::Key_unknown)
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                               list.visualItemRect(list.currentItem()).center());
        else
            QTest::keyClick(&list, key);
    }
};

// A control of the window on the screen now (the hidden ones have the same names).
template <typename T = QWidget> T* control(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = w->isVisible() ? w->findChild<T*>(name) : nullptr)
            return found;
    return nullptr;
}

} // namespace

class TestStartUp : public QObject {
    Q_OBJECT
private slots:
    void cancelThenYesEndsWithNoWindowShown() {
        Run run;
        run.dialogs.onShow = [](const Shown&) { QCOMPARE(visibleWindows(), QStringList()); };
        run.dialogs.folders = {""};
        run.dialogs.answers = {true};
        run.startUp.Form_Load();
        QCOMPARE(run.dialogs.shown[0].kind, Shown::Folder);
        QCOMPARE(GameFolderPrompt,
                 QString("Locate Kestrelfall folder\r\nExample: C:\\Program Files\\Quillon\\Kestrelfall\\"));
        QCOMPARE(run.dialogs.texts(), QStringList({GameFolderPrompt, Exit}));
        QCOMPARE(run.state.Answer, AnswerYes);
        QVERIFY(run.dialogs.ended);
        QCOMPARE(run.mainWindowShows, 0);
        QVERIFY(!run.startUp.chooser().isVisible());
    }

    void cancelThenNoAndBadFoldersGiveTheDialogAgain() {
        FolderFixture dirs;
        Run run;
        // What stood on the screen at each error: windows, entries, whether ModsFolder was set.
        std::vector<QStringList> atError;
        QStringList atQuestion{"not asked"};
        run.dialogs.onShow = [&](const Shown& s) {
            if (s.kind == Shown::Question)
                atQuestion = visibleWindows();
            if (s.kind == Shown::Error)
                atError.push_back(visibleWindows() << QString::number(run.startUp.chooser().list().count())
                                                   << QString::number(run.state.ModsFolder.empty()));
        };
        run.dialogs.folders = {"", dirs.path("missing"), dirs.folder("noMods"), dirs.sampleGame()};
        run.dialogs.answers = {false};
        run.startUp.Form_Load();

        QCOMPARE(run.dialogs.texts(), QStringList({GameFolderPrompt, Exit, GameFolderPrompt, Error,
                                                   GameFolderPrompt, Error, GameFolderPrompt}));
        QCOMPARE(run.state.Answer, AnswerNo);
        QVERIFY(!run.dialogs.ended);
        QCOMPARE(atQuestion, QStringList());
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
        QFile::setPermissions(locked,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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

    void theDialogOpensAtTheLastAcceptedGameFolder() {
        FolderFixture dirs;
        const QString settingsFile = dirs.path("tarsun.ini");
        const QString game = dirs.sampleGame();
        {
            Run first(settingsFile);
            first.dialogs.folders = {dirs.folder("noMods"), game};
            first.startUp.Form_Load();
            // A folder without mods is not kept.
            QCOMPARE(first.dialogs.startFolders, QStringList({QDir::homePath(), QDir::homePath()}));
            // Closing the chooser asks to exit; No keeps it.
            first.dialogs.answers = {false, true};
            first.startUp.chooser().close();
            QVERIFY(first.startUp.chooser().isVisible() && !first.dialogs.ended);
            first.startUp.chooser().close();
            QCOMPARE(first.dialogs.texts().mid(3), QStringList({Exit, Exit}));
            QVERIFY(first.dialogs.ended);
        }
        Run next(settingsFile);
        next.dialogs.folders = {""};
        next.dialogs.answers = {true};
        next.startUp.Form_Load();
        QCOMPARE(next.dialogs.startFolders, QStringList({game}));
    }

    void doubleClickNeedsASelectionAndAYes_data() {
        QTest::addColumn<int>("key"); // how a mod is opened
        QTest::newRow("double-click") << int(Qt::Key_unknown);
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
    }

    void doubleClickNeedsASelectionAndAYes() {
        QFETCH(int, key);
        FolderFixture dirs;
        Run run;
        run.dialogs.folders = {dirs.sampleGame()};
        run.startUp.Form_Load();
        const std::size_t before = run.dialogs.shown.size();
        ModList& list = run.startUp.chooser().list();

        // Below the last mod, or with no mod selected: nothing.
        if (key == Qt::Key_unknown)
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.viewport()->height() - 3));
        else
            QTest::keyClick(&list, Qt::Key(key));
        QCOMPARE(run.dialogs.shown.size(), before);

        run.dialogs.answers = {false};
        run.doubleClick("Small Skirmish", Qt::Key(key));
        QCOMPARE(run.dialogs.shown.back().text, QString("Edit Small Skirmish?"));
        QCOMPARE(run.state.Answer, AnswerNo);
        QVERIFY(run.state.ModFolder.empty());
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));

        run.dialogs.answers = {true};
        run.doubleClick("TarsunSample", Qt::Key(key));
        QCOMPARE(toText(run.state.ModFolder), dirs.path("game") + "/mods/TarsunSample");
        QVERIFY(run.state.botCount() > 0 && !run.state.ScoreNames[0].empty());
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

    // The game folder, the mod choice, one scoring value raised by a step in the value
    // editor, the score list saved, and the exit.
    void fromTheFolderDialogToTheSavedScoringFile() {
        FolderFixture dirs;
        const QString game = dirs.sampleGame();
        const QString mod = game + "/mods/TarsunSample/";
        const QString sample = QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall/mods/TarsunSample/");
        const QString scoring = "python/game/scoringCommon.py";
        EditorState state;
        ScriptedDialogs dialogs;
        dialogs.folders = {game};
        dialogs.answers = {true, true, true}; // Edit TarsunSample?, Save?, Do you want to exit?
        QSettings settings(dirs.path("tarsun.ini"), QSettings::IniFormat);
        EditorProgram program(state, dialogs, settings);

        // 1-2: the folder dialog, then the chooser alone with the mods.
        program.start();
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));
        ModList& mods = program.startUp().chooser().list();
        QCOMPARE(mods.count(), 2);

        // 3-4: choose and confirm; the mod loads and the main window takes over.
        doubleClickAt(mods.viewport(), mods.visualItemRect(mods.item(1)).center());
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

        // 5: the first scoring constant, one step up in the value editor, accepted.
        auto* scores = control<QListView>("ListScores");
        QVERIFY(scores);
        doubleClickAt(scores->viewport(), scores->visualRect(scores->model()->index(0, 0)).center());
        QCOMPARE(visibleWindows(), QStringList({"FormEdit"}));
        QTest::mouseClick(control<QToolButton>("ArrowDown"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("CommandAccept"), Qt::LeftButton);
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

        // 6: only the score list ticked, Save, confirmed.
        QTest::mouseClick(control("PictureSave"), Qt::LeftButton);
        QCOMPARE(visibleWindows(), QStringList({"FormSave"}));
        for (const QString box : {"CheckFF", "CheckScore", "CheckBots", "CheckBotNames"})
            control<QCheckBox>(box)->setChecked(box == "CheckScore");
        QTest::mouseClick(control<QPushButton>("CommandSave"), Qt::LeftButton);

        // The scoring file differs from the sample only in the first constant's value.
        QByteArray expected = readAll(sample + scoring);
        const QByteArray before = "\r\nSCORE_KILL = 2   #";
        QVERIFY(expected.contains(before));
        expected.replace(before, "\r\nSCORE_KILL = 3   #");
        QCOMPARE(readAll(mod + scoring), expected);
        for (const char* file : {"AI/BotNames.AI", "Settings/ServerSettings.CON", "AI/AIDefault.AI"})
            QCOMPARE(readAll(mod + file), readAll(sample + file));

        // 7: the exit button and Yes end the program.
        QTest::mouseClick(control("PictureExit"), Qt::LeftButton);
        QCOMPARE(dialogs.texts().mid(1),
                 QStringList({"Edit TarsunSample?", "Save?", "Do you want to exit?"}));
        QVERIFY(dialogs.ended);
    }
};

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
