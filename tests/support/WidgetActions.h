#pragma once

// What the window and start-up tests look at and press on the screen, as a user would.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTest>

namespace tarsun::testing {

// The program names every window it shows.
inline QStringList visibleWindows() {
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->objectName().isEmpty()) names << w->objectName();
    return names;
}

inline QString rowText(QAbstractItemView* list, int row) {
    return list->model()->index(row, 0).data().toString();
}

// The named control; without it no test can go on, so the run stops.
template <typename T = QWidget> T* child(const QObject* parent, const char* name) {
    auto* found = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!found) qFatal("no control %s", name);
    return found;
}

// The window's controls that a screen reader would find without a name, or without a
// description that gives the range of the value they set; and the focusable ones whose
// keyboard focus cannot be seen (the control looks the same with it and without).
inline QStringList inaccessibleControls(QWidget* window) {
    QStringList faults;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        const bool control =
            w->focusPolicy() != Qt::NoFocus || qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w);
        if (name.isEmpty() || name.startsWith("qt_") || !control) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty()) faults << name + " has no name";
        const bool setsValue = name.startsWith("VScroll") || name.startsWith("Slider");
        if (a && setsValue && !a->text(QAccessible::Description).contains(" to ")) faults << name + " gives no range";
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisible()) continue;
        QApplication::setActiveWindow(window);
        w->setFocus(Qt::TabFocusReason);
        const QImage focused = w->grab().toImage();
        if (!w->hasFocus()) faults << name + " takes no focus";
        w->clearFocus();
        if (focused == w->grab().toImage()) faults << name + " shows no focus";
    }
    return faults;
}

// The ways a row is opened: a double-click, or Return or Enter on the current row.
inline void addOpeningKeys() {
    QTest::addColumn<int>("key");
    QTest::newRow("double-click") << int(Qt::Key_unknown);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

// A click then a double-click on the row, as the user gives them; or with `key` the row
// made current and that key pressed.
inline void openRow(QAbstractItemView* list, int row, Qt::Key key = Qt::Key_unknown) {
    const QModelIndex index = list->model()->index(row, 0);
    if (key != Qt::Key_unknown) {
        list->setCurrentIndex(index);
        QTest::keyClick(list, key);
        return;
    }
    list->scrollTo(index);
    const QPoint at = list->visualRect(index).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

// A left click on a window's button, or a spinner's "ArrowUp" or "ArrowDown".
inline void click(QWidget* parent, const char* name) {
    QTest::mouseClick(child(parent, name), Qt::LeftButton);
}

}  // namespace tarsun::testing
