#include "platform/input/x11/X11Connection.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct ConnectionRegistry {
    struct Entry {
        Display* display;
        // Null while the connection is being closed: its errors are still
        // ours to silence, but the object is going.
        X11Connection* connection;
    };

    std::mutex lock;
    std::vector<Entry> entries;
    XErrorHandler previousErrorHandler = nullptr;
    XIOErrorHandler previousIOErrorHandler = nullptr;
};

ConnectionRegistry& Registry()
{
    static ConnectionRegistry registry;
    return registry;
}

// Xlib calls this after the I/O error handler; its default ends the process.
// Returning lets the thread that met the break carry on and stop cleanly.
void KeepRunningAfterIOError(Display* /*display*/, void* /*userData*/) { }

// Applies `mark` to the connection behind `display` and answers true, or
// answers false when `display` is not one of ours.
template <typename Mark> bool MarkConnection(Display* display, Mark mark)
{
    ConnectionRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    for (const ConnectionRegistry::Entry& entry : registry.entries) {
        if (entry.display != display)
            continue;
        if (entry.connection != nullptr)
            mark(*entry.connection);
        return true;
    }
    return false;
}

} // namespace

int X11Connection::OnError(Display* display, XErrorEvent* error)
{
    if (MarkConnection(display, [](X11Connection& connection) { ++connection.fErrors; }))
        return 0;
    const XErrorHandler previous = Registry().previousErrorHandler;
    return previous != nullptr ? previous(display, error) : 0;
}

int X11Connection::OnIOError(Display* display)
{
    if (MarkConnection(display, [](X11Connection& connection) { connection.fLost = true; }))
        return 0;
    const XIOErrorHandler previous = Registry().previousIOErrorHandler;
    return previous != nullptr ? previous(display) : 0;
}

X11Connection::X11Connection(const char* displayName)
{
    static std::once_flag handlersInstalled;
    std::call_once(handlersInstalled, [] {
        XInitThreads();
        ConnectionRegistry& registry = Registry();
        registry.previousErrorHandler = XSetErrorHandler(OnError);
        registry.previousIOErrorHandler = XSetIOErrorHandler(OnIOError);
    });

    fDisplay = XOpenDisplay(displayName);
    if (fDisplay == nullptr)
        return;
    XSetIOErrorExitHandler(fDisplay, KeepRunningAfterIOError, nullptr);
    ConnectionRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    registry.entries.push_back({ fDisplay, this });
}

X11Connection::~X11Connection()
{
    if (fDisplay == nullptr)
        return;
    ConnectionRegistry& registry = Registry();
    auto mine = [&](const ConnectionRegistry::Entry& entry) { return entry.display == fDisplay; };
    {
        std::lock_guard lock(registry.lock);
        std::find_if(registry.entries.begin(), registry.entries.end(), mine)->connection = nullptr;
    }
    // A lost display stays locked by the thread that found the break, and
    // closing it would wait for that lock for ever; its memory is left.
    if (!IsLost())
        XCloseDisplay(fDisplay);
    std::lock_guard lock(registry.lock);
    std::erase_if(registry.entries, mine);
}

BRect X11Connection::RootFrame() const
{
    Window root = 0;
    int x = 0;
    int y = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    if (!XGetGeometry(fDisplay, Root(), &root, &x, &y, &width, &height, &border, &depth))
        return BRect();
    return BRect(0, 0, float(width) - 1, float(height) - 1);
}
