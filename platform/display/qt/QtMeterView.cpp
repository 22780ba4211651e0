#include "platform/display/qt/QtMeterView.h"

#include "platform/display/qt/QtConversions.h"
#include "platform/display/qt/QtMeterClock.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace {

// A lit green on a dark trough reads at a glance on the grey panel; an off
// meter is a faint outline in the panel's own tone.
const QColor kFill(64, 200, 96);
const QColor kTrough(56, 56, 56);
const QColor kEdge(32, 32, 32);
const QColor kDimmedTrough(168, 168, 168);
const QColor kDimmedEdge(128, 128, 128);
const QColor kLampOff(88, 88, 88);

} // namespace

QtMeterView::QtMeterView(QWidget* parent, const ViewInfo& info, QtMeterClock& clock)
    : QWidget(parent)
    , fState(info.meter ? info.meter : std::make_shared<MeterState>())
    , fWatch(*fState)
    , fClock(clock)
    , fLamp(info.kind == ViewKind::MeterLamp)
{
    // A bar covers every pixel of its rectangle, so nothing beneath it need
    // be painted first; a lamp's corners show the view colour.
    if (fLamp)
        setAutoFillBackground(true);
    else
        setAttribute(Qt::WA_OpaquePaintEvent);
    SetColors(info.viewColor);
}

void QtMeterView::SetColors(rgb_color viewColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    setPalette(colours);
}

void QtMeterView::Wake()
{
    if (fSampling || !OnScreen())
        return;
    fSampling = true;
    fWatch.Wake();
    fClock.Join(this);
}

bool QtMeterView::SampleFrame()
{
    // Off screen nothing is sampled; the state stays claimed by its
    // setter, and the next exposure paints and wakes the meter again.
    if (!OnScreen()) {
        fSampling = false;
        return false;
    }
    switch (fWatch.Frame(*fState)) {
    case MeterWatch::Step::Repaint:
        // A bar shows a level only to the pixel; a change within one pixel
        // is not worth a repaint.
        if (fLamp || FilledHeight(fWatch.Shown()) != fPaintedHeight)
            update();
        return true;
    case MeterWatch::Step::Keep: return true;
    case MeterWatch::Step::Stop: break;
    }
    fSampling = false;
    return false;
}

bool QtMeterView::OnScreen() const
{
    const QWidget* top = window();
    const QWindow* handle = top->windowHandle();
    return isVisible() && !top->isMinimized() && handle != nullptr && handle->isExposed();
}

void QtMeterView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    if (fLamp)
        PaintLamp(painter, fWatch.Shown());
    else
        PaintBar(painter, fWatch.Shown());
    // Values set while the window was hidden wait for this.
    if (fState->Watched())
        Wake();
}

bool QtMeterView::eventFilter(QObject* watched, QEvent* event)
{
    // A window mapped again shows its old pixels without a repaint; values
    // set meanwhile wait for this.
    if (event->type() == QEvent::Expose && fState->Watched())
        QTimer::singleShot(0, this, [this] { Wake(); });
    return QWidget::eventFilter(watched, event);
}

void QtMeterView::showEvent(QShowEvent* /*event*/)
{
    if (QWindow* handle = window()->windowHandle())
        handle->installEventFilter(this);
    Wake();
}

void QtMeterView::hideEvent(QHideEvent* /*event*/)
{
    fSampling = false;
    fClock.Leave(this);
}

QRect QtMeterView::Trough() const
{
    return rect().adjusted(1, 1, -1, -1);
}

int QtMeterView::FilledHeight(const MeterWatch::Look& look) const
{
    if (look.level == MeterState::kDimmed)
        return -1;
    return int(std::lround(double(look.level) * Trough().height() / MeterState::kFullLevel));
}

void QtMeterView::PaintBar(QPainter& painter, const MeterWatch::Look& look)
{
    fPaintedHeight = FilledHeight(look);
    const bool dimmed = fPaintedHeight < 0;
    painter.fillRect(rect(), dimmed ? kDimmedEdge : kEdge);
    const QRect trough = Trough();
    painter.fillRect(trough, dimmed ? kDimmedTrough : kTrough);
    if (fPaintedHeight > 0)
        painter.fillRect(
            QRect(trough.left(), trough.bottom() + 1 - fPaintedHeight, trough.width(), fPaintedHeight), kFill);
}

void QtMeterView::PaintLamp(QPainter& painter, const MeterWatch::Look& look)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(look.lit ? kFill : kLampOff);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
