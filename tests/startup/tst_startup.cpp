// The start-up loop and the mod choice, with scripted answers on real folders, and one
// whole typical run through the real windows.

#include "EditorProgram.h"
#include "EditorState.h"
#include "FolderFixture.h"
#include "FormEdit.h"
#include "FormSave.h"
#include "General.h"
#include "ScriptedDialogs.h"
#include "StartUp.h"

#include <QCheckBox>
#include <QListView>
#include <QSettings>
#include <QtTest>

using namespace tarsun;
using namespace tarsun::testing;
using Shown = ScriptedDialogs::Shown;

namespace {

const QString Exit = "Do you want to exit?";
const QString Error = "An error has occured!";

// One run of the start-up with a plain stand-in for the main window, keeping its
// settings in `settingsFile` (by default a file of its own).
struct Run {
    QTemporaryDir scratch;
    QSettings settings;
    EditorState state;
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    StartUp startUp{state, dialogs, settings, mainWindow, [this] { mainWindow.show(); }};

    explicit Run(const QString& settingsFile = {})
        : settings(settingsFile.isEmpty() ? scratch.filePath("tarsun.ini") : settingsFile, QSettings::IniFormat) {
        mainWindow.setObjectName("FormMain");
    }
    QStringList listed() {
        QStringList names;
        for (auto* item : startUp.chooser().list().findItems("*", Qt::MatchWildcard)) names << item->text();
        return names;
    }
    void open(const QString& name, Qt::Key key = Qt::Key_unknown) {
        ModList& list = startUp.chooser().list();
        openRow(&list, list.row(list.findItems(name, Qt::MatchExactly).value(0)), key);
    }
};

}  // namespace

