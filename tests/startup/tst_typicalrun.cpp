// One whole typical run through the real windows: the game folder, the mod choice, one
// scoring value raised by a step in the value editor, the score list saved, and the exit.

#include "EditorProgram.h"
#include "EditorState.h"
#include "FolderFixture.h"
#include "ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// A control of the window on the screen now (the hidden ones have the same names).
template <typename T = QWidget> T* control(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = w->isVisible() ? w->findChild<T*>(name) : nullptr)
            return found;
    return nullptr;
}

}  // namespace

class TestTypicalRun : public QObject {
    Q_OBJECT
private slots:
    void fromTheFolderDialogToTheSavedScoringFile() {
        FolderFixture dirs;
        const QString game = dirs.sampleGame();
        const QString mod = game + "/mods/TarsunSample/";
        const QString sample = QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall/mods/TarsunSample/");
        const QString scoring = "python/game/scoringCommon.py";
        EditorState state;
        ScriptedDialogs dialogs;
        dialogs.folders = {game};
        dialogs.answers = {true, true, true};  // Edit TarsunSample?, Save?, Do you want to exit?
        EditorProgram program(state, dialogs);

        // 1-2: the folder dialog, then the chooser alone with the mods.
        program.start();
        QCOMPARE(visibleWindows(), QStringList({"FormSelect"}));
        ModList& mods = program.startUp().chooser().list();
        QCOMPARE(mods.count(), 2);

        // 3-4: choose and confirm; the mod loads and the main window takes over.
        doubleClickAt(mods.viewport(), mods.visualItemRect(mods.item(1)).center());
        QCOMPARE(dialogs.texts().last(), QString("Edit TarsunSample?"));
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

        // 5: the first scoring constant, one step up in the value editor, accepted.
        auto* scores = control<QListView>("ListScores");
        QVERIFY(scores);
        doubleClickAt(scores->viewport(), scores->visualRect(scores->model()->index(0, 0)).center());
        QCOMPARE(visibleWindows(), QStringList({"FormEdit"}));
        QTest::mouseClick(control<QToolButton>("ArrowDown"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("CommandAccept"), Qt::LeftButton);
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));
        QCOMPARE(state.ScoreValues[0], 3);

        // 6: only the score list ticked, Save, confirmed.
        QTest::mouseClick(control("PictureSave"), Qt::LeftButton);
        QCOMPARE(visibleWindows(), QStringList({"FormSave"}));
        for (const char* box : {"CheckFF", "CheckBots", "CheckBotNames"})
            control<QCheckBox>(box)->setChecked(false);
        control<QCheckBox>("CheckScore")->setChecked(true);
        QTest::mouseClick(control<QPushButton>("CommandSave"), Qt::LeftButton);
        QCOMPARE(visibleWindows(), QStringList({"FormMain"}));

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

QTEST_MAIN(TestTypicalRun)
#include "tst_typicalrun.moc"
