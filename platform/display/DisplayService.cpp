#include "platform/display/DisplayService.h"

#include "platform/display/HeadlessDisplay.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex sLock;
std::shared_ptr<DisplayService> sInstalled;

} // namespace

std::shared_ptr<DisplayService> DisplayService::Current()
{
    std::lock_guard lock(sLock);
    if (!sInstalled)
        sInstalled = std::make_shared<HeadlessDisplay>();
    return sInstalled;
}

void DisplayService::Install(std::shared_ptr<DisplayService> display)
{
    std::lock_guard lock(sLock);
    sInstalled = std::move(display);
}

PeerId DisplayService::NewPeerId()
{
    static std::atomic<PeerId> next { 1 };
    return next.fetch_add(1, std::memory_order_relaxed);
}
