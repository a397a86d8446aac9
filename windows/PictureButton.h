#pragma once

// A borderless picture that acts as a button: it takes the size of its image and reports
// the raw mouse events, so that its window decides what a press, a release or a click
// means. After a press the pointer stays with it until the release, wherever that is.

#include <QLabel>

namespace tarsun {

class PictureButton : public QLabel {
    Q_OBJECT
public:
    explicit PictureButton(const QPixmap& picture, QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    // The image shown now, for the window's handlers and for tests.
    qint64 pictureKey() const { return pixmap().cacheKey(); }

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    // Left button pressed and released over the picture.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool leftPressed_ = false;
};

}  // namespace tarsun
