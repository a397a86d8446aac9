#include "SmallWindow.h"

#include "Look.h"

#include <QCloseEvent>
#include <QPainter>

namespace tarsun {

namespace {

constexpr int FrameWidth = 1;
constexpr QRgb FrameGrey = 0xFF808080;

// Black, with a white one-pixel line along each edge.
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        painter.setPen(QColor::fromRgb(CaptionWhite));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

}  // namespace

SmallWindow::SmallWindow(int clientWidthTwips, int clientHeightTwips, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), client_(new ClientArea(this)) {
    const QSize clientSize(twips(clientWidthTwips), twips(clientHeightTwips));
    client_->setObjectName(QStringLiteral("ClientArea"));
    client_->setGeometry(QRect(QPoint(FrameWidth, FrameWidth), clientSize));
    setFixedSize(clientSize + QSize(2 * FrameWidth, 2 * FrameWidth));
    setWindowTitle(QString());
    setWindowIcon(programIcon());
    setFont(labelFont(false));

    // White text on black for the controls that draw their own background (check boxes).
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor::fromRgb(CaptionWhite));
    setPalette(palette);
}

void SmallWindow::showModeless() { showPlaced(*this, placed_); }

void SmallWindow::closeEvent(QCloseEvent* event) {
    // Never closed by the window system itself: leaving the program without a visible
    // window would strand the user.
    event->ignore();
    closeRequested();
}

void SmallWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(FrameGrey));
}

}  // namespace tarsun
