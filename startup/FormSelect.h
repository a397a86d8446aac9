#pragma once

// The mod chooser: a small black window with the caption "Select mod to edit:" and the
// list of mods. It has no buttons; a double-click in the list, or Return, is its only action.

#include "SmallWindow.h"

#include <QListWidget>
#include <QStringList>

class QLabel;

namespace tarsun {

// The chooser's list; reports every left double-click in it, on an entry or not, and
// Return or Enter.
class ModList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
signals:
    void leftDoubleClicked();
    void returnPressed();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class FormSelect : public SmallWindow {
    Q_OBJECT
public:
    explicit FormSelect(QWidget* parent = nullptr);

    // Appends the names at the end of the list, in the order given.
    void addMods(const QStringList& names);
    ModList& list() { return *listMods_; }

signals:
    void ListMods_DblClick();
    // The window system asked to close the chooser; it stays open unless the program ends.
    void windowCloseRequested();

protected:
    void closeRequested() override { emit windowCloseRequested(); }

private:
    void createWidgets();

    QLabel* labelLSelect_ = nullptr;
    ModList* listMods_ = nullptr;
};

}  // namespace tarsun
