#pragma once

// QtDesktop: Qt on the main thread for the lifetime of one application
// run. It owns the QApplication, the widgets and the display's queue, and is
// the event loop BApplication::Run drives: the Qt loop runs, the
// application's messages are dispatched whenever its queue wakes the main
// thread, and once the application quit and its windows are gone (or the
// wait ran out) everything Qt is torn down, on the main thread.
//
// Thread rules: main thread only. Make it only where the display Qt is to
// use (QT_QPA_PLATFORM) answers.

#include "platform/app/Application.h"

#include <memory>

class QApplication;
class QtDisplay;
class QtPeers;

class QtDesktop final : public BApplication::EventLoop {
public:
    QtDesktop();
    ~QtDesktop() override;

    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    std::shared_ptr<QtDisplay> Service() const { return fDisplay; }

    void Run(BApplication& application) override;

private:
    void Dispatch(BApplication& application);
    void WaitForWindows(BApplication& application);
    void TearDown();

    std::unique_ptr<QApplication> fApplication;
    std::shared_ptr<QtDisplay> fDisplay;
    std::unique_ptr<QtPeers> fPeers;
    bool fQuitting = false;
};
