#pragma once

// The editor's small windows (value editor, save window, mod chooser) share one frame:
// no title bar, a one-pixel frame around a black client area whose edge is traced by
// white lines, the program's icon, and a first showing centred on the screen.

#include <QWidget>

namespace tarsun {

class SmallWindow : public QWidget {
    Q_OBJECT
public:
    // The client area's size in twips, as the layouts give it.
    SmallWindow(int clientWidthTwips, int clientHeightTwips, QWidget* parent = nullptr);

    // Controls go on the client area; their positions are client coordinates.
    QWidget* client() const { return client_; }

    // Shows the window (restoring it if minimised), centred the first time, and brings it
    // to the front.
    void showModeless();

protected:
    // Called when the window system closes the window (Alt+F4, the taskbar). The window
    // stays open unless the override hides it.
    virtual void closeRequested() {}

    void closeEvent(QCloseEvent* event) final;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* client_;
    bool placed_ = false;
};

}  // namespace tarsun
