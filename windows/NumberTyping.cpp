#include "NumberTyping.h"

#include <QKeyEvent>
#include <QToolTip>
#include <QWidget>

namespace tarsun {

namespace {
constexpr qint64 PauseMs = 1000;
}

NumberTyping::NumberTyping(QWidget* watched, Target target)
    : QObject(watched), watched_(watched), target_(std::move(target)) {
    watched->installEventFilter(this);
}

bool NumberTyping::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) typed_.clear();  // each opening starts afresh
    if (event->type() != QEvent::KeyPress || (target_.active && !target_.active())) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) return false;
    const QString text = key->text();
    const bool digit = text.size() == 1 && text[0].isDigit() && text[0].unicode() < 128;
    const bool minus = text == QStringLiteral("-");
    const bool back = key->key() == Qt::Key_Backspace;
    if (!digit && !minus && !back) return false;

    // A pause, or a value changed some other way, ends the number typed before.
    if (!sinceLast_.isValid() || sinceLast_.elapsed() > PauseMs || target_.value() != lastSet_) typed_.clear();
    sinceLast_.start();
    QString next = typed_;
    if (back)
        next.chop(1);
    else
        next += text;
    // A minus leads the number, and only where the range goes below zero.
    if (minus && (next != QStringLiteral("-") || target_.minimum() >= 0)) {
        refuse(next);
        return true;
    }
    if (next.isEmpty() || next == QStringLiteral("-")) {
        typed_ = next;
        if (!next.isEmpty()) target_.set(target_.value(), next);
        lastSet_ = target_.value();
        return true;
    }
    bool ok = false;
    const qint64 value = next.toLongLong(&ok);
    if (!ok || value < target_.minimum() || value > target_.maximum()) {
        refuse(next);
        return true;
    }
    typed_ = next;
    target_.set(value, next);
    lastSet_ = target_.value();
    return true;
}

void NumberTyping::refuse(const QString& typed) {
    QToolTip::showText(watched_->mapToGlobal(QPoint(0, watched_->height())),
                       QStringLiteral("%1 is not taken: from %2 to %3 only.")
                           .arg(typed)
                           .arg(target_.minimum())
                           .arg(target_.maximum()),
                       watched_);
}

}  // namespace tarsun
