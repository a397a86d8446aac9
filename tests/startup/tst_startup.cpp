// The start-up loop and the mod choice, with scripted answers on real folders, and one
// whole typical run through the real windows.

#include "EditorProgram.h"
#include "EditorState.h"
#include "FileAccess.h"
#include "FolderFixture.h"
#include "FormEdit.h"
#include "FormSave.h"
#include "General.h"
#include "ScriptedDialogs.h"
#include "WidgetActions.h"

#include <QSettings>

#include <memory>

using namespace tarsun;
using namespace tarsun::testing;
using Shown = ScriptedDialogs::Shown;

namespace {

const QString Prompt = "Locate Kestrelfall folder\r\nExample: C:\\Program Files\\Quillon\\Kestrelfall\\";
const QString Exit = "Do you want to exit?";
const QString Error = "An error has occured!";
// The start-up joins the mod folder as text, with the platform's separator.
const QString Sep = QDir::separator();

// One run of the start-up with a plain stand-in for the main window and folders of its
// own, keeping its settings in `settingsFile` (by default a file there).
struct Run {
    FolderFixture dirs;
    QSettings settings;
    EditorState state;
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    StartUp startUp{state, dialogs, settings, mainWindow, [this] { mainWindow.show(); }};

    explicit Run(const QString& settingsFile = {})
        : settings(settingsFile.isEmpty() ? dirs.path("tarsun.ini") : settingsFile, QSettings::IniFormat) {
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
        Run run;
        // At each error: the windows, the chooser's entries, whether ModsFolder was set.
        std::vector<QStringList> atError;
        run.dialogs.onShow = [&](const Shown& s) {
            if (s.kind == Shown::Error)
                atError.push_back(visibleWindows() << QString::number(run.startUp.chooser().list().count())
                                                   << QString::number(run.state.ModsFolder.empty()));
        };
        const QString game = run.dirs.sampleGame();
        run.dirs.folder("game/mods/broken mod");  // without the mod's files
        const QString locked = run.dirs.folder("locked/mods");
        run.dirs.folder("locked/mods/one");
        QFile::setPermissions(locked, QFileDevice::Permissions{});
        run.dialogs.folders = {"", run.dirs.path("missing"), run.dirs.folder("noMods"), run.dirs.path("locked"), game};
        run.dialogs.answers = {false};
        QStringList texts{Prompt, Exit, Prompt, Error, Prompt, Error, Prompt, Error, Prompt};
        // Missing folder: nothing shows yet; no mods, or mods that cannot be listed: the empty
        // chooser; broken mod: no window.
        std::vector<QStringList> errors{{"0", "1"}, {"FormSelect", "0", "1"}, {"FormSelect", "0", "1"}, {"4", "0"}};
        {
            ObeyPermissions obey;
            // Where no mode makes a folder unreadable (Windows has none, Wine keeps no ACLs),
            // the locked folder is left out.
            if (!obey.active()) {
                run.dialogs.folders.erase(run.dialogs.folders.begin() + 3);
                texts.remove(7, 2);
                errors.erase(errors.begin() + 2);
            }
            run.startUp.Form_Load();
        }
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QCOMPARE(run.dialogs.texts(), texts);
        QCOMPARE(run.state.Answer, AnswerNo);
        QVERIFY(!run.dialogs.ended);
        // The good folder afterwards fills the list once.
        QCOMPARE(run.listed(), QStringList({"broken mod", "Old Guard", "Small Skirmish", "TarsunSample"}));
        QCOMPARE(inaccessibleControls(&run.startUp.chooser()).join("; "), QString());

        // A mod without its files: the message, with no window left, then the end.
        run.dialogs.answers = {true};
        run.open("broken mod");
        QCOMPARE(run.dialogs.texts().mid(texts.size()),
                 QStringList({"Edit broken mod?", "File not found! No data loaded."}));
        QCOMPARE(atError, errors);
        QVERIFY(run.dialogs.ended);
        QCOMPARE(toText(run.state.ModFolder), game + Sep + "mods" + Sep + "broken mod");
    }

    void modsFolderIsJoinedAsTextAndFoundInAnyCase() {
        FolderFixture dirs;
        dirs.folder("game/MODS/one");
        const QString game = dirs.path("game");
        const auto found = [](const QString& folder) { return toText(StartUp::modsFolderPath(folder).value_or("")); };
        // A file system without letter case (Windows') finds "mods" itself, as named.
        const QString mods = QFileInfo::exists(game + "/mods") ? "mods" : "MODS";
        // A folder given with its separator, as a root is, keeps it: the join doubles it.
        QCOMPARE(found(game + "/"), game + "/" + Sep + mods + Sep);
        QCOMPARE(found(game), game + Sep + mods + Sep);
        QCOMPARE(found(dirs.folder("bare")), QString());
    }

