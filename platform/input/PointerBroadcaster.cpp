#include "platform/input/PointerBroadcaster.h"

#include <algorithm>

void PointerBroadcaster::AddListener(const BMessenger& listener, bool noPointerHistory)
{
    {
        // Under the status lock, so a status set meanwhile cannot overtake
        // the one this listener is sent.
        std::lock_guard lock(fStatusLock);
        fListeners.Add(listener, noPointerHistory);
        if (fStatus.what == kPointerServiceStatus)
            listener.SendMessage(&fStatus);
    }
    std::lock_guard lock(fHostLock);
    if (fHostOffer)
        fHostOffer(listener);
}

void PointerBroadcaster::SetHostOffer(std::function<void(const BMessenger& listener)> offer)
{
    std::lock_guard lock(fHostLock);
    fHostOffer = std::move(offer);
}

void PointerBroadcaster::RemoveListener(const BMessenger& listener)
{
    fListeners.Remove(listener);
}

void PointerBroadcaster::Broadcast(const BMessage& event)
{
    fListeners.Post(event);
}

bool PointerBroadcaster::AsksConsent() const
{
    std::lock_guard lock(fStatusLock);
    return bool(fAskAgain);
}

void PointerBroadcaster::AskConsentAgain()
{
    std::lock_guard lock(fStatusLock);
    const auto state = fStatus.what == kPointerServiceStatus ? fStatus.FindInt32("state") : 0;
    if (fAskAgain && (state == kPointerRefused || state == kPointerEnded))
        fAskAgain();
}

void PointerBroadcaster::SetConsentRequest(std::function<void()> askAgain)
{
    std::lock_guard lock(fStatusLock);
    fAskAgain = std::move(askAgain);
}

bool PointerBroadcaster::TellsDevicesApart() const
{
    std::lock_guard lock(fDeviceLock);
    return fTellsDevicesApart;
}

std::vector<std::string> PointerBroadcaster::DeviceNames() const
{
    std::vector<std::string> names;
    std::lock_guard lock(fDeviceLock);
    for (const Device& device : fDevices) {
        if (std::find(names.begin(), names.end(), device.name) == names.end())
            names.push_back(device.name);
    }
    return names;
}

bool PointerBroadcaster::DeviceIsNamed(int32 id, std::string_view name) const
{
    std::lock_guard lock(fDeviceLock);
    return std::any_of(
        fDevices.begin(), fDevices.end(), [&](const Device& device) { return device.id == id && device.name == name; });
}

void PointerBroadcaster::SetDevices(std::vector<Device> devices)
{
    std::lock_guard lock(fDeviceLock);
    fDevices = std::move(devices);
    fTellsDevicesApart = true;
}

void PointerBroadcaster::SetStatus(PointerServiceState state, const char* text)
{
    BMessage status(kPointerServiceStatus);
    status.AddInt32("state", state);
    status.AddString("text", text);
    std::lock_guard lock(fStatusLock);
    fStatus = status;
    fListeners.Post(status);
}
