// The real message boxes and the end of the program.

#include "SystemDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace tarsun;

namespace {

struct BoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
};

// Looks at the message box once it is up, then presses `press` on it.
void answerNextBox(BoxSeen& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->parentWidget()};
        box->button(press)->click();
    });
}

}  // namespace

class TestSystemDialogs : public QObject {
    Q_OBJECT
private slots:
    void errorsAndQuestionsUseTheProgramsTitleAndButtons() {
        SystemDialogs dialogs;
        QWidget owner;
        owner.show();
        BoxSeen seen;

        answerNextBox(seen, QMessageBox::Ok);
        dialogs.showError(&owner, "An error has occured!");
        QCOMPARE(seen.title, QString("Tarsun Editor"));
        QCOMPARE(seen.text, QString("An error has occured!"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.parent, &owner);

        answerNextBox(seen, QMessageBox::Yes);
        QVERIFY(dialogs.askYesNo(&owner, "Do you want to exit?"));
        QCOMPARE(seen.title, QString("Tarsun Editor"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);

        answerNextBox(seen, QMessageBox::No);
        QVERIFY(!dialogs.askYesNo(nullptr, "Edit x?"));
        QVERIFY(!dialogs.ended());
    }

    void endingBeforeTheEventLoopStillStopsIt() {
        SystemDialogs dialogs;
        QWidget window;
        window.show();
        dialogs.endProgram();
        QVERIFY(dialogs.ended());
        QVERIFY(!window.isVisible());
        // Should the quit be lost, this ends the loop with another code.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(TestSystemDialogs)
#include "tst_systemdialogs.moc"
