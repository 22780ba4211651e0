#include "platform/display/qt/QtPlotView.h"

#include "platform/display/qt/QtConversions.h"
#include "platform/interface/PlotView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

QtPlotView::QtPlotView(QWidget* parent, const ViewInfo& info)
    : QWidget(parent)
    , fPoints(info.points)
    , fMark(info.meter)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(info.viewColor));
    setPalette(colours);
    setAutoFillBackground(true);
    fSampler.setInterval(MeterWatch::kFrame);
    QObject::connect(&fSampler, &QTimer::timeout, this, [this] {
        if (fMark && fMark->Level() != fShownMark)
            update();
    });
}

void QtPlotView::SetPoints(const std::vector<BPoint>& points)
{
    fPoints = points;
    update();
}

QRectF QtPlotView::Square() const
{
    const double side = std::min(width(), height()) - 9.0;
    return QRectF((width() - side) / 2, (height() - side) / 2, side, side);
}

QPointF QtPlotView::ToWidget(double x, double y) const
{
    const QRectF square = Square();
    return QPointF(square.left() + x * square.width(), square.bottom() - y * square.height());
}

double QtPlotView::LineAt(double x) const
{
    for (size_t i = 1; i < fPoints.size(); ++i) {
        const BPoint& a = fPoints[i - 1];
        const BPoint& b = fPoints[i];
        if (x <= b.x || i + 1 == fPoints.size())
            return b.x > a.x ? a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x) : b.y;
    }
    return fPoints.empty() ? x : fPoints.front().y;
}

void QtPlotView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square = Square();
    painter.fillRect(square, Qt::white);
    painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    painter.drawLine(ToWidget(0, 0), ToWidget(1, 1));
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.drawRect(square);
    if (fPoints.size() >= 2) {
        QPainterPath line(ToWidget(fPoints.front().x, fPoints.front().y));
        for (const BPoint& point : fPoints)
            line.lineTo(ToWidget(point.x, point.y));
        painter.setPen(QPen(QColor(20, 60, 160), 2));
        painter.drawPath(line);
    }
    fShownMark = fMark ? fMark->Level() : MeterState::kDimmed;
    if (fShownMark <= BPlotView::kMarkScale) {
        const double x = double(fShownMark) / BPlotView::kMarkScale;
        const QPointF mark = ToWidget(x, LineAt(x));
        painter.setPen(QPen(QColor(200, 30, 30), 1, Qt::DashLine));
        painter.drawLine(ToWidget(x, 0), mark);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 30, 30));
        painter.drawEllipse(mark, 4, 4);
    }
}

void QtPlotView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fSampler.start();
}

void QtPlotView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    fSampler.stop();
}
