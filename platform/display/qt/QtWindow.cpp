#include "platform/display/qt/QtWindow.h"

#include "platform/app/AppDefs.h"
#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtConversions.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenuBar>
#include <QScreen>

namespace {

Qt::WindowFlags WindowFlagsFor(window_type type, uint32 flags)
{
    Qt::WindowFlags qtFlags
        = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    switch (type) {
    case B_BORDERED_WINDOW: qtFlags = Qt::Window | Qt::FramelessWindowHint; break;
    case B_FLOATING_WINDOW: qtFlags |= Qt::Tool; break;
    case B_MODAL_WINDOW: qtFlags |= Qt::Dialog; break;
    default: break;
    }
    if ((flags & B_NOT_CLOSABLE) == 0)
        qtFlags |= Qt::WindowCloseButtonHint;
    if ((flags & B_NOT_MINIMIZABLE) == 0)
        qtFlags |= Qt::WindowMinimizeButtonHint;
    if ((flags & (B_NOT_ZOOMABLE | B_NOT_RESIZABLE)) == 0)
        qtFlags |= Qt::WindowMaximizeButtonHint;
    return qtFlags;
}

} // namespace

QtWindow::QtWindow(const WindowInfo& info)
    : QMainWindow(nullptr, WindowFlagsFor(info.type, info.flags))
    , fAddress { info.queue, nullptr }
    , fFrame(info.frame)
    , fFlags(info.flags)
    , fContent(new QWidget)
{
    setWindowTitle(QString::fromStdString(info.title));
    QPalette palette = fContent->palette();
    palette.setColor(QPalette::Window, ToQColor(info.background));
    fContent->setPalette(palette);
    fContent->setAutoFillBackground(true);
    setCentralWidget(fContent);
    setAcceptDrops(true);
    ApplyGeometry();
}

void QtWindow::SetMenuBar(QMenuBar* bar, float strip)
{
    if (bar != nullptr)
        setMenuBar(bar); // takes ownership
    fBar = bar;
    fStrip = strip;
    ApplyGeometry();
}

void QtWindow::ApplyGeometry()
{
    const QRect frame = ToQRect(fFrame);
    const int barHeight = fBar ? fBar->sizeHint().height() : 0;
    const QSize size(frame.width(), frame.height() - qRound(Strip()) + barHeight);
    // Some window managers (openbox) ignore the hint that asks for no
    // Maximize button and drop it only for a window of one size: a window
    // that may not be zoomed keeps its size.
    if (fFlags & (B_NOT_RESIZABLE | B_NOT_ZOOMABLE))
        setFixedSize(size);
    setGeometry(QRect(frame.topLeft(), size));
}

void QtWindow::Resize(QSize size)
{
    // A hidden window hears of its resize only once shown, and showing it
    // applies the frame: the frame changes first.
    resize(size);
    ReportFrame();
}

void QtWindow::MoveTo(QPoint where)
{
    move(where);
    ReportFrame();
}

void QtWindow::SetFullScreen(bool fullScreen)
{
    if (fullScreen == fFullScreen)
        return;
    fFullScreen = fullScreen;
    // On X11 only a window manager acts on the full-screen state; without
    // one the window takes the screen, and gives it back, itself.
    const bool unmanaged = QGuiApplication::platformName() == "xcb";
    if (fullScreen) {
        fNormalGeometry = geometry();
        showFullScreen();
        if (unmanaged)
            setGeometry(screen()->geometry());
        // It covers the other windows, so it takes the keys too (Escape).
        raise();
        activateWindow();
    } else {
        showNormal();
        if (unmanaged)
            setGeometry(fNormalGeometry);
    }
}

void QtWindow::closeEvent(QCloseEvent* event)
{
    // The API window decides in QuitRequested; if it agrees it quits and
    // the display is told to destroy this window.
    event->ignore();
    fAddress.Post(BMessage(B_QUIT_REQUESTED));
}

void QtWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && (fFlags & B_CLOSE_ON_ESCAPE) != 0) {
        fAddress.Post(BMessage(B_QUIT_REQUESTED));
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void QtWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    ReportFrame();
}

void QtWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    ReportFrame();
}

void QtWindow::ReportFrame()
{
    // The API's frame has its own strip for the menu bar instead of Qt's,
    // reckoned as ApplyGeometry does.
    const QRect shown(pos(), size());
    const int barHeight = fBar ? fBar->sizeHint().height() : 0;
    const BRect frame(shown.left(), shown.top(), shown.right(), shown.bottom() + qRound(Strip()) - barHeight);
    if (frame == fFrame && fFullScreen == fReportedFullScreen)
        return;
    fFrame = frame;
    fReportedFullScreen = fFullScreen;
    BMessage changed(kWindowFrameChanged);
    changed.AddRect("frame", frame);
    changed.AddBool("full screen", fFullScreen);
    fAddress.Post(changed);
}

namespace {

QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

void QtWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void QtWindow::dropEvent(QDropEvent* event)
{
    BMessage dropped(B_SIMPLE_DATA);
    for (const QString& file : LocalFiles(event->mimeData()))
        dropped.AddString("be:path", file.toStdString().c_str());
    event->acceptProposedAction();
    fAddress.Post(dropped);
}
