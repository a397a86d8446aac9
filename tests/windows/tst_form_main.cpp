#include "WindowTest.h"

#include "ArrowSpinner.h"
#include "PictureButton.h"

#include <QLabel>
#include <QSlider>
#include <QToolButton>

using namespace tarsun;
using namespace tarsun::testing;

class FormMainTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheLoadedValues();
    void spinnerArrowsStepWithinRange_data();
    void spinnerArrowsStepWithinRange();
    void slidersStepWithinRange();
    void exitButtonAsksOnReleaseAnywhere();
    void otherButtonsLeavePictureButtonsAlone();
    void closingByTheWindowSystemAsksToExit();
    void minimiseAndRestoreKeepEveryValue();
    void dragKeepsTheGrabbedPointUnderThePointer();
    void dragStartsOnlyFromTheBareSurface();
    void tabFollowsTheLayoutOrder();
};

void FormMainTest::showsTheLoadedValues() {
    // Before any load every caption shows 0.
    EditorState empty;
    ScriptedDialogs quiet;
    FormMain blank(empty, quiet);
    for (const char* name : {"LabelSFD", "LabelVFD", "LabelSSD", "LabelVSD", "LabelBotSkill", "LabelMaxBots"})
        QCOMPARE(blank.findChild<QLabel*>(name)->text(), QStringLiteral("0"));
    QVERIFY(!blank.isVisible());

    // The sample's six values all differ, so a caption wired to the wrong setting shows.
    LoadedMod mod;
    QVERIFY(mod.main);
    const std::pair<const char*, const char*> captions[] = {{"LabelSFD", "75"}, {"LabelVFD", "50"},
                                                            {"LabelSSD", "60"}, {"LabelVSD", "40"},
                                                            {"LabelBotSkill", "70"}, {"LabelMaxBots", "24"}};
    for (const auto& [name, text] : captions) QCOMPARE(mod.find<QLabel>(name)->text(), QString::fromLatin1(text));
    QCOMPARE(mod.find<ArrowSpinner>("VScrollSSD")->value(), 60);
    QCOMPARE(mod.find<QSlider>("SliderMaxBots")->value(), 24);
    QCOMPARE(mod.find<QSlider>("SliderBotSkill")->value(), 70);

    auto* scores = mod.find<QListView>("ListScores");
    auto* bots = mod.find<QListView>("ListBotNames");
    QCOMPARE(scores->model()->rowCount(), static_cast<int>(mod.state.ListScores.size()));
    QCOMPARE(bots->model()->rowCount(), static_cast<int>(mod.state.BotNames.size()));
    QCOMPARE(rowText(scores, 0), QStringLiteral("SCORE_KILL = 2   # points for a kill"));
    QCOMPARE(rowText(bots, 2), QStringLiteral("Kestrel"));
    QCOMPARE(LoadedMod::visibleWindows(), QStringList{"FormMain"});
}

void FormMainTest::spinnerArrowsStepWithinRange_data() {
    QTest::addColumn<QString>("spinner");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("setting");
    QTest::newRow("SFD") << "VScrollSFD" << "LabelSFD" << int(Setting::SoldierFF);
    QTest::newRow("VFD") << "VScrollVFD" << "LabelVFD" << int(Setting::VehicleFF);
    QTest::newRow("SSD") << "VScrollSSD" << "LabelSSD" << int(Setting::SoldierSplashFF);
    QTest::newRow("VSD") << "VScrollVSD" << "LabelVSD" << int(Setting::VehicleSplashFF);
}

void FormMainTest::spinnerArrowsStepWithinRange() {
    QFETCH(QString, spinner);
    QFETCH(QString, caption);
    QFETCH(int, setting);
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* scroll = mod.find<ArrowSpinner>(spinner.toLatin1());
    auto* label = mod.find<QLabel>(caption.toLatin1());
    auto* upper = scroll->findChild<QToolButton*>("ArrowUp");
    auto* lower = scroll->findChild<QToolButton*>("ArrowDown");
    const auto shown = [&](const char* text) {
        return label->text() == QLatin1String(text) &&
               mod.state.setting(static_cast<Setting>(setting)) == label->text().toInt();
    };

    QTest::keyClick(scroll, Qt::Key_Home);
    QVERIFY(shown("0"));
    QTest::mouseClick(upper, Qt::LeftButton);  // the upper arrow lowers: nothing below 0
    QVERIFY(shown("0"));
    QTest::mouseClick(lower, Qt::LeftButton);
    QVERIFY(shown("1"));

    QTest::keyClick(scroll, Qt::Key_End);
    QVERIFY(shown("100"));
    QTest::mouseClick(lower, Qt::LeftButton);
    QVERIFY(shown("100"));
    QTest::mouseClick(upper, Qt::LeftButton);
    QVERIFY(shown("99"));
}

