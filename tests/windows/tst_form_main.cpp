#include "WindowTest.h"

#include "ArrowSpinner.h"
#include "FormEdit.h"
#include "FormSave.h"
#include "PendingEdits.h"
#include "PictureButton.h"

#include <QLineEdit>
#include <QScreen>
#include <QToolTip>

#include <filesystem>
#include <QSlider>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace tarsun;
using namespace tarsun::testing;

#ifdef _WIN32
namespace {
// One mouse event through Windows' own input queue, at a point of the screen.
void sendMouse(QPoint at, DWORD buttons = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x(), 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(at.y(), 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = buttons | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

// The pointer, and a point of a window's client area, on the screen in its pixels.
QPoint cursor() {
    POINT at;
    return GetCursorPos(&at), QPoint(at.x, at.y);
}
QPoint onScreen(HWND window, QPoint client) {
    POINT at{client.x(), client.y()};
    return ClientToScreen(window, &at), QPoint(at.x, at.y);
}
}  // namespace
#endif

class FormMainTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheLoadedListsAndTabsInLayoutOrder() {
        LoadedMod mod;
        auto* scores = mod.find<QListView>("ListScores");
        auto* bots = mod.find<QListView>("ListBotNames");
        // Every constant and bot of the sample, its names stored in Windows-1252.
        QCOMPARE(scores->model()->rowCount(), 68);
        QCOMPARE(bots->model()->rowCount(), 21);
        QCOMPARE(rowText(bots, 9), QStringLiteral("J\u00E4ger"));
        QCOMPARE(rowText(scores, 0), QStringLiteral("SCORE_KILL = 2   # points for a kill"));

        QApplication::setActiveWindow(&mod.main);
        QVERIFY(QTest::qWaitForWindowActive(&mod.main));
        mod.find("ListBotNames")->setFocus();
        const QStringList order{"SliderMaxBots", "SliderBotSkill", "VScrollSFD", "VScrollVFD",
                                "VScrollSSD",    "VScrollVSD",     "ListScores", "ListBotNames"};
        for (const QString& next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
    }

    void controlsShowTheLoadedValueAndStepWithinRange_data() {
        // A control and the caption that shows its setting, by the row's name. The sample's
        // six values all differ, so a caption wired to the wrong setting shows.
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("loaded");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("SFD") << "VScrollSFD" << int(Setting::SoldierFF) << 75 << 0 << 100;
        QTest::newRow("VFD") << "VScrollVFD" << int(Setting::VehicleFF) << 50 << 0 << 100;
        QTest::newRow("SSD") << "VScrollSSD" << int(Setting::SoldierSplashFF) << 60 << 0 << 100;
        QTest::newRow("VSD") << "VScrollVSD" << int(Setting::VehicleSplashFF) << 40 << 0 << 100;
        QTest::newRow("BotSkill") << "SliderBotSkill" << int(Setting::BotSkill) << 70 << 0 << 100;
        QTest::newRow("MaxBots") << "SliderMaxBots" << int(Setting::MaxBots) << 24 << 1 << 256;
    }

    void controlsShowTheLoadedValueAndStepWithinRange() {
        QFETCH(QString, control);
        QFETCH(int, setting);
        QFETCH(int, loaded);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        LoadedMod mod;
        QWidget* widget = mod.find(control.toLatin1());
        auto* label = mod.find<QLabel>(QByteArray("Label") + QTest::currentDataTag());
        auto* spinner = qobject_cast<ArrowSpinner*>(widget);
        // The value, if caption and state agree on it.
        const auto held = [&] {
            const int value = mod.state.setting(static_cast<Setting>(setting));
            return value == label->text().toInt() ? value : -1000;
        };
        const auto step = [&](int by) {
            if (spinner)
                click(widget, by < 0 ? "ArrowUp" : "ArrowDown");  // the upper arrow lowers
            else
                QTest::keyClick(widget, by < 0 ? Qt::Key_Left : Qt::Key_Right);
            return held();
        };
        QCOMPARE(held(), loaded);
        QCOMPARE(spinner ? spinner->value() : qobject_cast<QSlider*>(widget)->value(), loaded);
        QTest::keyClick(widget, Qt::Key_Home);
        QCOMPARE(step(-1), lowest);
        QCOMPARE(step(+1), lowest + 1);
        QTest::keyClick(widget, Qt::Key_End);
        QCOMPARE(step(+1), highest);
        QCOMPARE(step(-1), highest - 1);
        if (!spinner) {
            QTest::keyClick(widget, Qt::Key_PageDown);  // a slider pages by five
            QCOMPARE(held(), highest - 6);
        }
        // Digits typed set the value; one more that leaves the range, or a minus, is refused
        // with a tip, and Backspace takes back the last digit.
        QTest::keyClicks(widget, QString::number(highest - 3));
        QCOMPARE(held(), highest - 3);
        for (Qt::Key refused : {Qt::Key_0, Qt::Key_Minus}) {
            QTest::keyClick(widget, refused);
            QCOMPARE(held(), highest - 3);
        }
        QVERIFY(QToolTip::text().contains(QStringLiteral("from %1 to %2").arg(lowest).arg(highest)));
        QTest::keyClick(widget, Qt::Key_Backspace);
        QCOMPARE(held(), (highest - 3) / 10);
    }

    void exitAndMinimiseAnswerTheLeftButtonOnly() {
        LoadedMod mod;
        const auto files = mod.snapshot();
        mod.find<ArrowSpinner>("VScrollSFD")->setValue(3);  // an unsaved edit

        auto* exitButton = mod.find<PictureButton>("PictureExit");
        auto* mini = mod.find<PictureButton>("PictureMini");
        // Right and middle buttons change neither picture button.
        for (PictureButton* button : {exitButton, mini}) {
            const qint64 before = button->pictureKey();
            for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
                QTest::mousePress(button, other);
                QCOMPARE(button->pictureKey(), before);
                QTest::mouseRelease(button, other);
            }
        }
        QVERIFY(!mod.main.isMinimized());

        // The left button shows the button pressed until the release, which it owns
        // wherever the pointer has gone.
        const auto leftClick = [](PictureButton* button, QPoint releasedAt) {
            const qint64 released = button->pictureKey();
            QTest::mousePress(button, Qt::LeftButton);
            QVERIFY(button->pictureKey() != released);
            QTest::mouseMove(button, releasedAt);
            QTest::mouseRelease(button, Qt::LeftButton, {}, releasedAt);
            QCOMPARE(button->pictureKey(), released);
        };
        // The minimise button; the restore brings the window back as it was.
        leftClick(mini, mini->rect().center());
        QVERIFY(mod.main.isMinimized());
        mod.main.showModeless();
        QVERIFY(!mod.main.isMinimized() && mod.main.isVisible());
        QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("3"));

        mod.dialogs.answers = {false};
        leftClick(exitButton, QPoint(-200, 150));
        QCOMPARE(mod.state.Answer, AnswerNo);
        QCOMPARE(mod.dialogs.shown.back().informative, QStringLiteral("Unsaved: friendly fire"));

        // Alt+F4 or the taskbar: the same question, naming every group that holds an edit;
        // No keeps the window.
        QVERIFY(mod.state.setBotName(0, "Talon") == NameProblem::None);
        mod.state.setScoreValue(3, 7);
        mod.dialogs.answers = {false};
        mod.main.close();
        QCOMPARE(mod.dialogs.texts(), QStringList(2, "Do you want to exit?"));
        QCOMPARE(mod.dialogs.shown.back().informative, QStringLiteral("Unsaved: friendly fire, score list, bot names"));
        QVERIFY(mod.main.isVisible() && !mod.dialogs.ended);

        mod.dialogs.answers = {true};
        QTest::mouseClick(exitButton, Qt::LeftButton);
        QCOMPARE(mod.state.Answer, AnswerYes);
        QVERIFY(mod.dialogs.ended);
        QCOMPARE(mod.dialogs.shown.size(), std::size_t{3});  // no further window or message
        QCOMPARE(mod.snapshot(), files);                     // and nothing saved
    }

