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
    void exitAsksOnLeftReleaseAnywhereAndOnClose();
    void minimiseAndRestoreKeepEveryValue();
    void dragKeepsTheGrabbedPointUnderThePointer();
    void tabFollowsTheLayoutOrder();
};

void FormMainTest::showsTheLoadedValues() {
    // The sample's six values all differ, so a caption wired to the wrong setting shows.
    LoadedMod mod;
    QVERIFY(mod.main);
    const std::pair<const char*, int> captions[] = {{"LabelSFD", 75},      {"LabelVFD", 50},    {"LabelSSD", 60},
                                                    {"LabelVSD", 40},      {"LabelBotSkill", 70}, {"LabelMaxBots", 24}};
    for (const auto& [name, value] : captions) QCOMPARE(mod.find<QLabel>(name)->text(), QString::number(value));
    QCOMPARE(mod.find<ArrowSpinner>("VScrollSSD")->value(), 60);
    QCOMPARE(mod.find<QSlider>("SliderMaxBots")->value(), 24);

    auto* scores = mod.find<QListView>("ListScores");
    auto* bots = mod.find<QListView>("ListBotNames");
    QCOMPARE(scores->model()->rowCount(), static_cast<int>(mod.state.ListScores.size()));
    QCOMPARE(bots->model()->rowCount(), static_cast<int>(mod.state.botCount()));
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
    // The caption, if the state holds the same value.
    const auto clickAndRead = [&](const char* arrow) {
        QTest::mouseClick(scroll->findChild<QToolButton*>(arrow), Qt::LeftButton);
        const int held = mod.state.setting(static_cast<Setting>(setting));
        return held == label->text().toInt() ? label->text() : QStringLiteral("state holds %1").arg(held);
    };

    QTest::keyClick(scroll, Qt::Key_Home);
    QCOMPARE(clickAndRead("ArrowUp"), QStringLiteral("0"));  // the upper arrow lowers: nothing below 0
    QCOMPARE(clickAndRead("ArrowDown"), QStringLiteral("1"));
    QTest::keyClick(scroll, Qt::Key_End);
    QCOMPARE(clickAndRead("ArrowDown"), QStringLiteral("100"));
    QCOMPARE(clickAndRead("ArrowUp"), QStringLiteral("99"));
}

void FormMainTest::slidersStepWithinRange() {
    LoadedMod mod;
    QVERIFY(mod.main);
    // The value, if caption and state agree on it.
    const auto press = [&](const char* slider, const char* caption, Setting setting, Qt::Key key) {
        QTest::keyClick(mod.find(slider), key);
        const int held = mod.state.setting(setting);
        return held == mod.find<QLabel>(caption)->text().toInt() ? held : -1;
    };
    press("SliderMaxBots", "LabelMaxBots", Setting::MaxBots, Qt::Key_Home);
    QCOMPARE(press("SliderMaxBots", "LabelMaxBots", Setting::MaxBots, Qt::Key_Left), 1);
    QCOMPARE(press("SliderMaxBots", "LabelMaxBots", Setting::MaxBots, Qt::Key_PageUp), 6);
    press("SliderMaxBots", "LabelMaxBots", Setting::MaxBots, Qt::Key_End);
    QCOMPARE(press("SliderMaxBots", "LabelMaxBots", Setting::MaxBots, Qt::Key_Right), 256);
    press("SliderBotSkill", "LabelBotSkill", Setting::BotSkill, Qt::Key_End);
    QCOMPARE(press("SliderBotSkill", "LabelBotSkill", Setting::BotSkill, Qt::Key_Right), 100);
    QCOMPARE(press("SliderBotSkill", "LabelBotSkill", Setting::BotSkill, Qt::Key_PageDown), 95);
    press("SliderBotSkill", "LabelBotSkill", Setting::BotSkill, Qt::Key_Home);
    QCOMPARE(press("SliderBotSkill", "LabelBotSkill", Setting::BotSkill, Qt::Key_Left), 0);
}

void FormMainTest::exitAsksOnLeftReleaseAnywhereAndOnClose() {
    LoadedMod mod;
    QVERIFY(mod.main);
    auto* exitButton = mod.find<PictureButton>("PictureExit");
    const qint64 released = exitButton->pictureKey();
    const QByteArray scoring = mod.read(ScoringFile);
    mod.find<ArrowSpinner>("VScrollSFD")->setValue(3);  // an unsaved edit

    // Right and middle buttons change neither picture button.
    for (const char* name : {"PictureExit", "PictureMini"}) {
        auto* button = mod.find<PictureButton>(name);
        const qint64 before = button->pictureKey();
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mousePress(button, other);
            QCOMPARE(button->pictureKey(), before);
            QTest::mouseRelease(button, other);
        }
    }
    QVERIFY(mod.dialogs.shown.empty());
    QVERIFY(!mod.main->isMinimized());

    // Pressed, moved off and released far away: the button still owns the release.
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

    // Alt+F4 or the taskbar: the same question; No keeps the window.
    mod.dialogs.answers = {false};
    mod.main->close();
    QCOMPARE(mod.dialogs.shown.size(), std::size_t{2});
    QVERIFY(mod.main->isVisible());
    QVERIFY(!mod.dialogs.ended);

    mod.dialogs.answers = {true};
    QTest::mouseClick(exitButton, Qt::LeftButton);
    QCOMPARE(mod.state.Answer, AnswerYes);
    QVERIFY(mod.dialogs.ended);
    QCOMPARE(mod.dialogs.shown.size(), std::size_t{3});  // no further window or message
    QCOMPARE(mod.read(ScoringFile), scoring);            // and nothing saved
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
    QCOMPARE(bots->model()->rowCount(), static_cast<int>(mod.state.botCount()));
    QCOMPARE(bots->currentIndex().row(), 4);
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

    // Neither the right button alone nor a press on a label, a slider or a list drags.
    QTest::mousePress(&main, Qt::RightButton, {}, grab);
    QTest::mouseMove(&main, grab + QPoint(50, 50));
    QTest::mouseRelease(&main, Qt::RightButton, {}, grab);
    for (QWidget* control : {mod.find("LabelLSFD"), mod.find("LabelSFD"), mod.find("SliderBotSkill"),
                             mod.find<QListView>("ListBotNames")->viewport()}) {
        QTest::mousePress(control, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(control, QPoint(45, 35));
        QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(45, 35));
    }
    QCOMPARE(main.pos(), held);
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
