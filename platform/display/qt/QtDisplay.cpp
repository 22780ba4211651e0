#include "platform/display/qt/QtDisplay.h"

#include "platform/display/qt/QtPeers.h"
#include "platform/display/qt/QtWaker.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

BRect ToBRect(const QRect& area)
{
    return BRect(float(area.left()), float(area.top()), float(area.right()), float(area.bottom()));
}

} // namespace

QtDisplay::QtDisplay()
    : fKnowsWindowPlaces(!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    , fScreenWatch(std::make_unique<QObject>())
    , fWaker(std::make_unique<QtWaker>([this] { ApplyPending(); }))
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        fWorkArea = ToBRect(screen->availableGeometry());
        QObject::connect(screen, &QScreen::availableGeometryChanged, fScreenWatch.get(), [this](const QRect& area) {
            std::lock_guard lock(fAreaLock);
            fWorkArea = ToBRect(area);
        });
    }
}

BRect QtDisplay::WorkArea() const
{
    std::lock_guard lock(fAreaLock);
    return fWorkArea;
}

QtDisplay::~QtDisplay() = default;

void QtDisplay::CreateWindow(PeerId window, const WindowInfo& info)
{
    Enqueue([=](QtPeers& peers) { peers.CreateWindow(window, info); });
}

void QtDisplay::ShowWindow(PeerId window, bool shown)
{
    Enqueue([=](QtPeers& peers) { peers.ShowWindow(window, shown); });
}

void QtDisplay::DestroyWindow(PeerId window)
{
    Enqueue([=](QtPeers& peers) { peers.DestroyWindow(window); });
}

void QtDisplay::SetWindowTitle(PeerId window, const std::string& title)
{
    Enqueue([=](QtPeers& peers) { peers.SetWindowTitle(window, title); });
}

void QtDisplay::ActivateWindow(PeerId window)
{
    Enqueue([=](QtPeers& peers) { peers.ActivateWindow(window); });
}

void QtDisplay::ToggleFullScreen(PeerId window)
{
    Enqueue([=](QtPeers& peers) { peers.ToggleFullScreen(window); });
}

void QtDisplay::MoveWindow(PeerId window, BPoint where)
{
    Enqueue([=](QtPeers& peers) { peers.MoveWindow(window, where); });
}

void QtDisplay::CreateView(PeerId view, const ViewInfo& info)
{
    Enqueue([=](QtPeers& peers) { peers.CreateView(view, info); });
}

void QtDisplay::SetViewFrame(PeerId view, BRect frame)
{
    Enqueue([=](QtPeers& peers) { peers.SetViewFrame(view, frame); });
}

void QtDisplay::SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor)
{
    Enqueue([=](QtPeers& peers) { peers.SetViewColors(view, viewColor, highColor); });
}

void QtDisplay::SetViewText(PeerId view, const std::string& text)
{
    Enqueue([=](QtPeers& peers) { peers.SetViewText(view, text); });
}

void QtDisplay::SetFieldValue(PeerId field, const std::string& value)
{
    Enqueue([=](QtPeers& peers) { peers.SetFieldValue(field, value); });
}

void QtDisplay::SetDivider(PeerId field, float divider)
{
    Enqueue([=](QtPeers& peers) { peers.SetDivider(field, divider); });
}

void QtDisplay::InvalidateView(PeerId view)
{
    Enqueue([=](QtPeers& peers) { peers.InvalidateView(view); });
}

void QtDisplay::SetViewPoints(PeerId view, const std::vector<BPoint>& points)
{
    Enqueue([=](QtPeers& peers) { peers.SetViewPoints(view, points); });
}

void QtDisplay::MakeFocus(PeerId view)
{
    Enqueue([=](QtPeers& peers) { peers.MakeFocus(view); });
}

void QtDisplay::DestroyView(PeerId view)
{
    Enqueue([=](QtPeers& peers) { peers.DestroyView(view); });
}

void QtDisplay::CreateMenu(PeerId menu, const MenuInfo& info)
{
    Enqueue([=](QtPeers& peers) { peers.CreateMenu(menu, info); });
}

void QtDisplay::SetMenuRadio(PeerId menu, bool radio)
{
    Enqueue([=](QtPeers& peers) { peers.SetMenuRadio(menu, radio); });
}

void QtDisplay::DestroyMenu(PeerId menu)
{
    Enqueue([=](QtPeers& peers) { peers.DestroyMenu(menu); });
}

void QtDisplay::AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info)
{
    Enqueue([=](QtPeers& peers) { peers.AddMenuItem(container, index, info); });
}

void QtDisplay::RemoveMenuItem(PeerId container, PeerId item)
{
    Enqueue([=](QtPeers& peers) { peers.RemoveMenuItem(container, item); });
}

void QtDisplay::SetItemLabel(PeerId item, const std::string& label)
{
    Enqueue([=](QtPeers& peers) { peers.SetItemLabel(item, label); });
}

void QtDisplay::SetItemMarked(PeerId item, bool marked)
{
    Enqueue([=](QtPeers& peers) { peers.SetItemMarked(item, marked); });
}

void QtDisplay::SetItemEnabled(PeerId item, bool enabled)
{
    Enqueue([=](QtPeers& peers) { peers.SetItemEnabled(item, enabled); });
}

void QtDisplay::OpenPicture(PeerId view, const std::string& path, bool fitWindow)
{
    Enqueue([=](QtPeers& peers) { peers.OpenPicture(view, path, fitWindow); });
}

void QtDisplay::ChoosePicture(PeerId view)
{
    Enqueue([=](QtPeers& peers) { peers.ChoosePicture(view); });
}

void QtDisplay::PastePicture(PeerId view)
{
    Enqueue([=](QtPeers& peers) { peers.PastePicture(view); });
}

void QtDisplay::Acknowledge(int64 token)
{
    Enqueue([this, token](QtPeers&) { fLastAcknowledged = token; });
}

void QtDisplay::Attach(QtPeers* peers)
{
    fPeers = peers;
    fWaker->Wake();
}

void QtDisplay::ApplyPending()
{
    Command command;
    while (fPeers != nullptr && TakeNext(command, std::chrono::steady_clock::time_point::min()))
        command(*fPeers);
}

bool QtDisplay::ApplyUntilAcknowledged(int64 token, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Command command;
    while (fPeers != nullptr && fLastAcknowledged != token && TakeNext(command, deadline))
        command(*fPeers);
    return fLastAcknowledged == token;
}

void QtDisplay::Close()
{
    fWaker->Stop();
    fPeers = nullptr;
    std::deque<Command> dropped;
    std::lock_guard lock(fLock);
    fClosed = true;
    dropped.swap(fCommands);
}

void QtDisplay::Enqueue(Command command)
{
    {
        std::lock_guard lock(fLock);
        if (fClosed)
            return;
        fCommands.push_back(std::move(command));
    }
    fQueued.notify_one();
    fWaker->Wake();
}

bool QtDisplay::TakeNext(Command& command, std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(fLock);
    if (!fQueued.wait_until(lock, deadline, [this] { return !fCommands.empty(); }))
        return false;
    command = std::move(fCommands.front());
    fCommands.pop_front();
    return true;
}
