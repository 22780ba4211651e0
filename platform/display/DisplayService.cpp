#include "platform/display/Display.h"

#include "platform/display/HeadlessDisplay.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex sLock;
std::shared_ptr<Display> sInstalled;

} // namespace

std::shared_ptr<Display> Display::Current()
{
    std::lock_guard lock(sLock);
    if (!sInstalled)
        sInstalled = std::make_shared<HeadlessDisplay>();
    return sInstalled;
}

void Display::Install(std::shared_ptr<Display> display)
{
    std::lock_guard lock(sLock);
    sInstalled = std::move(display);
}

PeerId Display::NewPeerId()
{
    static std::atomic<PeerId> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}
