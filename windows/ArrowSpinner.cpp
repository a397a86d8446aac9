#include "ArrowSpinner.h"

#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

#include <algorithm>

namespace tarsun {

ArrowSpinner::ArrowSpinner(QWidget* parent)
    : QWidget(parent), up_(makeArrow("ArrowUp", Qt::UpArrow, -1)),
      down_(makeArrow("ArrowDown", Qt::DownArrow, +1)) {
    // In the tab order like the scroll bar it stands for; the arrows themselves are not.
    setFocusPolicy(Qt::StrongFocus);
}

QToolButton* ArrowSpinner::makeArrow(const char* objectName, Qt::ArrowType arrow, qint64 step) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    // Held down, a scroll bar's arrow keeps stepping.
    button->setAutoRepeat(true);
    // The arrow is drawn in the text colour, which the small windows make white; on the
    // button face it must stay the button's own.
    QPalette palette = button->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::ButtonText));
    button->setPalette(palette);
    button->setAccessibleName(step < 0 ? QStringLiteral("Lower") : QStringLiteral("Raise"));
    button->setAccessibleDescription(step < 0 ? QStringLiteral("Lowers the value by 1") : QStringLiteral("Raises the value by 1"));
    connect(button, &QToolButton::clicked, this, [this, step] {
        setFocus(Qt::MouseFocusReason);
        stepBy(step);
    });
    return button;
}

void ArrowSpinner::focusInEvent(QFocusEvent* event) {
    showFocus(true);
    QWidget::focusInEvent(event);
}

void ArrowSpinner::focusOutEvent(QFocusEvent* event) {
    showFocus(false);
    QWidget::focusOutEvent(event);
}

void ArrowSpinner::showFocus(bool focused) {
    // The arrows cover the whole control, so the focus shows on them: their face takes the
    // selection colour, where the style draws it, and they move in by a pixel for a frame
    // in that colour around them, which every style shows.
    for (QToolButton* button : {up_, down_}) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, focused ? palette.color(QPalette::Highlight) : QWidget::palette().color(QPalette::Button));
        button->setPalette(palette);
    }
    placeArrows();
    update();
}

void ArrowSpinner::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ArrowSpinner::resizeEvent(QResizeEvent*) { placeArrows(); }

void ArrowSpinner::placeArrows() {
    const QRect inside = hasFocus() ? rect().adjusted(1, 1, -1, -1) : rect();
    const int upper = inside.height() / 2;
    up_->setGeometry(inside.left(), inside.top(), inside.width(), upper);
    down_->setGeometry(inside.left(), inside.top() + upper, inside.width(), inside.height() - upper);
}

void ArrowSpinner::setRange(qint64 minimum, qint64 maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setValue(value_);
}

void ArrowSpinner::setValue(qint64 value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    emit valueChanged(value_);
}

void ArrowSpinner::stepBy(qint64 step) {
    // Stepping never wraps: at an end the value stays where it is.
    if ((step < 0 && value_ > minimum_) || (step > 0 && value_ < maximum_)) setValue(value_ + step);
}

void ArrowSpinner::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
    case Qt::Key_PageUp:
        stepBy(-1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
    case Qt::Key_PageDown:
        stepBy(+1);
        break;
    case Qt::Key_Home:
        setValue(minimum_);
        break;
    case Qt::Key_End:
        setValue(maximum_);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

}  // namespace tarsun
