#pragma once

// QtMeterClock: the one frame timer of the meters of a display. It runs
// only while some meter on screen is watching its state, and each tick
// lets every such meter sample once; a meter that has nothing more to show
// leaves, and the timer stops with the last one.
//
// Thread rules: main thread only.

#include <QPointer>
#include <QTimer>

#include <vector>

class QtMeterView;

class QtMeterClock {
public:
    QtMeterClock();

    QtMeterClock(const QtMeterClock&) = delete;
    QtMeterClock& operator=(const QtMeterClock&) = delete;

    void Join(QtMeterView* meter);
    void Leave(QtMeterView* meter);

private:
    void Tick();

    QTimer fTimer;
    // A meter deleted while it samples drops out by itself.
    std::vector<QPointer<QtMeterView>> fMeters;
};
