#include "WindowTest.h"

#include "ArrowSpinner.h"
#include "FormEdit.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// A double-click on the row, or with `key` the row selected and that key pressed.
FormEdit* open(LoadedMod& mod, const char* list, int row, Qt::Key key = Qt::Key_unknown) {
    auto* view = mod.find<QListView>(list);
    if (key == Qt::Key_unknown) {
        doubleClickRow(view, row);
    } else {
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, key);
    }
    return mod.main->formEdit();
}

void clickArrow(FormEdit* edit, const char* arrow) {
    QTest::mouseClick(edit->findChild<ArrowSpinner*>("VScrollNum")->findChild<QToolButton*>(arrow), Qt::LeftButton);
}

void click(FormEdit* edit, const char* button) {
    QTest::mouseClick(edit->findChild<QPushButton*>(button), Qt::LeftButton);
}

QString caption(FormEdit* edit, const char* label) { return edit->findChild<QLabel*>(label)->text(); }

// The three score controls come and go together.
QString scoreControls(FormEdit* edit) {
    int shown = 0;
    for (const char* name : {"VScrollNum", "LabelLScore", "LabelScore"})
        shown += edit->findChild<QWidget*>(name)->isVisible() ? 1 : 0;
    return shown == 3 ? QStringLiteral("shown") : shown == 0 ? QStringLiteral("hidden") : QStringLiteral("mixed");
}

}  // namespace

class FormEditTest : public QObject {
    Q_OBJECT
private slots:
    void eachOpeningShowsOnlyItsOwnMode_data();
    void eachOpeningShowsOnlyItsOwnMode();
    void scoreArrowsStepWithinTheSpanAndAcceptStores();
    void scoreBeyondTheSpanWidensIt();
    void cancelAndWindowCloseDropTheEdit();
    void botNameAcceptedAsTyped();
    void botNameRefusesWhatTheFileCannotHold();
};

void FormEditTest::eachOpeningShowsOnlyItsOwnMode_data() {
    QTest::addColumn<int>("key");  // how a row is opened
    QTest::newRow("double-click") << int(Qt::Key_unknown);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

void FormEditTest::eachOpeningShowsOnlyItsOwnMode() {
    QFETCH(int, key);
    LoadedMod mod;
    QVERIFY(mod.main);
    FormEdit* edit = open(mod, "ListBotNames", 2, Qt::Key(key));
    QVERIFY(edit);
    auto* text = edit->findChild<QLineEdit*>("TextBotName");
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormEdit"});
    QCOMPARE(caption(edit, "LabelLEditing"), QStringLiteral("Editing Bot Name: "));
    QVERIFY(text->isVisible());
    QCOMPARE(text->text(), QStringLiteral("Kestrel"));
    QCOMPARE(scoreControls(edit), QStringLiteral("hidden"));
    QCOMPARE(mod.state.EditMode, -1);
    QCOMPARE(mod.state.EditIndex, 2);
    click(edit, "CommandCancel");
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});

    // The score opening clears and hides the text field and fills every score control.
    QCOMPARE(open(mod, "ListScores", 1, Qt::Key(key)), edit);  // the same window, kept between openings
    QCOMPARE(caption(edit, "LabelLEditing"), QStringLiteral("Editing Score: "));
    QVERIFY(!text->isVisible());
    QVERIFY(text->text().isEmpty());
    QCOMPARE(scoreControls(edit), QStringLiteral("shown"));
    QCOMPARE(caption(edit, "LabelLScore"), QStringLiteral("SCORE_TEAMKILL"));
    QCOMPARE(edit->findChild<QLabel*>("LabelLScore")->toolTip(), QStringLiteral("SCORE_TEAMKILL"));
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("-4"));
    QCOMPARE(edit->findChild<ArrowSpinner*>("VScrollNum")->value(), -4);
    QCOMPARE(mod.state.EditMode, 0);
    QCOMPARE(mod.state.EditIndex, 1);
    click(edit, "CommandCancel");

    // Back to a bot name: the score controls go again and the field holds the new name.
    open(mod, "ListBotNames", 5, Qt::Key(key));
    QVERIFY(text->isVisible());
    QCOMPARE(text->text(), QString::fromStdString(mod.state.botName(5)));
    QCOMPARE(scoreControls(edit), QStringLiteral("hidden"));
}

void FormEditTest::scoreArrowsStepWithinTheSpanAndAcceptStores() {
    LoadedMod mod;
    QVERIFY(mod.main);
    FormEdit* edit = open(mod, "ListScores", 0);  // SCORE_KILL = 2
    QVERIFY(edit);
    auto* scroll = edit->findChild<ArrowSpinner*>("VScrollNum");
    QTest::keyClick(scroll, Qt::Key_Home);
    clickArrow(edit, "ArrowUp");
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("-200"));
    QTest::keyClick(scroll, Qt::Key_End);
    clickArrow(edit, "ArrowDown");
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("200"));
    click(edit, "CommandCancel");

    open(mod, "ListScores", 0);
    clickArrow(edit, "ArrowUp");
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("1"));
    clickArrow(edit, "ArrowDown");
    clickArrow(edit, "ArrowDown");
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("3"));
    click(edit, "CommandAccept");
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QCOMPARE(mod.state.ScoreValues[mod.state.ListScores[0].Index], 3);
    // The list shows the line as the file will hold it: only the value replaced.
    QCOMPARE(rowText(mod.find<QListView>("ListScores"), 0), QStringLiteral("SCORE_KILL = 3   # points for a kill"));
}

