#include "FormSelect.h"

#include "Look.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace tarsun {

void ModList::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit leftDoubleClicked();
}

void ModList::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QListWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    emit returnPressed();
}

FormSelect::FormSelect(QWidget* parent) : SmallWindow(2655, 1920, parent) {
    setObjectName(QStringLiteral("FormSelect"));
    createWidgets();
    connect(listMods_, &ModList::leftDoubleClicked, this, &FormSelect::ListMods_DblClick);
    connect(listMods_, &ModList::returnPressed, this, &FormSelect::ListMods_DblClick);
}

void FormSelect::createWidgets() {
    labelLSelect_ = makeLabel(client(), "LabelLSelect", QStringLiteral("Select mod to edit:"),
                              twipsRect(120, 120, 1695, 255), CaptionWhite, true);
    labelLSelect_->setAutoFillBackground(true);  // the one caption with a black background of its own

    listMods_ = new ModList(client());
    listMods_->setObjectName(QStringLiteral("ListMods"));
    listMods_->setSelectionMode(QAbstractItemView::SingleSelection);
    listMods_->setSortingEnabled(false);
    showFocusFrame(listMods_);
    // The platform's own list colours, not the window's black and white.
    listMods_->setPalette(QApplication::palette(listMods_));
    listMods_->setGeometry(twipsRect(120, 360, 2415, 1425));
    listMods_->setUniformItemSizes(true);  // keeps a list of thousands of mods quick to fill
    setFocusProxy(listMods_);
    listMods_->setAccessibleName(QStringLiteral("Select mod to edit"));
    listMods_->setAccessibleDescription(QStringLiteral("Enter or a double-click opens the selected mod"));
    labelLSelect_->setBuddy(listMods_);
}

void FormSelect::addMods(const QStringList& names) {
    listMods_->addItems(names);
}

}  // namespace tarsun