void FormMainTest::slidersStepWithinRange() {
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* maxBots = mod.find<QSlider>("SliderMaxBots");
    auto* skill = mod.find<QSlider>("SliderBotSkill");
    const auto shows = [&](const char* caption, Setting setting, int value) {
        return mod.find<QLabel>(caption)->text() == QString::number(value) && mod.state.setting(setting) == value;
    };

    QTest::keyClick(maxBots, Qt::Key_Home);
    QTest::keyClick(maxBots, Qt::Key_Left);
    QVERIFY(shows("LabelMaxBots", Setting::MaxBots, 1));
    QTest::keyClick(maxBots, Qt::Key_PageUp);
    QVERIFY(shows("LabelMaxBots", Setting::MaxBots, 6));
    QTest::keyClick(maxBots, Qt::Key_End);
    QTest::keyClick(maxBots, Qt::Key_Right);
    QVERIFY(shows("LabelMaxBots", Setting::MaxBots, 256));

    QTest::keyClick(skill, Qt::Key_End);
    QTest::keyClick(skill, Qt::Key_Right);
    QVERIFY(shows("LabelBotSkill", Setting::BotSkill, 100));
    QTest::keyClick(skill, Qt::Key_PageDown);
    QVERIFY(shows("LabelBotSkill", Setting::BotSkill, 95));
    QTest::keyClick(skill, Qt::Key_Home);
    QTest::keyClick(skill, Qt::Key_Left);
    QVERIFY(shows("LabelBotSkill", Setting::BotSkill, 0));
}

void FormMainTest::exitButtonAsksOnReleaseAnywhere() {
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* exitButton = mod.find<PictureButton>("PictureExit");
    const qint64 released = exitButton->pictureKey();
    const QByteArray scoring = mod.read(ScoringFile);
    mod.find<ArrowSpinner>("VScrollSFD")->setValue(3);  // an unsaved edit

    // Pressed, moved off the button and released far away: the button still owns the release.
    QTest::mousePress(exitButton, Qt::LeftButton);
    QVERIFY(exitButton->pictureKey() != released);
    const QPoint away(-200, 150);
    QTest::mouseMove(exitButton, away);
    mod.dialogs.answers = {false};
    QTest::mouseRelease(exitButton, Qt::LeftButton, {}, away);
    QCOMPARE(exitButton->pictureKey(), released);
    QCOMPARE(mod.dialogs.texts(), QStringList{"Do you want to exit?"});
    QCOMPARE(mod.state.Answer, AnswerNo);
    QVERIFY(!mod.dialogs.ended);
    QVERIFY(mod.main->isVisible());

    mod.dialogs.answers = {true};
    QTest::mouseClick(exitButton, Qt::LeftButton);
    QCOMPARE(mod.state.Answer, AnswerYes);
    QVERIFY(mod.dialogs.ended);
    QCOMPARE(mod.dialogs.shown.size(), std::size_t{2});  // no further window or message
    QCOMPARE(mod.read(ScoringFile), scoring);            // and nothing saved
}

void FormMainTest::otherButtonsLeavePictureButtonsAlone() {
    LoadedMod mod;
    QVERIFY(mod.main);
    for (const char* name : {"PictureExit", "PictureMini"}) {
        auto* button = mod.find<PictureButton>(name);
        const qint64 released = button->pictureKey();
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mousePress(button, other);
            QCOMPARE(button->pictureKey(), released);
            QTest::mouseRelease(button, other);
        }
    }
    QVERIFY(mod.dialogs.shown.empty());
    QVERIFY(!mod.main->isMinimized());
    QVERIFY(mod.main->isVisible());
}

void FormMainTest::closingByTheWindowSystemAsksToExit() {
    LoadedMod mod;
    QVERIFY(mod.main);
    mod.dialogs.answers = {false};
    mod.main->close();
    QCOMPARE(mod.dialogs.texts(), QStringList{"Do you want to exit?"});
    QVERIFY(mod.main->isVisible());
    QVERIFY(!mod.dialogs.ended);

    mod.dialogs.answers = {true};
    mod.main->close();
    QVERIFY(mod.dialogs.ended);
}

