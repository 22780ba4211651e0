#pragma once

// QtWindow: the top-level Qt window of one BWindow. Its frame is the API
// window's frame (the area inside the window manager's decoration). When
// the window has a menu bar, the API reserves a strip of its own at the top
// for it; Qt's menu bar is usually taller, so the views are laid out in a
// content area that starts below the real bar, and the window grows by the
// difference. The close box does not close: it asks the API window, which
// closes through its own quit. Moves and resizes are reported to the API
// window as its new frame, and files dropped on the window are posted to it.
// With B_CLOSE_ON_ESCAPE, Escape anywhere in the window asks it to close as
// the close box does.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QMainWindow>
#include <QPointer>

class QMenuBar;

class QtWindow final : public QMainWindow {
public:
    explicit QtWindow(const WindowInfo& info);

    const PeerAddress& Address() const { return fAddress; }
    QWidget* Content() const { return fContent; }

    // Puts `bar` at the top; `strip` is the height the API gave its bar, by
    // which every top-level view is moved up. Null removes the bar.
    void SetMenuBar(QMenuBar* bar, float strip);
    float Strip() const { return fBar ? fStrip : 0; }
    // Sizes the window for its frame and the real height of its menu bar.
    void ApplyGeometry();
    // Gives the window a new size, as the user would, whether shown or not.
    void Resize(QSize size);
    // Moves the window, as the user would, whether shown or not.
    void MoveTo(QPoint where);
    // Fills the screen with the window, or gives it back its frame.
    void SetFullScreen(bool fullScreen);
    // Qt's own isFullScreen() follows the window manager, and without one
    // it can lose the state.
    bool IsFullScreen() const { return fFullScreen; }

    // Whether the menus of the bar are open (between MenusBeginning and
    // MenusEnded of the API window).
    bool MenusOpen() const { return fMenusOpen; }
    void SetMenusOpen(bool open) { fMenusOpen = open; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ReportFrame();

    PeerAddress fAddress;
    BRect fFrame;
    uint32 fFlags;
    QWidget* fContent;
    QPointer<QMenuBar> fBar;
    bool fFullScreen = false;
    bool fReportedFullScreen = false;
    QRect fNormalGeometry; // before full screen
    float fStrip = 0;
    bool fMenusOpen = false;
};