    // Ctrl+S opens the save window; Ctrl+Z takes back the edits of every kind, newest
    // first, each shown where it is; Ctrl+Y and Ctrl+Shift+Z make them again.
    void shortcutsSaveUndoAndRedoEveryKindOfEdit() {
        LoadedMod mod;
        const auto key = [&mod](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
            QApplication::setActiveWindow(&mod.main);
            QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        };
        key(Qt::Key_S);
        QCOMPARE(visibleWindows(), QStringList{"FormSave"});
        click(mod.main.formSave(), "CommandCancel");

        auto* bots = mod.find<QListView>("ListBotNames");
        auto* scores = mod.find<QListView>("ListScores");
        const QString kill = rowText(scores, 0);
        QTest::keyClick(mod.find("SliderBotSkill"), Qt::Key_Left);
        click(mod.find("VScrollSFD"), "ArrowDown");
        openRow(bots, 2);
        child<QLineEdit>(mod.main.formEdit(), "TextBotName")->setText("Talon");
        click(mod.main.formEdit(), "CommandAccept");
        openRow(scores, 0);
        click(mod.main.formEdit(), "ArrowDown");
        click(mod.main.formEdit(), "CommandAccept");
        const auto undone = [](const char* focus, const QString& tip) {
            return QApplication::focusWidget()->objectName() == focus && QToolTip::text() == tip;
        };

        key(Qt::Key_Z);
        QCOMPARE(rowText(scores, 0), kill);  // as the file holds it, comment and all
        QVERIFY(undone("ListScores", "SCORE_KILL: 3 → 2") && scores->currentIndex().row() == 0);
        key(Qt::Key_Z);
        QCOMPARE(rowText(bots, 2), QStringLiteral("Kestrel"));
        QVERIFY(undone("ListBotNames", "Bot name row 3: Talon → Kestrel"));
        key(Qt::Key_Z);
        QCOMPARE(mod.find<QLabel>("LabelSFD")->text(), QStringLiteral("75"));
        QVERIFY(undone("VScrollSFD", "Soldier Friendly Damage: 76 → 75"));
        key(Qt::Key_Z);
        QCOMPARE(mod.state.setting(Setting::BotSkill), 70);
        QCOMPARE(unsavedGroups(mod.state), QString());  // nothing left to save

        key(Qt::Key_Y);
        QCOMPARE(mod.find<QLabel>("LabelBotSkill")->text(), QStringLiteral("69"));
        QVERIFY(undone("SliderBotSkill", "Bot Skill: 70 → 69"));
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(mod.state.setting(Setting::SoldierFF), 76);
        key(Qt::Key_Y);
        key(Qt::Key_Y);
        QCOMPARE(mod.state.ScoreValues[0], 3);
        QCOMPARE(unsavedGroups(mod.state), QStringLiteral("Unsaved: friendly fire, score list, max bots & bot skill, bot names"));
    }

