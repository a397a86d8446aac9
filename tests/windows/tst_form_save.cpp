#include "WindowTest.h"

#include "ArrowSpinner.h"
#include "FormEdit.h"
#include "FormSave.h"
#include "ModFiles.h"
#include "PictureButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

const char* const Checks[] = {"CheckFF", "CheckScore", "CheckBots", "CheckBotNames"};

FormSave* openSave(LoadedMod& mod) {
    QTest::mouseClick(mod.find("PictureSave"), Qt::LeftButton);
    return mod.main->formSave();
}

// Leaves ticked exactly the boxes named.
void tickOnly(FormSave* save, std::initializer_list<const char*> ticked) {
    for (const char* name : Checks) {
        auto* box = save->findChild<QCheckBox*>(name);
        const bool wanted = std::find_if(ticked.begin(), ticked.end(), [&](const char* t) {
                                return qstrcmp(t, name) == 0;
                            }) != ticked.end();
        if (box->isChecked() != wanted) QTest::mouseClick(box, Qt::LeftButton);
    }
}

void click(QWidget* window, const char* button) {
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
}

// One edit in each group, made through the main window's controls and the state.
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
    void ticksStartSetAndPersistAcrossOpenings();
    void answeringNoWritesNothingAndStays();
    void writesOnlyTheTickedGroups();
    void allBoxesClearWritesNothing();
    void missingFileIsReportedAndEditsKept();
    void failedFilesAreReportedInOneMessage();
    void windowSystemCloseActsAsCancel();
    void scoreEditReachesTheDisk();
};

void FormSaveTest::ticksStartSetAndPersistAcrossOpenings() {
    LoadedMod mod;
    QVERIFY(mod.main);
    FormSave* save = openSave(mod);
    QVERIFY(save);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormSave"});
    for (const char* name : Checks) QVERIFY(save->findChild<QCheckBox*>(name)->isChecked());
    QCOMPARE(save->findChild<QCheckBox*>("CheckBots")->text().replace("&&", "&"), QStringLiteral("Max Bots & Bot Skill"));

    QTest::mouseClick(save->findChild<QCheckBox*>("CheckScore"), Qt::LeftButton);
    click(save, "CommandCancel");
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});

    QCOMPARE(openSave(mod), save);
    const SaveGroups groups = save->groups();
    QVERIFY(groups.FriendlyFire && !groups.ScoreList && groups.BotSettings && groups.BotNames);
    QVERIFY(mod.dialogs.shown.empty());
}

void FormSaveTest::answeringNoWritesNothingAndStays() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    QTest::mouseClick(save->findChild<QCheckBox*>("CheckFF"), Qt::LeftButton);
    mod.dialogs.answers = {false};
    click(save, "CommandSave");
    QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});
    QCOMPARE(mod.state.Answer, AnswerNo);
    QCOMPARE(snapshot(mod), before);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormSave"});
    QVERIFY(!save->groups().FriendlyFire);
    QVERIFY(save->groups().ScoreList);
}

void FormSaveTest::writesOnlyTheTickedGroups() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    tickOnly(save, {"CheckBotNames"});
    mod.dialogs.answers = {true};
    click(save, "CommandSave");

    QCOMPARE(mod.state.Answer, AnswerYes);
    QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});  // success is silent
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QByteArray names = before.at(BotNamesFile);
    names.replace("addBotName Kestrel", "addBotName Talon");
    QCOMPARE(mod.read(BotNamesFile), names);
    for (const QString& file : {ServerSettingsFile, AIDefaultsFile, ScoringFile})
        QCOMPARE(mod.read(file), before.at(file));
    // The unsaved edits are still shown.
    QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("76"));
    QCOMPARE(mod.find<QLabel>("LabelMaxBots")->text(), QStringLiteral("256"));
}

void FormSaveTest::allBoxesClearWritesNothing() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    tickOnly(save, {});
    mod.dialogs.answers = {true};
    click(save, "CommandSave");
    QCOMPARE(snapshot(mod), before);
    QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
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
    QCOMPARE(mod.state.BotNames[2].Name, std::string("Talon"));
    QCOMPARE(rowText(mod.find<QListView>("ListBotNames"), 2), QStringLiteral("Talon"));
}

void FormSaveTest::failedFilesAreReportedInOneMessage() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    save->setFileReplacer([](const std::filesystem::path& target, std::string_view bytes) -> std::string {
        if (target.filename() == "scoringCommon.py") return "no space left on the device";
        return replaceFileContents(target, bytes);
    });
    mod.dialogs.answers = {true};
    click(save, "CommandSave");

    QCOMPARE(mod.dialogs.shown.size(), std::size_t{2});
    const QString message = mod.dialogs.shown[1].text;
    QCOMPARE(mod.dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    QVERIFY2(message.contains("python/game/scoringCommon.py") && message.contains("no space left on the device"),
             qPrintable(message));
    QVERIFY(!message.contains("BotNames.AI"));
    // The other groups were written; the failed one kept its file and its edit.
    QVERIFY(mod.read(BotNamesFile) != before.at(BotNamesFile));
    QCOMPARE(mod.read(ScoringFile), before.at(ScoringFile));
    QCOMPARE(mod.state.ScoreValues[mod.state.ListScores[0].Index], 9);
    QVERIFY(rowText(mod.find<QListView>("ListScores"), 0).startsWith("SCORE_KILL = 9"));
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
}

void FormSaveTest::windowSystemCloseActsAsCancel() {
    LoadedMod mod;
    QVERIFY(mod.main);
    editEveryGroup(mod);
    const auto before = snapshot(mod);
    FormSave* save = openSave(mod);
    QTest::keyClick(save, Qt::Key_Return);
    QTest::keyClick(save, Qt::Key_Escape);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormSave"});
    save->close();
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QCOMPARE(snapshot(mod), before);
    QVERIFY(mod.dialogs.shown.empty());
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
    QCOMPARE(rowText(mod.find<QListView>("ListScores"), 0), QStringLiteral("SCORE_KILL = 3   # points for a kill"));
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
}

QTEST_MAIN(FormSaveTest)
#include "tst_form_save.moc"