    void theDialogOpensAtTheLastAcceptedGameFolder() {
        FolderFixture dirs;
        const QString game = dirs.sampleGame();
        {
            Run first(dirs.path("tarsun.ini"));
            first.dialogs.folders = {dirs.folder("noMods"), game};
            first.startUp.Form_Load();
            // A folder without mods is not kept.
            QCOMPARE(first.dialogs.startFolders, QStringList(2, QDir::homePath()));
            // Closing the chooser asks to exit; No keeps it.
            first.dialogs.answers = {false, true};
            first.startUp.chooser().close();
            QVERIFY(first.startUp.chooser().isVisible() && !first.dialogs.ended);
            first.startUp.chooser().close();
            QCOMPARE(first.dialogs.texts().mid(3), QStringList({Exit, Exit}));
            QVERIFY(first.dialogs.ended);
        }
        // Cancel, then Yes to the exit: the end, with no window ever shown.
        Run next(dirs.path("tarsun.ini"));
        next.dialogs.onShow = [](const Shown&) { QCOMPARE(visibleWindows(), QStringList()); };
        next.dialogs.folders = {""};
        next.dialogs.answers = {true};
        next.startUp.Form_Load();
        QCOMPARE(next.dialogs.startFolders, QStringList({game}));
        QCOMPARE(next.dialogs.texts(), QStringList({Prompt, Exit}));
        QCOMPARE(next.state.Answer, AnswerYes);
        QVERIFY(next.dialogs.ended);
        QCOMPARE(visibleWindows(), QStringList());
    }

    // A mod open in one run is locked, beside the settings and not in the mod: a second
    // run asks before it opens the mod too; once the first has ended, no question.
    void aSecondRunOnTheSameModAsksFirst() {
        FolderFixture dirs;
        const QString game = dirs.sampleGame();
        const auto start = [&](Run& run) {
            run.dialogs.folders = {game};
            run.startUp.Form_Load();
        };
        const QString question = "TarsunSample is already open in another Tarsun Editor. Open it here too?";
        auto first = std::make_unique<Run>(dirs.path("tarsun.ini"));
        start(*first);
        first->dialogs.answers = {true};
        first->open("TarsunSample");
        QVERIFY(first->mainWindow.isVisible());
        QVERIFY(QFileInfo::exists(first->startUp.lockPath(first->state.ModFolder)));
        QVERIFY(!first->startUp.lockPath(first->state.ModFolder).startsWith(game));

        Run second(dirs.path("tarsun.ini"));
        start(second);
        second.dialogs.answers = {true, false, true, true};
        second.open("TarsunSample");
        QCOMPARE(second.dialogs.texts().mid(1), QStringList({"Edit TarsunSample?", question}));
        QVERIFY(second.startUp.chooser().isVisible() && second.state.ModFolder.empty());
        second.open("TarsunSample");
        QCOMPARE(second.dialogs.shown.back().text, question);
        QVERIFY(second.mainWindow.isVisible());

        first.reset();
        Run third(dirs.path("tarsun.ini"));
        start(third);
        third.dialogs.answers = {true};
        third.open("TarsunSample");
        QCOMPARE(third.dialogs.texts().mid(1), QStringList({"Edit TarsunSample?"}));
    }

    void doubleClickNeedsASelectionAndAYes_data() { addOpeningKeys(); }

    void doubleClickNeedsASelectionAndAYes() {
        QFETCH(int, key);
        Run run;
        run.dialogs.folders = {run.dirs.sampleGame()};
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
        QCOMPARE(toText(run.state.ModFolder), run.dirs.path("game") + Sep + "mods" + Sep + "TarsunSample");
        QVERIFY(run.state.botCount() > 0 && !run.state.ScoreNames[0].empty());
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));
        QVERIFY(!run.dialogs.ended);
    }

    // The game folder, the mod choice, one scoring value raised by a step in the value
    // editor, the edits saved into the mod folder as the start-up joined it, and the exit.
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

        program.start();
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));
        ModList& mods = program.startUp().chooser().list();
        openRow(&mods, mods.row(mods.findItems("TarsunSample", Qt::MatchExactly).value(0)));
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

        openRow(child<QAbstractItemView>(&main, "ListScores"), 0);
        click(child(main.formEdit(), "VScrollNum"), "ArrowDown");
        click(main.formEdit(), "CommandAccept");

        click(&main, "PictureSave");
        click(main.formSave(), "CommandSave");

        // Only the first constant's value changed; the groups not edited keep their bytes.
        QByteArray expected = readAll(sample + ScoringFile);
        expected.replace("\r\nSCORE_KILL = 2   #", "\r\nSCORE_KILL = 3   #");
        QCOMPARE(readAll(mod + ScoringFile), expected);
        for (const QString& file : {BotNamesFile, ServerSettingsFile, AIDefaultsFile})
            QCOMPARE(readAll(mod + file), readAll(sample + file));

        click(&main, "PictureExit");
        QCOMPARE(dialogs.texts().mid(1), QStringList({"Edit TarsunSample?", "Save?", "Do you want to exit?"}));
        QVERIFY(dialogs.ended);
    }
};

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