class TestStartUp : public QObject {
    Q_OBJECT
private slots:
    // Each failure on the way to an edited mod, with what stood on the screen at its message.
    void badFoldersGiveTheDialogAgainAndABrokenModEnds() {
        FolderFixture dirs;
        Run run;
        // At each error: the windows, the chooser's entries, whether ModsFolder was set.
        std::vector<QStringList> atError;
        QStringList atQuestion{"not asked"};
        run.dialogs.onShow = [&](const Shown& s) {
            if (s.kind == Shown::Question && atQuestion == QStringList{"not asked"}) atQuestion = visibleWindows();
            if (s.kind == Shown::Error)
                atError.push_back(visibleWindows() << QString::number(run.startUp.chooser().list().count())
                                                   << QString::number(run.state.ModsFolder.empty()));
        };
        const QString game = dirs.sampleGame();
        dirs.folder("game/mods/broken mod");  // without the mod's files
        run.dialogs.folders = {"", dirs.path("missing"), dirs.folder("noMods"), game};
        run.dialogs.answers = {false};
        run.startUp.Form_Load();

        QCOMPARE(run.dialogs.texts(), QStringList({GameFolderPrompt, Exit, GameFolderPrompt, Error, GameFolderPrompt,
                                                   Error, GameFolderPrompt}));
        QCOMPARE(run.state.Answer, AnswerNo);
        QVERIFY(!run.dialogs.ended);
        QCOMPARE(atQuestion, QStringList());
        // The missing folder: nothing showing yet. No mods folder: the empty chooser.
        QCOMPARE(atError[0], QStringList({"0", "1"}));
        QCOMPARE(atError[1], QStringList({"FormSelect", "0", "1"}));
        // The good folder afterwards fills the list once.
        QCOMPARE(run.listed(), QStringList({"broken mod", "Small Skirmish", "TarsunSample"}));
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));

        // A mod without its files: the message, with no window left, then the end.
        run.dialogs.answers = {true};
        run.open("broken mod");
        QCOMPARE(run.dialogs.texts().mid(7), QStringList({"Edit broken mod?", "File not found! No data loaded."}));
        QCOMPARE(run.dialogs.shown.back().kind, Shown::Error);
        QCOMPARE(atError[2], QStringList({"3", "0"}));
        QVERIFY(run.dialogs.ended);
        QCOMPARE(toText(run.state.ModFolder), game + "/mods/broken mod");
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
            if (!obey.active()) QSKIP("cannot give up the permission override here");
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
        if (FolderExists("/mods")) QCOMPARE(StartUp::findModsFolder("/"), toPath("//mods/"));
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
        // Cancel, then Yes to the exit: the end, with no window ever shown.
        Run next(settingsFile);
        next.dialogs.onShow = [](const Shown&) { QCOMPARE(visibleWindows(), QStringList()); };
        next.dialogs.folders = {""};
        next.dialogs.answers = {true};
        next.startUp.Form_Load();
        QCOMPARE(next.dialogs.startFolders, QStringList({game}));
        QCOMPARE(GameFolderPrompt,
                 QString("Locate Kestrelfall folder\r\nExample: C:\\Program Files\\Quillon\\Kestrelfall\\"));
        QCOMPARE(next.dialogs.texts(), QStringList({GameFolderPrompt, Exit}));
        QCOMPARE(next.state.Answer, AnswerYes);
        QVERIFY(next.dialogs.ended);
        QCOMPARE(visibleWindows(), QStringList());
    }

    void doubleClickNeedsASelectionAndAYes_data() { addOpeningKeys(); }

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
        run.open("Small Skirmish", Qt::Key(key));
        QCOMPARE(run.dialogs.shown.back().text, QString("Edit Small Skirmish?"));
        QCOMPARE(run.state.Answer, AnswerNo);
        QVERIFY(run.state.ModFolder.empty());
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));

        run.dialogs.answers = {true};
        run.open("TarsunSample", Qt::Key(key));
        QCOMPARE(toText(run.state.ModFolder), dirs.path("game") + "/mods/TarsunSample");
        QVERIFY(run.state.botCount() > 0 && !run.state.ScoreNames[0].empty());
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));
        QVERIFY(!run.dialogs.ended);
    }

    // The game folder, the mod choice, one scoring value raised by a step in the value
    // editor, the score list saved into the mod folder as the start-up joined it, and the exit.
    void fromTheFolderDialogToTheSavedScoringFile() {
        FolderFixture dirs;
        const QString mod = dirs.sampleGame() + "/mods/TarsunSample/";
        const QString sample = QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall/mods/TarsunSample/");
        EditorState state;
        ScriptedDialogs dialogs;
        dialogs.folders = {dirs.path("game")};
        dialogs.answers = {true, true, true};  // Edit TarsunSample?, Save?, Do you want to exit?
        QSettings settings(dirs.path("tarsun.ini"), QSettings::IniFormat);
        EditorProgram program(state, dialogs, settings);
        FormMain& main = program.formMain();

        // 1-4: the folder dialog, the chooser alone, the mod chosen and confirmed; the mod
        // loads and the main window takes over.
        program.start();
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));
        openRow(&program.startUp().chooser().list(), 1);
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

        // 5: the first scoring constant, one step up in the value editor, accepted.
        openRow(main.findChild<QListView*>("ListScores"), 0);
        QCOMPARE(visibleWindows(), QStringList({"FormEdit"}));
        click(main.formEdit()->findChild<QWidget*>("VScrollNum"), "ArrowDown");
        click(main.formEdit(), "CommandAccept");
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

        // 6: only the score list ticked, Save, confirmed.
        QTest::mouseClick(main.findChild<QWidget*>("PictureSave"), Qt::LeftButton);
        QCOMPARE(visibleWindows(), QStringList({"FormSave"}));
        for (auto* box : main.formSave()->findChildren<QCheckBox*>())
            box->setChecked(box->objectName() == "CheckScore");
        click(main.formSave(), "CommandSave");

        // The scoring file differs from the sample only in the first constant's value.
        QByteArray expected = readAll(sample + ScoringFile);
        expected.replace("\r\nSCORE_KILL = 2   #", "\r\nSCORE_KILL = 3   #");
        QCOMPARE(readAll(mod + ScoringFile), expected);
        for (const QString& file : {BotNamesFile, ServerSettingsFile, AIDefaultsFile})
            QCOMPARE(readAll(mod + file), readAll(sample + file));

        // 7: the exit button and Yes end the program.
        QTest::mouseClick(main.findChild<QWidget*>("PictureExit"), Qt::LeftButton);
        QCOMPARE(dialogs.texts().mid(1), QStringList({"Edit TarsunSample?", "Save?", "Do you want to exit?"}));
        QVERIFY(dialogs.ended);
    }
};

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
