#include "platform/display/qt/QtDesktop.h"

#include "platform/display/qt/QtDisplay.h"
#include "platform/display/qt/QtMenuStyle.h"
#include "platform/display/qt/QtPeers.h"
#include "platform/display/qt/QtWaker.h"
#include "platform/support/XServerLoss.h"

#include <QApplication>
#include <QTimer>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <unistd.h>

namespace {

// QApplication keeps references to these for its whole life.
int sArgumentCount = 1;
char sProgramName[] = "zimbrel";
char* sArguments[] = { sProgramName, nullptr };

// How often the loop looks whether the quitting windows are gone.
constexpr int kWindowPollMilliseconds = 10;

// True while the Qt loop runs.
std::atomic<bool> sLoopRunning{false};

// Qt's X11 plugin ends the process with exit(1) when the connection to the X
// server breaks (the session ended, the server was killed). The exit
// handlers would then destroy the desktop, its widgets and the MIDI service
// under the window threads that still use them. An exit while the loop runs
// is therefore finished here, before those handlers: the
// process ends (with one line, unless the pointer reader said it first).
// The system closes the MIDI client's connection with it, so
// its ports vanish from other programs at once.
void EndAfterExitDuringLoop()
{
    if (!sLoopRunning.load())
        return;
    static const char message[] = "zimbrel: lost the connection to the X server: quitting\n";
    if (ClaimXServerLossReport()) {
        [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    }
    // No flushing: another thread may hold the standard output's lock, and
    // the program's lines are line-buffered anyway.
    _exit(1);
}

// Says nothing of the broken connection: EndAfterExitDuringLoop does, in
// words of its own. Everything else Qt says passes through.
QtMessageHandler sQtMessages = nullptr;

void FilterQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("X11 connection broke")))
        return;
    if (sQtMessages)
        sQtMessages(type, context, text);
}

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
    static const QtMessageHandler previous = qInstallMessageHandler(FilterQtMessage);
    sQtMessages = previous;
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
    // Registered anew for each run, so that it comes before the exit handlers
    // of everything made until now, the MIDI kit included.
    std::atexit(EndAfterExitDuringLoop);
    sLoopRunning = true;
    fApplication->exec();
    sLoopRunning = false;
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
