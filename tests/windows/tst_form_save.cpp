#include "WindowTest.h"

#include "FormSave.h"
#include "ModFiles.h"

#include <QCheckBox>
#include <QLabel>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// Each box with the file its group is written to.
const std::pair<const char*, QString> Checks[] = {{"CheckFF", ServerSettingsFile},
                                                  {"CheckScore", ScoringFile},
                                                  {"CheckBots", AIDefaultsFile},
                                                  {"CheckBotNames", BotNamesFile}};

// One edit in each group, then the save window.
FormSave* editEveryGroupAndOpenSave(LoadedMod& mod) {
    click(mod.find("VScrollSFD"), "ArrowDown");
    QTest::keyClick(mod.find("SliderMaxBots"), Qt::Key_End);
    if (mod.state.setBotName(2, "Talon") != NameProblem::None) return nullptr;
    mod.state.setScoreValue(0, 9);
    click(&mod.main, "PictureSave");
    return mod.main.formSave();
}

}  // namespace

class FormSaveTest : public QObject {
    Q_OBJECT
private slots:
    void ticksPersistAndNoOrCloseWriteNothing() {
        LoadedMod mod;
        const auto before = mod.snapshot();
        FormSave* save = editEveryGroupAndOpenSave(mod);
        QVERIFY(save);
        QCOMPARE(visibleWindows(), QStringList{"FormSave"});
        for (const auto& [name, file] : Checks) QVERIFY(save->findChild<QCheckBox*>(name)->isChecked());

        QTest::mouseClick(save->findChild<QCheckBox*>("CheckScore"), Qt::LeftButton);
        click(save, "CommandCancel");
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});
        click(&mod.main, "PictureSave");
        QCOMPARE(mod.main.formSave(), save);
        SaveGroups groups = save->groups();
        QVERIFY(groups.FriendlyFire && !groups.ScoreList && groups.BotSettings && groups.BotNames);

        // No to "Save?" leaves the window open as it was.
        mod.dialogs.answers = {false};
        click(save, "CommandSave");
        QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});
        QCOMPARE(mod.state.Answer, AnswerNo);
        QCOMPARE(visibleWindows(), QStringList{"FormSave"});
        QVERIFY(!save->groups().ScoreList);
        closesOnlyAsCancel(save);
        QCOMPARE(mod.snapshot(), before);
    }

    void writesOnlyTheTickedGroups_data() {
        QTest::addColumn<QStringList>("ticked");
        QTest::newRow("bot names only") << QStringList{"CheckBotNames"};
        QTest::newRow("friendly fire only") << QStringList{"CheckFF"};
        QTest::newRow("friendly fire and bots") << QStringList{"CheckFF", "CheckBots"};
        QTest::newRow("none") << QStringList{};
    }

    void writesOnlyTheTickedGroups() {
        QFETCH(QStringList, ticked);
        LoadedMod mod;
        const auto before = mod.snapshot();
        FormSave* save = editEveryGroupAndOpenSave(mod);
        QVERIFY(save);
        for (const auto& [name, file] : Checks) {
            auto* box = save->findChild<QCheckBox*>(name);
            if (box->isChecked() != ticked.contains(name)) QTest::mouseClick(box, Qt::LeftButton);
        }
        mod.dialogs.answers = {true};
        click(save, "CommandSave");

        QCOMPARE(mod.state.Answer, AnswerYes);
        QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});  // success is silent
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});
        for (const auto& [name, file] : Checks)
            QVERIFY2((mod.read(file) != before.at(file)) == ticked.contains(name), name);
        if (ticked.contains("CheckBotNames")) {
            QByteArray names = before.at(BotNamesFile);
            names.replace("addBotName Kestrel", "addBotName Talon");
            QCOMPARE(mod.read(BotNamesFile), names);
        }
        // Whatever was written, the window still shows every edit.
        QCOMPARE(mod.find<QLabel>("LabelMaxBots")->text(), QStringLiteral("256"));
    }

    void missingFileIsReportedAndEditsKept() {
        LoadedMod mod;
        const QByteArray aiDefaults = mod.read(AIDefaultsFile);
        QVERIFY(QFile::remove(mod.path(AIDefaultsFile)));
        const auto before = mod.snapshot();
        FormSave* save = editEveryGroupAndOpenSave(mod);
        QVERIFY(save);
        mod.dialogs.answers = {true};
        click(save, "CommandSave");
        QCOMPARE(mod.dialogs.texts(), (QStringList{"Save?", "File not found! No data saved."}));
        QCOMPARE(mod.snapshot(), before);
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});
        QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("76"));
        QCOMPARE(rowText(mod.find<QListView>("ListBotNames"), 2), QStringLiteral("Talon"));

        // The file back, one that cannot be replaced: reported in one message, by path and
        // reason; the other groups are written, the failed one keeps its file and its edit.
        QVERIFY(writeAll(mod.path(AIDefaultsFile), aiDefaults));
        save->setFileReplacer([](const ReplaceRequest& request) {
            if (request.path.filename() == "scoringCommon.py")
                return ReplaceResult{ReplaceResult::Failed, "no space left on the device", {}, {}};
            return replaceModFile(request);
        });
        click(&mod.main, "PictureSave");
        mod.dialogs.answers = {true};
        click(save, "CommandSave");
        QCOMPARE(mod.dialogs.shown.size(), std::size_t{4});
        const auto [kind, message] = mod.dialogs.shown[3];
        QCOMPARE(kind, ScriptedDialogs::Shown::Error);
        QVERIFY2(message.contains("python/game/scoringCommon.py") && message.contains("no space left on the device"),
                 qPrintable(message));
        QVERIFY(!message.contains("BotNames.AI"));
        QVERIFY(mod.read(BotNamesFile) != before.at(BotNamesFile));
        QCOMPARE(mod.read(ScoringFile), before.at(ScoringFile));
        QVERIFY(rowText(mod.find<QListView>("ListScores"), 0).startsWith("SCORE_KILL = 9"));
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});
    }
};

QTEST_MAIN(FormSaveTest)
#include "tst_form_save.moc"
