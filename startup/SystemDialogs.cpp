#include "SystemDialogs.h"

#include "General.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>

namespace tarsun {

namespace {
const QString Title = QStringLiteral("Tarsun Editor");
}

void SystemDialogs::showError(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, Title, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MessageError"));
    box.exec();
}

bool SystemDialogs::askYesNo(QWidget* parent, const QString& text, const QString& informative) {
    QMessageBox box(QMessageBox::Question, Title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setInformativeText(informative);
    box.setObjectName(QStringLiteral("MessageQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString SystemDialogs::browseForFolder(QWidget* owner, const QString& prompt, const QString& startFolder) {
    return BrowseForGameFolder(owner, prompt, startFolder);
}

void SystemDialogs::endProgram() {
    ended_ = true;
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    // exit() stops a running loop (nested ones included); the queued quit covers a call
    // made before the main loop has started.
    QCoreApplication::exit(0);
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace tarsun
