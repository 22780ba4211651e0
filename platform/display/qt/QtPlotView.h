#pragma once

// QtPlotView: a framed unit square with a line through the API view's
// points and a dot on the line where the shared mark says. While shown it
// samples the mark 30 times a second and repaints only when it moved.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/MeterState.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QtPlotView final : public QWidget {
public:
    QtPlotView(QWidget* parent, const ViewInfo& info);

    void SetPoints(const std::vector<BPoint>& points);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The plot's square within the widget, and a point of the unit square in it.
    QRectF Square() const;
    QPointF ToWidget(double x, double y) const;
    // The line's height at `x`, between its points.
    double LineAt(double x) const;

    std::vector<BPoint> fPoints;
    std::shared_ptr<MeterState> fMark;
    uint16 fShownMark = MeterState::kDimmed;
    QTimer fSampler;
};