    // After a save that took in another program's lines, an undo still takes back the
    // constant the user edited, as an edit against what the file now holds.
    void undoAfterAMergedSaveTakesBackTheSameConstant() {
        const QByteArray teamKill = "SCORE_TEAMKILL = -4\r\n";
        QByteArray theirs;
        LoadedMod mod([&](LoadedMod& m) {
            theirs = m.read(ScoringFile);
            QVERIFY(theirs.contains(teamKill));
            QVERIFY(writeAll(m.path(ScoringFile), QByteArray(theirs).replace(teamKill, "")));
        });
        auto* scores = mod.find<QListView>("ListScores");
        const std::size_t edited = mod.state.ListScores()[1].Index;  // the row SCORE_TEAMKILL will take
        const std::int64_t was = mod.state.ScoreValues[edited];
        openRow(scores, 1);
        click(mod.main.formEdit(), "ArrowDown");
        click(mod.main.formEdit(), "CommandAccept");
        // Another program puts SCORE_TEAMKILL back above it; the save carries the edit over.
        QVERIFY(writeAll(mod.path(ScoringFile), theirs));
        click(&mod.main, "PictureSave");
        mod.dialogs.answers = {true};
        click(mod.main.formSave(), "CommandSave");
        QCOMPARE(mod.state.ListScores()[1].Index, std::size_t{1});
        QCOMPARE(mod.state.ScoreValues[edited], was + 1);

        QApplication::setActiveWindow(&mod.main);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(mod.state.ScoreValues[edited], was);
        QCOMPARE(mod.state.ScoreValues[1], -4);
        QCOMPARE(unsavedGroups(mod.state), QStringLiteral("Unsaved: score list"));
        QCOMPARE(scores->currentIndex().row(), 2);
    }

