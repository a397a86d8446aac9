#include "WindowTest.h"

#include "FormEdit.h"
#include "FormSave.h"
#include "ModFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

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
    void ticksHoldAndOnlyTheTickedGroupsAreWritten_data() {
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<bool>("yes");  // the answer to "Save?"
        QTest::newRow("bot names only") << QStringList{"CheckBotNames"} << true;
        QTest::newRow("friendly fire only") << QStringList{"CheckFF"} << true;
        QTest::newRow("friendly fire and bots") << QStringList{"CheckFF", "CheckBots"} << true;
        QTest::newRow("none") << QStringList{} << true;
        QTest::newRow("answered No") << QStringList{"CheckFF", "CheckBots", "CheckBotNames"} << false;
    }

    void ticksHoldAndOnlyTheTickedGroupsAreWritten() {
        QFETCH(QStringList, ticked);
        QFETCH(bool, yes);
        LoadedMod mod;
        const auto before = mod.snapshot();
        FormSave* save = editEveryGroupAndOpenSave(mod);
        QVERIFY(save);
        QCOMPARE(visibleWindows(), QStringList{"FormSave"});
        for (const auto& [name, file] : Checks) {
            auto* box = save->findChild<QCheckBox*>(name);
            QVERIFY(box->isChecked());  // every group, at first
            if (!ticked.contains(name)) QTest::mouseClick(box, Qt::LeftButton);
        }
        click(save, "CommandCancel");  // the ticks outlast it
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});
        click(&mod.main, "PictureSave");
        QCOMPARE(mod.main.formSave(), save);
        mod.dialogs.answers = {yes};
        QSignalSpy refreshed(mod.find<QListView>("ListScores")->model(), &QAbstractItemModel::dataChanged);
        click(save, "CommandSave");
        QCOMPARE(refreshed.isEmpty(), !yes);  // the main window shows what the files now hold
        QCOMPARE(mod.state.Answer, yes ? AnswerYes : AnswerNo);
        QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});  // success is silent
        if (!yes) {                                           // No leaves the window open as it was
            QCOMPARE(visibleWindows(), QStringList{"FormSave"});
            QVERIFY(!save->findChild<QCheckBox*>("CheckScore")->isChecked());
            closesOnlyAsCancel(save);
        }
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});
        for (const auto& [name, file] : Checks)
            QVERIFY2((mod.read(file) != before.at(file)) == (yes && ticked.contains(name)), name);
        // Whatever was written, the window still shows every edit.
        QCOMPARE(mod.find<QLabel>("LabelMaxBots")->text(), QStringLiteral("256"));
    }

    // Another program changed a value the user did not touch: the save carries the edit
    // over to its file, and from then on the window shows and steps from its value.
    void aMergedSaveShowsWhatTheOtherProgramWrote() {
        LoadedMod mod;
        const auto save = [&] {
            click(&mod.main, "PictureSave");
            mod.dialogs.answers = {true};
            click(mod.main.formSave(), "CommandSave");
            QCOMPARE(visibleWindows(), QStringList{"FormMain"});
        };
        click(mod.find("VScrollVSD"), "ArrowDown");  // 40 to 41
        QByteArray theirs = mod.read(ServerSettingsFile);
        theirs.replace("sv.vehicleFriendlyFire 50", "sv.vehicleFriendlyFire 30");
        QVERIFY(writeAll(mod.path(ServerSettingsFile), theirs));
        QByteArray expected = theirs;
        expected.replace("sv.vehicleSplashFriendlyFire 40", "sv.vehicleSplashFriendlyFire 41");
        for (int round = 0; round < 2; ++round) {  // the second writes nothing
            save();
            QCOMPARE(mod.read(ServerSettingsFile), expected);
            QCOMPARE(mod.find<QLabel>("LabelVFD")->text(), QStringLiteral("30"));
            QCOMPARE(mod.find<QLabel>("LabelVSD")->text(), QStringLiteral("41"));
        }
        click(mod.find("VScrollVFD"), "ArrowDown");
        save();
        expected.replace("sv.vehicleFriendlyFire 30", "sv.vehicleFriendlyFire 31");
        QCOMPARE(mod.read(ServerSettingsFile), expected);
        QCOMPARE(mod.dialogs.texts(), QStringList(3, "Save?"));  // no failure said
    }

    // Each edit is marked where it shows and listed on its group's box until a save
    // writes it; a value stepped back to what the file holds is no edit.
    void editsAreMarkedAndListedUntilSaved() {
        LoadedMod mod;
        auto* skill = mod.find<QLabel>("LabelBotSkill");
        auto* bots = mod.find<QListView>("ListBotNames");
        auto* scores = mod.find<QListView>("ListScores");
        const auto marked = [](QLabel* label) {
            return label->palette().color(QPalette::WindowText) == QColor::fromRgb(EditedYellow) &&
                   label->font().italic();
        };
        const auto rowMarked = [](QListView* list, int row) {
            const QModelIndex at = list->model()->index(row, 0);
            return at.data(Qt::FontRole).value<QFont>().italic() && at.data(Qt::ForegroundRole).isValid();
        };
        QTest::keyClick(mod.find("SliderBotSkill"), Qt::Key_Left);
        QVERIFY(marked(skill));
        QCOMPARE(skill->toolTip(), QStringLiteral("was 70"));
        QTest::keyClick(mod.find("SliderMaxBots"), Qt::Key_Right);
        QTest::keyClick(mod.find("SliderMaxBots"), Qt::Key_Left);
        QVERIFY(!marked(mod.find<QLabel>("LabelMaxBots")) && !marked(mod.find<QLabel>("LabelSFD")));

        openRow(bots, 2);
        mod.main.formEdit()->findChild<QLineEdit*>("TextBotName")->setText("Talon");
        click(mod.main.formEdit(), "CommandAccept");
        openRow(scores, 0);
        click(mod.main.formEdit(), "ArrowDown");
        click(mod.main.formEdit(), "CommandAccept");
        QVERIFY(rowMarked(bots, 2) && rowMarked(scores, 0) && !rowMarked(bots, 1) && !rowMarked(scores, 1));
        QVERIFY(bots->model()->index(2, 0).data(Qt::ToolTipRole).toString().endsWith("\nwas Kestrel"));
        QVERIFY(scores->model()->index(0, 0).data(Qt::ToolTipRole).toString().endsWith("\nwas 2"));

        click(&mod.main, "PictureSave");
        FormSave* save = mod.main.formSave();
        const auto tips = [save] {
            QStringList all;
            for (const auto& [name, file] : Checks) all << child(save, name)->toolTip();
            return all;
        };
        QCOMPARE(tips(), (QStringList{"No changes.", "Will write:\nSCORE_KILL: 2 → 3",
                                      "Will write:\nBot Skill: 70 → 69",
                                      "Will write:\nRow 3: Kestrel → Talon"}));
        mod.dialogs.answers = {true};
        click(save, "CommandSave");
        QCOMPARE(mod.dialogs.texts(), QStringList{"Save?"});  // saving stays silent
        QVERIFY(!marked(skill) && skill->toolTip().isEmpty() && !rowMarked(bots, 2) && !rowMarked(scores, 0));
        click(&mod.main, "PictureSave");
        QCOMPARE(tips(), QStringList(4, "No changes."));
    }

    // Another program set the max bots the user also edited: the save refuses the file and
    // offers its version. No keeps everything as it was; Yes takes its max bots and keeps
    // the bot-skill edit, which the next save writes into its file.
    void aRefusedFileOffersTheOtherProgramsVersionAndKeepsTheOtherEdits() {
        LoadedMod mod;
        QTest::keyClick(mod.find("SliderMaxBots"), Qt::Key_End);
        QTest::keyClick(mod.find("SliderBotSkill"), Qt::Key_Left);
        QByteArray theirs = mod.read(AIDefaultsFile);
        QVERIFY(writeAll(mod.path(AIDefaultsFile), theirs.replace("setMaxNBots 24", "setMaxNBots 30")));
        const QString offer = "Take AI/AIDefault.AI as the other program left it, and keep your other edits in it?";
        for (bool take : {false, true}) {
            click(&mod.main, "PictureSave");
            mod.dialogs.answers = {true, take};
            click(mod.main.formSave(), "CommandSave");
            QCOMPARE(mod.dialogs.shown.back().text, offer);
            QCOMPARE(mod.read(AIDefaultsFile), theirs);
        }
        QCOMPARE(mod.find<QLabel>("LabelMaxBots")->text(), QStringLiteral("30"));
        QCOMPARE(mod.find<QLabel>("LabelBotSkill")->text(), QStringLiteral("69"));
        click(&mod.main, "PictureSave");
        mod.dialogs.answers = {true};
        click(mod.main.formSave(), "CommandSave");
        QCOMPARE(mod.read(AIDefaultsFile), QByteArray(theirs).replace("setBotSkill 0.7", "setBotSkill 0.69"));
    }

    void missingFileIsReportedAndEditsKept() {
        LoadedMod mod;
        QVERIFY(QFile::rename(mod.path(AIDefaultsFile), mod.path("away")));
        const auto before = mod.snapshot();
        FormSave* save = editEveryGroupAndOpenSave(mod);
        QTest::mouseClick(child(save, "CheckBots"), Qt::LeftButton);  // its group unticked: still missing
        mod.dialogs.answers = {true};
        click(save, "CommandSave");
        QCOMPARE(mod.dialogs.texts(), (QStringList{"Save?", "File not found! No data saved."}));
        QCOMPARE(mod.snapshot(), before);
        QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("76"));
        QCOMPARE(rowText(mod.find<QListView>("ListBotNames"), 2), QStringLiteral("Talon"));

        // The file back, one that cannot be replaced: reported in one message, by path and
        // reason; the other groups are written, the failed one keeps its file and its edit.
        QVERIFY(QFile::rename(mod.path("away"), mod.path(AIDefaultsFile)));
        save->setFileReplacer([](const ReplaceRequest& request) {
            if (request.path.filename() == "scoringCommon.py")
                return ReplaceResult{ReplaceResult::Failed, "no space left on the device", {}, {}};
            return replaceModFile(request);
        });
        click(&mod.main, "PictureSave");
        mod.dialogs.answers = {true};
        click(save, "CommandSave");
        QCOMPARE(mod.dialogs.shown.size(), std::size_t{4});
        const QString message = mod.dialogs.shown[3].text;  // an error: a question would be unscripted
        QVERIFY2(message.contains("python/game/scoringCommon.py") && message.contains("no space left on the device"),
                 qPrintable(message));
        QVERIFY(!message.contains("BotNames.AI"));
        QVERIFY(mod.read(BotNamesFile) != before.at(BotNamesFile));
        QCOMPARE(mod.read(ScoringFile), before.at(ScoringFile));
        QVERIFY(rowText(mod.find<QListView>("ListScores"), 0).startsWith("SCORE_KILL = 9"));
        // Leaving now would drop that edit, and the question says so.
        mod.dialogs.answers = {false};
        mod.main.close();
        QCOMPARE(mod.dialogs.shown.back().informative, QStringLiteral("Unsaved: score list, max bots & bot skill"));
    }
};

QTEST_MAIN(FormSaveTest)
#include "tst_form_save.moc"
