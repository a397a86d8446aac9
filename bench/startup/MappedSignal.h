#pragma once

// For the launch benchmark's child processes: at the first expose of the awaited window
// the process writes "mapped" to its standard output and leaves at once, so that the
// parent's clock and the child's CPU time and peak memory end at that moment.

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

class MappedSignal : public QObject {
public:
    // objectName: the top-level widget to wait for; empty for any window.
    explicit MappedSignal(QString objectName) : objectName_(std::move(objectName)) {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose)
            return false;
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed() || !awaited(window))
            return false;
        std::fputs("mapped\n", stdout);
        std::fflush(stdout);
        std::_Exit(0);
    }

private:
    bool awaited(const QWindow* window) const {
        if (objectName_.isEmpty())
            return true;
        for (const QWidget* widget : QApplication::topLevelWidgets())
            if (widget->windowHandle() == window)
                return widget->objectName() == objectName_;
        return false;
    }

    QString objectName_;
};
