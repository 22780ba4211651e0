#include "platform/display/qt/QtDesktop.h"

#include "platform/display/qt/QtDisplay.h"
#include "platform/display/qt/QtMenuStyle.h"
#include "platform/display/qt/QtPeers.h"
#include "platform/display/qt/QtWaker.h"

#include <QApplication>
#include <QTimer>

#include <clocale>

namespace {

// QApplication keeps references to these for its whole life.
int sArgumentCount = 1;
char sProgramName[] = "zimbrel";
char* sArguments[] = { sProgramName, nullptr };

// How often the loop looks whether the quitting windows are gone.
constexpr int kWindowPollMilliseconds = 10;

} // namespace

QtDesktop::QtDesktop()
    : fApplication(std::make_unique<QApplication>(sArgumentCount, sArguments))
    , fDisplay(std::make_shared<QtDisplay>())
    , fPeers(std::make_unique<QtPeers>(*fDisplay))
{
    // Qt takes the user's locale for everything; the program's own output
    // (message dumps with numbers) keeps the C conventions.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setStyle(new QtMenuStyle);
    QGuiApplication::setDesktopFileName("zimbrel");
    // Windows close through the API; the application decides when to end.
    QApplication::setQuitOnLastWindowClosed(false);
    fDisplay->Attach(fPeers.get());
}

QtDesktop::~QtDesktop()
{
    TearDown();
}

void QtDesktop::Run(BApplication& application)
{
    if (!fApplication)
        return;
    auto waker = std::make_shared<QtWaker>([this, &application] { Dispatch(application); });
    application.Queue()->SetWakeHandler([waker] { waker->Wake(); });
    waker->Wake(); // for what was posted before Run
    fApplication->exec();
    application.Queue()->SetWakeHandler(nullptr);
    waker->Stop();
    TearDown();
}

void QtDesktop::Dispatch(BApplication& application)
{
    if (fQuitting || DispatchPending(application))
        return;
    fQuitting = true;
    WaitForWindows(application);
}

void QtDesktop::WaitForWindows(BApplication& application)
{
    // The Qt loop keeps running meanwhile, so the windows' last commands
    // (their destruction) are applied as they quit.
    const auto deadline = std::chrono::steady_clock::now() + BApplication::kWindowQuitTimeout;
    auto* poll = new QTimer(fApplication.get());
    QObject::connect(poll, &QTimer::timeout, [&application, deadline] {
        if (BLooper::WaitForOtherLoopers(&application, std::chrono::milliseconds(0))
            || std::chrono::steady_clock::now() > deadline)
            QCoreApplication::exit();
    });
    poll->start(kWindowPollMilliseconds);
}

void QtDesktop::TearDown()
{
    if (!fApplication)
        return;
    fDisplay->ApplyPending();
    fDisplay->Close();
    fPeers.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    fApplication.reset();
}
