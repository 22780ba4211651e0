#include "platform/display/qt/QtWindow.h"

#include "platform/app/AppDefs.h"
#include "platform/display/qt/QtConversions.h"

#include <QCloseEvent>
#include <QMenuBar>

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
    if (fFlags & B_NOT_RESIZABLE)
        setFixedSize(size);
    setGeometry(QRect(frame.topLeft(), size));
}

void QtWindow::closeEvent(QCloseEvent* event)
{
    // The API window decides in QuitRequested; if it agrees it quits and
    // the display is told to destroy this window.
    event->ignore();
    fAddress.Post(BMessage(B_QUIT_REQUESTED));
}
