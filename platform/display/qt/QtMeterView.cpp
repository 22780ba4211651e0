#include "platform/display/qt/QtMeterView.h"

#include "platform/display/qt/QtConversions.h"
#include "platform/display/qt/QtMeterClock.h"

#include <QPainter>
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
    setAutoFillBackground(true);
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
    case MeterWatch::Step::Repaint: update(); return true;
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

void QtMeterView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    if (fLamp)
        PaintLamp(painter, fWatch.Shown());
    else
        PaintBar(painter, fWatch.Shown());
    // Values set while the window was hidden wait for this.
    if (fState->Watched())
        Wake();
}

void QtMeterView::showEvent(QShowEvent* /*event*/)
{
    Wake();
}

void QtMeterView::hideEvent(QHideEvent* /*event*/)
{
    fSampling = false;
    fClock.Leave(this);
}

void QtMeterView::PaintBar(QPainter& painter, const MeterWatch::Look& look)
{
    const bool dimmed = look.level == MeterState::kDimmed;
    const QRect outline = rect();
    painter.fillRect(outline, dimmed ? kDimmedEdge : kEdge);
    const QRect trough = outline.adjusted(1, 1, -1, -1);
    painter.fillRect(trough, dimmed ? kDimmedTrough : kTrough);
    if (dimmed || look.level == 0)
        return;
    const int filled = int(std::lround(double(look.level) * trough.height() / MeterState::kFullLevel));
    painter.fillRect(QRect(trough.left(), trough.bottom() + 1 - filled, trough.width(), filled), kFill);
}

void QtMeterView::PaintLamp(QPainter& painter, const MeterWatch::Look& look)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(look.lit ? kFill : kLampOff);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
