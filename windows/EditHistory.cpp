#include "EditHistory.h"

#include <QAction>
#include <QKeySequence>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWidget>

#include <utility>

namespace tarsun {

namespace {

class EditCommand : public QUndoCommand {
public:
    EditCommand(const QString& text, std::function<void(bool)> apply, bool& replaying)
        : QUndoCommand(text), apply_(std::move(apply)), replaying_(replaying) {}

    void undo() override { run(false); }
    void redo() override {
        // Pushed after the edit was made: the first redo has nothing to do.
        if (std::exchange(pushed_, false)) return;
        run(true);
    }

private:
    void run(bool redo) {
        replaying_ = true;
        apply_(redo);
        replaying_ = false;
    }

    std::function<void(bool)> apply_;
    bool& replaying_;
    bool pushed_ = true;
};

// Each sequence once: one key bound twice to an action would be ambiguous, and do nothing.
QList<QKeySequence> keys(QKeySequence::StandardKey standard, QList<QKeySequence> more) {
    QList<QKeySequence> all = QKeySequence::keyBindings(standard);
    for (const QKeySequence& key : more)
        if (!all.contains(key)) all << key;
    return all;
}

}  // namespace

EditHistory::EditHistory(QWidget* window) : QObject(window), stack_(new QUndoStack(this)) {
    QAction* undo = stack_->createUndoAction(window);
    undo->setObjectName(QStringLiteral("ActionUndo"));
    undo->setShortcuts(keys(QKeySequence::Undo, {QKeySequence(Qt::CTRL | Qt::Key_Z)}));
    QAction* redo = stack_->createRedoAction(window);
    redo->setObjectName(QStringLiteral("ActionRedo"));
    redo->setShortcuts(keys(QKeySequence::Redo, {QKeySequence(Qt::CTRL | Qt::Key_Y),
                                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
    window->addAction(undo);
    window->addAction(redo);
}

void EditHistory::record(const QString& text, std::function<void(bool redo)> apply) {
    stack_->push(new EditCommand(text, std::move(apply), replaying_));
}

}  // namespace tarsun
