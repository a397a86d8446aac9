#include "WindowTest.h"

#include "ArrowSpinner.h"
#include "FormEdit.h"
#include "FormSave.h"
#include "ModFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <map>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// Each box with the file its group is written to.
const std::pair<const char*, QString> Checks[] = {{"CheckFF", ServerSettingsFile},
                                                  {"CheckScore", ScoringFile},
                                                  {"CheckBots", AIDefaultsFile},
                                                  {"CheckBotNames", BotNamesFile}};

FormSave* openSave(LoadedMod& mod) {
    QTest::mouseClick(mod.find("PictureSave"), Qt::LeftButton);
    return mod.main->formSave();
}

void tickOnly(FormSave* save, const QStringList& ticked) {
    for (const auto& [name, file] : Checks) {
        auto* box = save->findChild<QCheckBox*>(name);
        if (box->isChecked() != ticked.contains(QLatin1String(name))) QTest::mouseClick(box, Qt::LeftButton);
    }
}

void click(QWidget* window, const char* button) {
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
}

// One edit in each group.
void editEveryGroup(LoadedMod& mod) {
    QTest::mouseClick(mod.find<ArrowSpinner>("VScrollSFD")->findChild<QToolButton*>("ArrowDown"), Qt::LeftButton);
    QTest::keyClick(mod.find("SliderMaxBots"), Qt::Key_End);
    QCOMPARE(mod.state.setBotName(2, "Talon"), NameProblem::None);
    mod.state.setScoreValue(0, 9);
}

std::map<QString, QByteArray> snapshot(const LoadedMod& mod) {
    std::map<QString, QByteArray> files;
    for (const QString& file : ModFiles) files[file] = mod.read(file);
    return files;
}

}  // namespace

class FormSaveTest : public QObject {
    Q_OBJECT
private slots:
    void ticksPersistAndNoOrCloseWriteNothing();
    void writesOnlyTheTickedGroups_data();
    void writesOnlyTheTickedGroups();
    void missingFileIsReportedAndEditsKept();
    void failedFilesAreReportedInOneMessage();
    void scoreEditReachesTheDisk();
};

void FormSaveTest::ticksPersistAndNoOrCloseWriteNothing() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    QVERIFY(save);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormSave"});
    for (const auto& [name, file] : Checks) QVERIFY(save->findChild<QCheckBox*>(name)->isChecked());

    QTest::mouseClick(save->findChild<QCheckBox*>("CheckScore"), Qt::LeftButton);
    click(save, "CommandCancel");
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QCOMPARE(openSave(mod), save);
    SaveGroups groups = save->groups();
    QVERIFY(groups.FriendlyFire && !groups.ScoreList && groups.BotSettings && groups.BotNames);

    // No to "Save?" leaves the window open as it was.
    mod.dialogs.answers = {false};
    click(save, "CommandSave");
    QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});
    QCOMPARE(mod.state.Answer, AnswerNo);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormSave"});
    QVERIFY(!save->groups().ScoreList);

    // Enter and Escape press nothing; the window system's close acts as Cancel.
    QTest::keyClick(save, Qt::Key_Return);
    QTest::keyClick(save, Qt::Key_Escape);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormSave"});
    save->close();
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QCOMPARE(snapshot(mod), before);
    QCOMPARE(mod.dialogs.shown.size(), std::size_t{1});
}

void FormSaveTest::writesOnlyTheTickedGroups_data() {
    QTest::addColumn<QStringList>("ticked");
    QTest::newRow("bot names only") << QStringList{"CheckBotNames"};
    QTest::newRow("friendly fire and bots") << QStringList{"CheckFF", "CheckBots"};
    QTest::newRow("none") << QStringList{};
}

void FormSaveTest::writesOnlyTheTickedGroups() {
    QFETCH(QStringList, ticked);
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    tickOnly(save, ticked);
    mod.dialogs.answers = {true};
    click(save, "CommandSave");

    QCOMPARE(mod.state.Answer, AnswerYes);
    QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});  // success is silent
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    for (const auto& [name, file] : Checks) {
        const bool written = mod.read(file) != before.at(file);
        QVERIFY2(written == ticked.contains(QLatin1String(name)), name);
    }
    if (ticked.contains("CheckBotNames")) {
        QByteArray names = before.at(BotNamesFile);
        names.replace("addBotName Kestrel", "addBotName Talon");
        QCOMPARE(mod.read(BotNamesFile), names);
    }
    // Whatever was written, the window still shows every edit.
    QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("76"));
    QCOMPARE(mod.find<QLabel>("LabelMaxBots")->text(), QStringLiteral("256"));
}

void FormSaveTest::missingFileIsReportedAndEditsKept() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    QVERIFY(QFile::remove(mod.path(AIDefaultsFile)));
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    mod.dialogs.answers = {true};
    click(save, "CommandSave");
    QCOMPARE(mod.dialogs.texts(), (QStringList{"Save?", "File not found! No data saved."}));
    QCOMPARE(snapshot(mod), before);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("76"));
    QCOMPARE(rowText(mod.find<QListView>("ListBotNames"), 2), QStringLiteral("Talon"));
}

void FormSaveTest::failedFilesAreReportedInOneMessage() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    save->setFileReplacer([](const ReplaceRequest& request) {
        if (request.path.filename() == "scoringCommon.py")
            return ReplaceResult{ReplaceResult::Failed, "no space left on the device", {}, {}};
        return replaceModFile(request);
    });
    mod.dialogs.answers = {true};
    click(save, "CommandSave");

    QCOMPARE(mod.dialogs.shown.size(), std::size_t{2});
    QCOMPARE(mod.dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    const QString message = mod.dialogs.shown[1].text;
    QVERIFY2(message.contains("python/game/scoringCommon.py") && message.contains("no space left on the device"),
             qPrintable(message));
    QVERIFY(!message.contains("BotNames.AI"));
    // The other groups were written; the failed one kept its file and its edit.
    QVERIFY(mod.read(BotNamesFile) != before.at(BotNamesFile));
    QCOMPARE(mod.read(ScoringFile), before.at(ScoringFile));
    QVERIFY(rowText(mod.find<QListView>("ListScores"), 0).startsWith("SCORE_KILL = 9"));
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
}

void FormSaveTest::scoreEditReachesTheDisk() {
    LoadedMod mod;
    QVERIFY(mod.main);
    const auto before = snapshot(mod);

    doubleClickRow(mod.find<QListView>("ListScores"), 0);
    FormEdit* edit = mod.main->formEdit();
    QVERIFY(edit && edit->isVisible());
    QTest::mouseClick(edit->findChild<ArrowSpinner*>("VScrollNum")->findChild<QToolButton*>("ArrowDown"),
                      Qt::LeftButton);
    click(edit, "CommandAccept");
    FormSave* save = openSave(mod);
    QVERIFY(save);
    tickOnly(save, {"CheckScore"});
    mod.dialogs.answers = {true};
    click(save, "CommandSave");

    QByteArray scoring = before.at(ScoringFile);
    QVERIFY(scoring.contains("\r\nSCORE_KILL = 2   # points for a kill\r\n"));
    scoring.replace("\r\nSCORE_KILL = 2   #", "\r\nSCORE_KILL = 3   #");
    QCOMPARE(mod.read(ScoringFile), scoring);
    for (const QString& file : {BotNamesFile, ServerSettingsFile, AIDefaultsFile})
        QCOMPARE(mod.read(file), before.at(file));
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
}

QTEST_MAIN(FormSaveTest)
#include "tst_form_save.moc"
