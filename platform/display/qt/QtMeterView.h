#pragma once

// QtMeterView: a level bar or an activity lamp, drawn from the meter state
// it shares with its API view. It samples that state on the display's
// meter clock while the window is on screen and the state changes, and
// repaints only when a pixel of it would change; hidden or minimised, it leaves
// the clock, and the next exposure brings it back.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/MeterState.h"

#include <QWidget>

#include <memory>

class QtMeterClock;

class QtMeterView final : public QWidget {
public:
    QtMeterView(QWidget* parent, const ViewInfo& info, QtMeterClock& clock);

    void SetColors(rgb_color viewColor);
    // The API view set a value while the display was not sampling.
    void Wake();
    // One frame of the clock; false when the meter stops sampling.
    bool SampleFrame();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool OnScreen() const;
    QRect Trough() const;
    // How many pixels of the trough a look fills; -1 when dimmed.
    int FilledHeight(const MeterWatch::Look& look) const;
    void PaintBar(QPainter& painter, const MeterWatch::Look& look);
    void PaintLamp(QPainter& painter, const MeterWatch::Look& look);

    std::shared_ptr<MeterState> fState;
    MeterWatch fWatch;
    QtMeterClock& fClock;
    bool fLamp;
    bool fSampling = false;
    int fPaintedHeight = -1;
};
