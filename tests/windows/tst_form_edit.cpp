#include "WindowTest.h"

#include "ArrowSpinner.h"
#include "FormEdit.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolTip>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

FormEdit* open(LoadedMod& mod, const char* list, int row, Qt::Key key = Qt::Key_unknown) {
    openRow(mod.find<QListView>(list), row, key);
    return mod.main.formEdit();
}

QString caption(FormEdit* edit, const char* label) {
    return child<QLabel>(edit, label)->text();
}

// Which of the editing controls show: the text field, or the three score controls.
QStringList shownControls(FormEdit* edit) {
    QStringList shown;
    for (const char* name : {"TextBotName", "VScrollNum", "LabelLScore", "LabelScore"})
        if (edit->findChild<QWidget*>(name)->isVisible()) shown << name;
    return shown;
}

}  // namespace

class FormEditTest : public QObject {
    Q_OBJECT
private slots:
    void eachOpeningShowsOnlyItsOwnMode_data() { addOpeningKeys(); }

    void eachOpeningShowsOnlyItsOwnMode() {
        QFETCH(int, key);
        LoadedMod mod;
        FormEdit* edit = open(mod, "ListBotNames", 2, Qt::Key(key));
        QVERIFY(edit);
        auto* text = edit->findChild<QLineEdit*>("TextBotName");
        QCOMPARE(visibleWindows(), QStringList{"FormEdit"});
        QCOMPARE(caption(edit, "LabelLEditing"), QStringLiteral("Editing Bot Name: "));
        QCOMPARE(shownControls(edit), QStringList{"TextBotName"});
        QCOMPARE(text->text(), QStringLiteral("Kestrel"));
        click(edit, "CommandCancel");
        QCOMPARE(visibleWindows(), QStringList{"FormMain"});

        // The score opening clears the text field and fills every score control.
        QCOMPARE(open(mod, "ListScores", 1, Qt::Key(key)), edit);  // the same window, kept between openings
        QCOMPARE(caption(edit, "LabelLEditing"), QStringLiteral("Editing Score: "));
        QCOMPARE(shownControls(edit), QStringList({"VScrollNum", "LabelLScore", "LabelScore"}));
        QVERIFY(text->text().isEmpty());
        QCOMPARE(caption(edit, "LabelLScore"), QStringLiteral("SCORE_TEAMKILL"));
        QCOMPARE(edit->findChild<QLabel*>("LabelLScore")->toolTip(), QStringLiteral("SCORE_TEAMKILL"));
        QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("-4"));
        click(edit, "CommandCancel");

