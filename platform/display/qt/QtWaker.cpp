#include "platform/display/qt/QtWaker.h"

#include <QMetaObject>
#include <QObject>

QtWaker::QtWaker(std::function<void()> task)
    : fReceiver(new QObject)
    , fTask(std::move(task))
{
}

QtWaker::~QtWaker()
{
    Stop();
}

void QtWaker::Wake()
{
    std::lock_guard lock(fLock);
    if (fReceiver == nullptr || fPending)
        return;
    fPending = true;
    QMetaObject::invokeMethod(
        fReceiver,
        [this] {
            {
                std::lock_guard lock(fLock);
                fPending = false;
            }
            fTask();
        },
        Qt::QueuedConnection);
}

void QtWaker::Stop()
{
    std::lock_guard lock(fLock);
    // Deleting the receiver also drops a run that is still queued for it.
    delete fReceiver;
    fReceiver = nullptr;
}
