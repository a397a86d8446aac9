#include "PictureButton.h"

#include <QMouseEvent>

namespace tarsun {

PictureButton::PictureButton(const QPixmap& picture, QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::NoFocus);
    setPicture(picture);
}

void PictureButton::setPicture(const QPixmap& picture) {
    setPixmap(picture);
    setFixedSize(picture.size());
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    // Accepting the press is what keeps the pointer with this control until the release.
    event->accept();
    if (event->button() == Qt::LeftButton) leftPressed_ = true;
    emit mouseDown(event->button());
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const bool click =
        event->button() == Qt::LeftButton && leftPressed_ && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) leftPressed_ = false;
    emit mouseUp(event->button());
    if (click) emit clicked();
}

// Moves while pressed stay here rather than dragging the window underneath.
void PictureButton::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

// A quick second press is a press like any other.
void PictureButton::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

}  // namespace tarsun