    // Another program's change shows within a second on the captions of its group, with
    // what the next save will do: carry the edits over, or refuse a line both changed.
    void changesOnDiskShowWithWhatASaveWillDo() {
        LoadedMod mod;
        auto* maxBots = mod.find<QLabel>("LabelLMaxBots");
        const auto yellow = [](QLabel* label) {
            return label->palette().color(QPalette::WindowText) == QColor::fromRgb(EditedYellow);
        };
        QTest::keyClick(mod.find("SliderMaxBots"), Qt::Key_End);
        QByteArray ai = mod.read(AIDefaultsFile);
        QVERIFY(writeAll(mod.path(AIDefaultsFile), ai.replace("setViewDistance 350", "setViewDistance 400")));
        QTRY_VERIFY_WITH_TIMEOUT(maxBots->toolTip().contains("carries your edits over"), 1000);
        QVERIFY(yellow(maxBots) && yellow(mod.find<QLabel>("LabelLBotSkill")));
        QVERIFY(!yellow(mod.find<QLabel>("LabelLSettings")) && mod.find("LabelLBotNames")->toolTip().isEmpty());

        // Saved as many editors do, a new file renamed over the old: the edited line changed.
        QVERIFY(writeAll(mod.path("AI/new"), ai.replace("setMaxNBots 24", "setMaxNBots 30")));
        std::filesystem::rename(toPath(mod.path("AI/new")), toPath(mod.path(AIDefaultsFile)));
        QTRY_VERIFY_WITH_TIMEOUT(maxBots->toolTip().contains("The next save refuses it"), 1000);
        // With the edit taken back, the save has nothing to refuse.
        mod.find<QSlider>("SliderMaxBots")->setValue(24);
        QTRY_VERIFY_WITH_TIMEOUT(maxBots->toolTip().contains("You have no edits in it"), 1000);
    }

    void dragKeepsTheGrabbedPointUnderThePointer() {
        LoadedMod mod;
        FormMain& main = mod.main;
        const QPoint grab(200, 40);
        QVERIFY(main.childAt(grab) == nullptr);
        const QPoint start = main.pos();

        QTest::mousePress(&main, Qt::LeftButton, {}, grab);
        QCOMPARE(QPoint(mod.state.DragStartX, mod.state.DragStartY), grab * 15);  // in twips
        for (const QPoint step : {QPoint(30, 20), QPoint(-70, 5)}) {
            const QPoint pointer = main.mapToGlobal(grab + step);
            QTest::mouseMove(&main, grab + step);
            QCOMPARE(main.mapFromGlobal(pointer), grab);
        }
        QCOMPARE(main.pos(), start + QPoint(-40, 25));

        // No drag: the right button joining the left, the right alone, or the left on a label,
        // a slider or a list.
        const auto tryDrag = [&main](QWidget* on, Qt::MouseButton button, QPoint from) {
            const QPoint held = main.pos();
            QTest::mousePress(on, button, {}, from);
            QTest::mouseMove(on, from + QPoint(40, 30));
            QCOMPARE(main.pos(), held);
            QTest::mouseRelease(on, button, {}, from);
        };
        tryDrag(&main, Qt::RightButton, grab);
        QTest::mouseRelease(&main, Qt::LeftButton, {}, grab);
        tryDrag(&main, Qt::RightButton, grab);
        for (QWidget* control : {mod.find("LabelLSFD"), mod.find("LabelSFD"), mod.find("SliderBotSkill"),
                                 mod.find<QListView>("ListBotNames")->viewport()})
            tryDrag(control, Qt::LeftButton, QPoint(5, 5));
    }

