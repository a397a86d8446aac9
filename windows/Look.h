#pragma once

// The look every window of the editor shares: layouts are given in twips, captions use
// one small face, values are red and fixed captions white.

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QRgb>
#include <QString>
#include <Qt>

#include <filesystem>

class QAbstractItemView;
class QIcon;
class QLabel;
class QPushButton;
class QWidget;

namespace tarsun {

// 15 twips make one logical pixel (96 dots per inch).
constexpr int twips(int t) { return t / 15; }
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

inline constexpr QRgb CaptionWhite = 0xFFFFFFFF;
inline constexpr QRgb ValueRed = 0xFFFF0000;
// An edit not saved yet: its value label in yellow italics, its list row in dark red
// italics (the lists keep the platform's light background).
inline constexpr QRgb EditedYellow = 0xFFFFFF00;
inline constexpr QRgb EditedRowColour = 0xFFB00000;

// The caption face at 8.25 point: "Microsoft Sans Serif" where the platform has it,
// otherwise "DejaVu Sans", narrowed so that every caption stays inside its control.
QFont labelFont(bool bold);

// A list row's face, marked as edited.
QFont editedFont();

// The program's 32 by 32, 16-colour icon.
QIcon programIcon();

// A caption drawn straight onto its window (no background of its own), top aligned.
QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& caption, QRect geometry,
                  QRgb colour, bool bold, Qt::Alignment horizontal = Qt::AlignLeft);

// A push button in the caption face that Enter and Escape do not press.
QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption, QRect geometry);
// A dotted one-pixel frame, inset from the edge, while the widget has the keyboard focus:
// some styles show a focused control no differently on these windows' backgrounds.
// `focusOf` names the control whose focus it shows, where that is not `widget` itself.
void drawFocusFrame(QWidget* widget, QPalette::ColorRole colour, int inset = 0, const QWidget* focusOf = nullptr);

// A dotted frame around a focused list's rows: the Windows build's style (under Wine, at
// least) draws a focused list exactly as an unfocused one.
void showFocusFrame(QAbstractItemView* view);

// Moves a top-level window to the middle of its screen's available area.
void centreOnScreen(QWidget& window);

// Shows a top-level window, restored and in front, centred the first time (`placed`
// remembers that). Returns true on that first showing.
bool showPlaced(QWidget& window, bool& placed);

// Paths to and from the texts shown in the windows. A name that is not valid text in the
// file system's encoding is shown with replacement characters; keep the path itself
// wherever it must find the file or folder again.
std::filesystem::path toPath(const QString& text);
QString toText(const std::filesystem::path& path);

}  // namespace tarsun