        // Back to a bot name: the field holds the new name.
        open(mod, "ListBotNames", 5, Qt::Key(key));
        QCOMPARE(shownControls(edit), QStringList{"TextBotName"});
        QCOMPARE(text->text(), QString::fromStdString(mod.state.botName(5)));
    }

    void scoreStepsWithinItsSpan_data() {
        QTest::addColumn<qint64>("value");  // SCORE_KILL in the file
        QTest::addColumn<qint64>("lowest");
        QTest::addColumn<qint64>("highest");
        QTest::newRow("usual span") << qint64(2) << qint64(-200) << qint64(200);
        // A value beyond the span widens it, beyond int's range too.
        QTest::newRow("above the span") << qint64(500) << qint64(-200) << qint64(500);
        QTest::newRow("beyond int") << Q_INT64_C(-5000000000) << Q_INT64_C(-5000000000) << qint64(200);
    }

    void scoreStepsWithinItsSpan() {
        QFETCH(qint64, value);
        QFETCH(qint64, lowest);
        QFETCH(qint64, highest);
        LoadedMod mod([value](LoadedMod& m) {
            QByteArray scoring = m.read(ScoringFile);
            scoring.replace("SCORE_KILL = 2 ", "SCORE_KILL = " + QByteArray::number(value) + " ");
            QVERIFY(writeAll(m.path(ScoringFile), scoring));
        });
        auto* scores = mod.find<QListView>("ListScores");
        const QString second = rowText(scores, 1);
        FormEdit* edit = open(mod, "ListScores", 0);
        auto* scroll = child<ArrowSpinner>(edit, "VScrollNum");
        QCOMPARE(caption(edit, "LabelScore"), QString::number(value));
        QTest::keyClick(scroll, Qt::Key_Home);
        click(scroll, "ArrowUp");
        QCOMPARE(caption(edit, "LabelScore"), QString::number(lowest));
        QTest::keyClick(scroll, Qt::Key_End);
        click(scroll, "ArrowDown");
        QCOMPARE(caption(edit, "LabelScore"), QString::number(highest));
        click(edit, "CommandCancel");

        open(mod, "ListScores", 0);
        QCOMPARE(caption(edit, "LabelScore"), QString::number(value));  // the stored value, not the abandoned one
        for (const char* arrow : {"ArrowUp", "ArrowDown", "ArrowDown"}) click(scroll, arrow);
        const qint64 stepped = std::min(std::max(value - 1, lowest) + 2, highest);  // clamped at each end
        QCOMPARE(caption(edit, "LabelScore"), QString::number(stepped));
        click(edit, "CommandAccept");
        QCOMPARE(mod.state.ScoreValues[mod.state.ListScores()[0].Index], stepped);
        // The list shows the line as the file will hold it: only the value replaced.
        QCOMPARE(rowText(scores, 0), QStringLiteral("SCORE_KILL = %1   # points for a kill").arg(stepped));

        open(mod, "ListScores", 1);  // the next constant gets the usual span back
        QCOMPARE(scroll->minimum(), -200);
        QCOMPARE(scroll->maximum(), 200);
        // Typed, on whichever control has the focus: the spinner follows; a number beyond
        // the span or a minus inside one is refused with a tip, and the value stays.
        QWidget* accept = child(edit, "CommandAccept");
        QTest::keyClicks(accept, "-57");
        QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("-57"));
        QTest::keyClick(scroll, Qt::Key_3);
        QCOMPARE(scroll->value(), -57);
        QVERIFY(QToolTip::text().contains("from -200 to 200"));
        QTest::keyClick(accept, Qt::Key_Backspace);
        QTest::keyClick(accept, Qt::Key_Minus);
        QCOMPARE(scroll->value(), -5);
        click(scroll, "ArrowUp");
        closesOnlyAsCancel(edit);
        QCOMPARE(mod.state.ScoreValues[mod.state.ListScores()[1].Index], -4);
        QCOMPARE(rowText(scores, 1), second);
        open(mod, "ListScores", 1);  // typed, then accepted
        QTest::keyClicks(accept, "12");
        click(edit, "CommandAccept");
        QCOMPARE(mod.state.ScoreValues[mod.state.ListScores()[1].Index], 12);
    }

    // A file that lacks constants and holds them out of order: each row opens its own
    // constant; Accept without a step changes nothing, whatever the value's form.
    void eachRowOpensItsOwnConstantAndAcceptAloneEditsNothing() {
        LoadedMod mod([](LoadedMod& m) {
            QVERIFY(writeAll(m.path(ScoringFile), "from qmr import *\nMAX_EMP_TIME = 30\nSCORE_REPAIR = SCORE_SO_REPAIR = 4\n"
                                                  "SCORE_HEAL = 2 * 3\nSCORE_SUICIDE = -0.5\nSCORE_KILL = 9\n"));
        });
        const QStringList names{"SCORE_KILL", "SCORE_SUICIDE", "SCORE_HEAL", "SCORE_REPAIR", "SCORE_SO_REPAIR", "MAX_EMP_TIME"};
        const QStringList shown{"9", "-0.5", "2 * 3", "\u2014", "\u2014", "30"};
        auto* scores = mod.find<QListView>("ListScores");
        for (int row = 0; row < names.size(); ++row) {
            FormEdit* edit = open(mod, "ListScores", row);
            QCOMPARE(caption(edit, "LabelLScore"), names[row]);
            QCOMPARE(caption(edit, "LabelScore"), shown[row]);
            const bool editable = shown[row] != "\u2014";
            QCOMPARE(child(edit, "CommandAccept")->isEnabled(), editable);
            QCOMPARE(child(edit, "VScrollNum")->isEnabled(), editable);
            QCOMPARE(scores->model()->index(row, 0).data(Qt::ToolTipRole).toString().contains("Not editable here"), !editable);
            click(edit, editable ? "CommandAccept" : "CommandCancel");
        }
        for (const ScoreEntry& e : mod.state.ListScores()) QVERIFY(!e.Edited);

        // A fraction shown rounded is written when its rounded value is chosen.
        FormEdit* edit = open(mod, "ListScores", 1);
        for (const char* arrow : {"ArrowUp", "ArrowDown"}) click(child(edit, "VScrollNum"), arrow);
        click(edit, "CommandAccept");
        QCOMPARE(rowText(scores, 1), QStringLiteral("SCORE_SUICIDE = 0"));

        // After a constant that cannot be edited, a bot name can be again.
        open(mod, "ListScores", 3);
        click(edit, "CommandCancel");
        open(mod, "ListBotNames", 0);
        QVERIFY(child(edit, "CommandAccept")->isEnabled());
        child<QLineEdit>(edit, "TextBotName")->setText("Renamed");
        click(edit, "CommandAccept");
        QCOMPARE(mod.state.botName(0), std::string("Renamed"));
    }

    // The caption is set at each opening, also when the spinner already holds the value.
    void eachOpeningSetsTheCaption() {
        LoadedMod mod([](LoadedMod& m) {
            QVERIFY(writeAll(m.path(ScoringFile), "from qmr import *\nSCORE_KILL = 2 * 3\nSCORE_TEAMKILL = 2\n"
                                                  "SCORE_HEAL = SCORE_REVIVE = 2\n"));
        });
        const QStringList shown{"2 * 3", "2", "\u2014", "2"};
        for (int i = 0; i < shown.size(); ++i) {
            FormEdit* edit = open(mod, "ListScores", i < 3 ? i : 1);
            QCOMPARE(caption(edit, "LabelScore"), shown[i]);
            click(edit, "CommandCancel");
        }
    }

    void botNameAcceptedAsTypedUnlessTheFileCannotHoldIt() {
        LoadedMod mod;
        auto* bots = mod.find<QListView>("ListBotNames");
        QSignalSpy repainted(bots->model(), &QAbstractItemModel::dataChanged);
        // Taken as it stands, blanks and all, and an empty name too.
        for (const auto& [row, typed] : {std::pair{2, " Talon "}, std::pair{3, ""}}) {
            FormEdit* edit = open(mod, "ListBotNames", row);
            auto* text = child<QLineEdit>(edit, "TextBotName");
            text->clear();
            QTest::keyClicks(text, typed);
            click(edit, "CommandAccept");
            QCOMPARE(mod.state.botName(row), std::string(typed));
            QCOMPARE(rowText(bots, row), QString(typed));
            QCOMPARE(repainted.size(), 1);  // else the list shows the old name
            QCOMPARE(repainted.takeFirst().at(0).toModelIndex().row(), row);
        }
        QVERIFY(mod.dialogs.shown.empty());

        FormEdit* edit = open(mod, "ListBotNames", 0);
        auto* text = child<QLineEdit>(edit, "TextBotName");
        text->clear();
        QTest::keyClicks(text, QString(256, QLatin1Char('x')) + 'y');
        QCOMPARE(text->text(), QString(256, QLatin1Char('x')));
        QVERIFY(QToolTip::text().contains(QStringLiteral("256")));

        text->clear();
        QTest::keyClicks(text, "Zo");
        // Omega: typed on a Greek keyboard, not in the code page.
        QTest::sendKeyEvent(QTest::Click, text, Qt::Key_unknown, QStringLiteral("\u03A9"), Qt::NoModifier);
        QCOMPARE(text->text(), QStringLiteral("Zo"));
        QCOMPARE(QToolTip::text(), QString::fromStdString(describe(NameProblem::NotEncodable)));

        // A paste goes in whole; one holding a line break, a tab or another control character,
        // which could smuggle a second line into the file, is refused whole.
        for (const char* pasted : {"Ok", "ab\ncd", "ab\tcd", "ab\rcd", "ab\u0085cd"}) {
            QApplication::clipboard()->setText(pasted);
            QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(text->text(), QStringLiteral("ZoOk"));
        }
        click(edit, "CommandAccept");
        QCOMPARE(mod.state.botName(0), std::string("ZoOk"));
    }
};

QTEST_MAIN(FormEditTest)
#include "tst_form_edit.moc"