void FormMainTest::minimiseAndRestoreKeepEveryValue() {
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* sfd = mod.find<ArrowSpinner>("VScrollSFD");
    QTest::mouseClick(sfd->findChild<QToolButton*>("ArrowDown"), Qt::LeftButton);
    auto* bots = mod.find<QListView>("ListBotNames");
    bots->setCurrentIndex(bots->model()->index(4, 0));
    auto* mini = mod.find<PictureButton>("PictureMini");
    const qint64 released = mini->pictureKey();

    QTest::mouseClick(mini, Qt::LeftButton);
    QVERIFY(mod.main->isMinimized());
    QCOMPARE(mini->pictureKey(), released);

    mod.main->showModeless();
    QVERIFY(!mod.main->isMinimized());
    QVERIFY(mod.main->isVisible());
    QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("76"));
    QCOMPARE(sfd->value(), 76);
    QCOMPARE(mod.state.setting(Setting::SoldierFF), 76);
    QCOMPARE(mod.find<QLabel>("LabelMaxBots")->text(), QStringLiteral("24"));
    QCOMPARE(bots->model()->rowCount(), static_cast<int>(mod.state.BotNames.size()));
    QCOMPARE(bots->currentIndex().row(), 4);
    QCOMPARE(mod.find<QListView>("ListScores")->model()->rowCount(), static_cast<int>(mod.state.ListScores.size()));
}

void FormMainTest::dragKeepsTheGrabbedPointUnderThePointer() {
    LoadedMod mod;
    QVERIFY(mod.main);
    FormMain& main = *mod.main;
    const QPoint grab(200, 40);
    QVERIFY(main.childAt(grab) == nullptr);
    const QPoint start = main.pos();

    QTest::mousePress(&main, Qt::LeftButton, {}, grab);
    QCOMPARE(mod.state.DragStartX, 200 * 15);
    QCOMPARE(mod.state.DragStartY, 40 * 15);
    for (const QPoint step : {QPoint(30, 20), QPoint(-70, 5)}) {
        const QPoint pointer = main.mapToGlobal(grab + step);
        QTest::mouseMove(&main, grab + step);
        QCOMPARE(main.mapFromGlobal(pointer), grab);
    }
    QCOMPARE(main.pos(), start + QPoint(-40, 25));

    // Both buttons held: the window stays.
    QTest::mousePress(&main, Qt::RightButton, {}, grab);
    const QPoint held = main.pos();
    QTest::mouseMove(&main, grab + QPoint(50, 50));
    QCOMPARE(main.pos(), held);
    QTest::mouseRelease(&main, Qt::RightButton, {}, grab);
    QTest::mouseRelease(&main, Qt::LeftButton, {}, grab);

    // The right button alone drags nothing.
    QTest::mousePress(&main, Qt::RightButton, {}, grab);
    QTest::mouseMove(&main, grab + QPoint(50, 50));
    QTest::mouseRelease(&main, Qt::RightButton, {}, grab);
    QCOMPARE(main.pos(), held);
}

void FormMainTest::dragStartsOnlyFromTheBareSurface() {
    LoadedMod mod;
    QVERIFY(mod.main);
    const QPoint start = mod.main->pos();
    auto* bots = mod.find<QListView>("ListBotNames");
    for (QWidget* control : {mod.find("LabelLSFD"), mod.find("LabelSFD"), mod.find("SliderBotSkill"), bots->viewport()}) {
        const QPoint at(5, 5);
        QTest::mousePress(control, Qt::LeftButton, {}, at);
        QTest::mouseMove(control, at + QPoint(40, 30));
        QTest::mouseRelease(control, Qt::LeftButton, {}, at + QPoint(40, 30));
        QCOMPARE(mod.main->pos(), start);
    }
}

void FormMainTest::tabFollowsTheLayoutOrder() {
    LoadedMod mod;
    QVERIFY(mod.main);
    QApplication::setActiveWindow(mod.main.get());
    QVERIFY(QTest::qWaitForWindowActive(mod.main.get()));
    mod.find("ListBotNames")->setFocus();
    const QStringList order{"SliderMaxBots", "SliderBotSkill", "VScrollSFD", "VScrollVFD",
                            "VScrollSSD",    "VScrollVSD",     "ListScores", "ListBotNames"};
    QStringList visited;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
}

QTEST_MAIN(FormMainTest)
#include "tst_form_main.moc"