void FormEditTest::scoreBeyondTheSpanWidensIt() {
    LoadedMod mod([](LoadedMod& m) {
        QByteArray scoring = m.read(ScoringFile);
        scoring.replace("SCORE_KILL = 2 ", "SCORE_KILL = 500 ");
        scoring.replace("SCORE_TEAMKILL = -4", "SCORE_TEAMKILL = -5000000000");
        m.write(ScoringFile, scoring);
    });
    QVERIFY(mod.main);
    FormEdit* edit = open(mod, "ListScores", 0);
    QVERIFY(edit);
    auto* scroll = edit->findChild<ArrowSpinner*>("VScrollNum");
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("500"));
    clickArrow(edit, "ArrowDown");  // already at the widened end
    QCOMPARE(scroll->value(), 500);
    clickArrow(edit, "ArrowUp");
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("499"));
    click(edit, "CommandCancel");

    // Beyond int's range too, and the next constant gets the usual span back.
    open(mod, "ListScores", 1);
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("-5000000000"));
    click(edit, "CommandAccept");
    QCOMPARE(mod.state.ScoreValues[mod.state.ListScores[1].Index], Q_INT64_C(-5000000000));
    open(mod, "ListScores", 2);
    QCOMPARE(scroll->minimum(), -200);
    QCOMPARE(scroll->maximum(), 200);
}

void FormEditTest::cancelAndWindowCloseDropTheEdit() {
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* scores = mod.find<QListView>("ListScores");
    const QString line = rowText(scores, 0);
    FormEdit* edit = open(mod, "ListScores", 0);
    QVERIFY(edit);
    clickArrow(edit, "ArrowDown");
    click(edit, "CommandCancel");
    QCOMPARE(rowText(scores, 0), line);

    open(mod, "ListScores", 0);
    QCOMPARE(caption(edit, "LabelScore"), QStringLiteral("2"));  // the stored value, not the abandoned one
    clickArrow(edit, "ArrowDown");
    // Neither button is a default: Enter and Escape press nothing.
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormEdit"});
    edit->close();  // the window system's close acts as Cancel
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
    QCOMPARE(mod.state.ScoreValues[mod.state.ListScores[0].Index], 2);
    QCOMPARE(rowText(scores, 0), line);
}

void FormEditTest::botNameAcceptedAsTyped() {
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* bots = mod.find<QListView>("ListBotNames");
    FormEdit* edit = open(mod, "ListBotNames", 2);
    QVERIFY(edit);
    auto* text = edit->findChild<QLineEdit*>("TextBotName");
    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(text, " Talon ");  // taken as it stands, blanks and all
    click(edit, "CommandAccept");
    QCOMPARE(mod.state.botName(2), std::string(" Talon "));
    QCOMPARE(rowText(bots, 2), QStringLiteral(" Talon "));

    open(mod, "ListBotNames", 3);
    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_Backspace);
    click(edit, "CommandAccept");
    QCOMPARE(mod.state.botName(3), std::string());
    QCOMPARE(rowText(bots, 3), QString());
    QCOMPARE(bots->model()->rowCount(), static_cast<int>(mod.state.botCount()));
    QVERIFY(mod.dialogs.shown.empty());
}

void FormEditTest::botNameRefusesWhatTheFileCannotHold() {
    LoadedMod mod;
    QVERIFY(mod.main);
    FormEdit* edit = open(mod, "ListBotNames", 0);
    QVERIFY(edit);
    auto* text = edit->findChild<QLineEdit*>("TextBotName");
    text->clear();
    QTest::keyClicks(text, QString(256, QLatin1Char('x')));
    QTest::keyClick(text, Qt::Key_Y);
    QCOMPARE(text->text(), QString(256, QLatin1Char('x')));
    QVERIFY(QToolTip::text().contains(QStringLiteral("256")));

    text->clear();
    QTest::keyClicks(text, "Zo");
    // Omega: typed on a Greek keyboard, not in the code page.
    QTest::sendKeyEvent(QTest::Click, text, Qt::Key_unknown, QStringLiteral("\u03A9"), Qt::NoModifier);
    QCOMPARE(text->text(), QStringLiteral("Zo"));
    QCOMPARE(QToolTip::text(), QString::fromStdString(describe(NameProblem::NotEncodable)));

    // A paste goes in whole; one holding a line break or a tab, which would smuggle a
    // second line into the file, is refused whole.
    QApplication::clipboard()->setText(QStringLiteral("Ok"));
    QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(text->text(), QStringLiteral("ZoOk"));
    for (const QString& pasted : {QStringLiteral("ab\ncd"), QStringLiteral("ab\tcd"), QStringLiteral("ab\rcd")}) {
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(text->text(), QStringLiteral("ZoOk"));
    }
    click(edit, "CommandAccept");
    QCOMPARE(mod.state.botName(0), std::string("ZoOk"));
}

QTEST_MAIN(FormEditTest)
#include "tst_form_edit.moc"
