#pragma once

// A vertical scroll bar cut down to its two arrow buttons, the small spinner beside each
// friendly-fire value and the score value. As on any vertical scroll bar the top is the
// minimum: the upper arrow lowers the value, the lower arrow raises it. The value is 64
// bits wide so that a score the file holds beyond int's range is shown, not clamped.

#include <QWidget>

class QToolButton;

namespace tarsun {

class ArrowSpinner : public QWidget {
    Q_OBJECT
public:
    explicit ArrowSpinner(QWidget* parent = nullptr);

    qint64 value() const { return value_; }
    qint64 minimum() const { return minimum_; }
    qint64 maximum() const { return maximum_; }

    // Moves the value inside the new range if it lies outside.
    void setRange(qint64 minimum, qint64 maximum);
    // Clamps into the range; emits valueChanged only when the value changes.
    void setValue(qint64 value);

signals:
    void valueChanged(qint64 value);

protected:
    // Up and Page Up lower, Down and Page Down raise, Home and End go to the ends.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QToolButton* makeArrow(const char* objectName, Qt::ArrowType arrow, qint64 step);
    void stepBy(qint64 step);
    void showFocus(bool focused);
    void placeArrows();

    QToolButton* up_;
    QToolButton* down_;
    qint64 minimum_ = 0;
    qint64 maximum_ = 100;
    qint64 value_ = 0;
};

}  // namespace tarsun
