#pragma once

// The main window's undo and redo of value edits (the six settings, bot names and
// constants), one command per edit on Qt's undo stack. An edit is recorded after it was
// made; undoing or redoing it calls back into the window, which applies the value and
// shows what changed.

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QUndoStack;
class QWidget;

namespace tarsun {

class EditHistory : public QObject {
    Q_OBJECT
public:
    // The undo and redo keys act while `window` is active: Ctrl+Z, and Ctrl+Y or Ctrl+Shift+Z
    // (with whatever else the platform binds to undo and redo).
    explicit EditHistory(QWidget* window);

    // An edit was just made: `apply(false)` takes it back, `apply(true)` makes it again.
    // While either runs, replaying() is true, so the window records nothing new.
    void record(const QString& text, std::function<void(bool redo)> apply);
    bool replaying() const { return replaying_; }

    QUndoStack& stack() const { return *stack_; }

private:
    QUndoStack* stack_;
    bool replaying_ = false;
};

}  // namespace tarsun
