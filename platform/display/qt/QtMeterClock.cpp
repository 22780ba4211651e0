#include "platform/display/qt/QtMeterClock.h"

#include "platform/display/MeterState.h"
#include "platform/display/qt/QtMeterView.h"

#include <algorithm>

QtMeterClock::QtMeterClock()
{
    fTimer.setInterval(MeterWatch::kFrame);
    fTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
}

void QtMeterClock::Join(QtMeterView* meter)
{
    if (std::find(fMeters.begin(), fMeters.end(), meter) == fMeters.end())
        fMeters.push_back(meter);
    if (!fTimer.isActive())
        fTimer.start();
}

void QtMeterClock::Leave(QtMeterView* meter)
{
    std::erase_if(
        fMeters, [meter](const QPointer<QtMeterView>& joined) { return joined.isNull() || joined == meter; });
    if (fMeters.empty())
        fTimer.stop();
}

void QtMeterClock::Tick()
{
    // A meter may leave while it samples.
    const std::vector<QPointer<QtMeterView>> meters = fMeters;
    for (const QPointer<QtMeterView>& meter : meters)
        if (meter.isNull() || !meter->SampleFrame())
            Leave(meter);
}
