#include "Look.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFile>
#include <QPushButton>

#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace tarsun {

QFont labelFont(bool bold) {
    // Asking fontconfig for a family costs about a millisecond, and every caption wants
    // the face: ask once per run.
    static const bool hasMicrosoftSans = QFontDatabase::hasFamily(QStringLiteral("Microsoft Sans Serif"));
    QFont font;
    if (hasMicrosoftSans) {
        font.setFamily(QStringLiteral("Microsoft Sans Serif"));
    } else {
        // DejaVu Sans runs wider than the face the layout was measured for; narrowed a
        // little, "Soldier Friendly Damage:" still fits its 145 pixels in bold.
        font.setFamily(QStringLiteral("DejaVu Sans"));
        font.setStretch(88);
    }
    font.setPointSizeF(8.25);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QFont editedFont() {
    QFont font = labelFont(false);
    font.setItalic(true);
    return font;
}

QIcon programIcon() {
    // A new QIcon would decode the picture again for each window; kept to the end.
    static const QIcon* icon = new QIcon(QStringLiteral(":/assets/icon.png"));
    return *icon;
}

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& caption, QRect geometry,
                  QRgb colour, bool bold, Qt::Alignment horizontal) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setGeometry(geometry);
    label->setFont(labelFont(bold));
    label->setAlignment(horizontal | Qt::AlignTop);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(colour));
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    return label;
}

void centreOnScreen(QWidget& window) {
    const QRect area = window.screen()->availableGeometry();
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

namespace {

// Some styles draw a focused push button as they draw any other: a dotted frame inside its
// edge shows where Space goes.
class FocusButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPushButton::paintEvent(event);
        drawFocusFrame(this, QPalette::ButtonText, 3);
    }
};

}  // namespace

void drawFocusFrame(QWidget* widget, QPalette::ColorRole colour, int inset, const QWidget* focusOf) {
    if (!(focusOf ? focusOf : widget)->hasFocus()) return;
    QPainter painter(widget);
    painter.setPen(QPen(widget->palette().color(colour), 1, Qt::DotLine));
    painter.drawRect(widget->rect().adjusted(inset, inset, -1 - inset, -1 - inset));
}

namespace {

// A frame over the list's rows, above them and on top of the view (not in its viewport,
// whose children move with each scroll): drawn while the list has the focus.
class ListFocusFrame final : public QWidget {
public:
    explicit ListFocusFrame(QAbstractItemView* view) : QWidget(view), view_(view) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut: update(); break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show: follow(); break;
        default: break;
        }
        return false;
    }
    void paintEvent(QPaintEvent*) override { drawFocusFrame(this, QPalette::Highlight, 0, view_); }

private:
    void follow() {
        setGeometry(view_->viewport()->geometry());
        raise();
    }
    QAbstractItemView* view_;
};

}  // namespace

void showFocusFrame(QAbstractItemView* view) { new ListFocusFrame(view); }

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption, QRect geometry) {
    auto* button = new FocusButton(caption, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setGeometry(geometry);
    button->setFont(labelFont(false));
    button->setAutoDefault(false);
    return button;
}

bool showPlaced(QWidget& window, bool& placed) {
    const bool first = !placed;
    if (first) {
        centreOnScreen(window);
        placed = true;
    }
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    window.activateWindow();
    return first;
}

std::filesystem::path toPath(const QString& text) {
#ifdef _WIN32
    return std::filesystem::path(text.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

QString toText(const std::filesystem::path& path) {
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

}  // namespace tarsun