    // Every control of the three windows, as a screen reader and the keyboard find it.
    void everyControlIsNamedAndShowsItsFocus() {
        LoadedMod mod;
        QCOMPARE(inaccessibleControls(&mod.main).join("; "), QString());
        openRow(mod.find<QListView>("ListScores"), 0);
        QCOMPARE(inaccessibleControls(mod.main.formEdit()).join("; "), QString());
        click(mod.main.formEdit(), "CommandCancel");
        openRow(mod.find<QListView>("ListBotNames"), 0);
        QCOMPARE(inaccessibleControls(mod.main.formEdit()).join("; "), QString());
        click(mod.main.formEdit(), "CommandCancel");
        click(&mod.main, "PictureSave");
        QCOMPARE(inaccessibleControls(mod.main.formSave()).join("; "), QString());
        // A caption is tied to the control it names.
        QCOMPARE(mod.find<QLabel>("LabelLBotSkill")->buddy(), mod.find("SliderBotSkill"));
    }

    // Every caption inside its box, in the very face the look asked for (no stand-in the
    // platform picked: under Wine the fallback, DejaVu Sans).
    void captionsFitTheirBoxes() {
        LoadedMod mod;
        for (QLabel* label : mod.main.findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;  // a picture
            QCOMPARE(QFontInfo(label->font()).family(), label->font().family());
            const QSize need = label->fontMetrics().boundingRect(label->text()).size();
            QVERIFY2(need.width() <= label->width() && need.height() <= label->height(),
                     qPrintable(label->objectName()));
        }
    }

#ifdef _WIN32
    // The frameless window as Windows moves, minimises and scales it: real input through the
    // system's queue, the native window's own position, state and size. The test command
    // runs this at 96 and at 144 dots per inch (TARSUN_DPI).
    void windowsMovesMinimisesAndScalesTheFramelessWindow() {
        LoadedMod mod;
        const auto hwnd = reinterpret_cast<HWND>(mod.main.winId());
        const int dpi = int(GetDpiForWindow(hwnd)), asked = qEnvironmentVariableIntValue("TARSUN_DPI");
        QCOMPARE(dpi, asked ? asked : 96);
        QCOMPARE(mod.main.devicePixelRatioF(), dpi / 96.0);
        RECT client;
        GetClientRect(hwnd, &client);
        QCOMPARE(QSize(client.right, client.bottom), mod.main.size() * (dpi / 96.0));
        if (const QString shot = qEnvironmentVariable("TARSUN_SCREENSHOT"); !shot.isEmpty()) {
            QTest::qWait(500);  // the first paint
            mod.main.screen()->grabWindow(mod.main.winId()).save(shot);
        }

        // A press on the surface and two moves: the grabbed point stays under the pointer.
        // Moves of whole logical pixels (at 150%, of 3 screen pixels): Qt places a window in
        // logical pixels, so after other moves the point lands up to one screen pixel off.
        const QPoint grab = onScreen(hwnd, QPoint(200, 40) * dpi / 96);
        const QPoint start = onScreen(hwnd, {});
        sendMouse(grab, MOUSEEVENTF_LEFTDOWN);
        for (const QPoint step : {QPoint(30, 21), QPoint(-72, 6)}) {
            sendMouse(cursor() + step);
            QTRY_COMPARE(onScreen(hwnd, {}) + grab - start, cursor());
        }
        sendMouse(cursor(), MOUSEEVENTF_LEFTUP);
        QCOMPARE(onScreen(hwnd, {}), start + QPoint(-42, 27));

        auto* mini = mod.find("PictureMini");
        const QPoint button = onScreen(hwnd, mini->geometry().center() * dpi / 96);
        sendMouse(button, MOUSEEVENTF_LEFTDOWN);
        sendMouse(button, MOUSEEVENTF_LEFTUP);
        QTRY_VERIFY(IsIconic(hwnd));
        mod.main.showModeless();
        QTRY_VERIFY(!IsIconic(hwnd) && IsWindowVisible(hwnd));
    }
#endif
};

QTEST_MAIN(FormMainTest)
#include "tst_form_main.moc"
