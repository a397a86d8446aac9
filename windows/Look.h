#pragma once

// The look every window of the editor shares: layouts are given in twips, captions use
// one small face, values are red and fixed captions white.

#include <QFont>
#include <QRect>
#include <QRgb>
#include <QString>
#include <Qt>

class QIcon;
class QLabel;
class QWidget;

namespace tarsun {

// 15 twips make one logical pixel (96 dots per inch).
constexpr int twips(int t) { return t / 15; }
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

inline constexpr QRgb CaptionWhite = 0xFFFFFFFF;
inline constexpr QRgb ValueRed = 0xFFFF0000;

// The caption face at 8.25 point: "Microsoft Sans Serif" where the platform has it,
// otherwise "DejaVu Sans", narrowed so that every caption stays inside its control.
QFont labelFont(bool bold);

// The program's 32 by 32, 16-colour icon.
QIcon programIcon();

// A caption drawn straight onto its window (no background of its own), top aligned.
QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& caption, QRect geometry,
                  QRgb colour, bool bold, Qt::Alignment horizontal = Qt::AlignLeft);

// Moves a top-level window to the middle of its screen's available area.
void centreOnScreen(QWidget& window);

}  // namespace tarsun
