#pragma once

// The pointer service's listeners and the one way pointer events reach them.
// A source of pointer events (the X server's reader, or a test) hands each
// event to Broadcast(); with no source attached it simply delivers nothing.
//
// Thread rules: any thread may add, remove and broadcast.

#include "platform/input/ListenerList.h"
#include "platform/input/PointerService.h"

#include <functional>
#include <mutex>

class PointerBroadcaster final : public PointerService {
public:
    void AddListener(const BMessenger& listener, bool noPointerHistory) override;
    void RemoveListener(const BMessenger& listener) override;
    bool AsksConsent() const override;
    void AskConsentAgain() override;
    bool TellsDevicesApart() const override;
    std::vector<std::string> DeviceNames() const override;
    bool DeviceIsNamed(int32 id, std::string_view name) const override;

    // A source that tells devices apart gives their ids and names each time
    // they change.
    struct Device {
        int32 id;
        std::string name;
    };
    void SetDevices(std::vector<Device> devices);

    // Posts `event` (B_MOUSE_DOWN, B_MOUSE_MOVED or B_MOUSE_UP) to every
    // listener, as ListenerList describes.
    void Broadcast(const BMessage& event);
    size_t CountListeners() const { return fListeners.Count(); }
    // Posts kPointerServiceStatus (see PointerService.h) to every listener
    // and keeps it for listeners added later.
    void SetStatus(PointerServiceState state, const char* text);
    // A source that can be read on a listener's thread (HostedSource.h)
    // gives the way to move it there. It is called with each listener added,
    // one call at a time; an empty function takes it back, and once that
    // returns no call is under way.
    void SetHostOffer(std::function<void(const BMessenger& listener)> offer);

    // A source that needs the desktop's consent gives the way to ask for it
    // again; an empty function takes it back.
    void SetConsentRequest(std::function<void()> askAgain);

private:
    ListenerList fListeners;
    mutable std::mutex fDeviceLock;
    std::vector<Device> fDevices;
    bool fTellsDevicesApart = false;
    mutable std::mutex fStatusLock;
    BMessage fStatus;
    std::function<void()> fAskAgain;
    std::mutex fHostLock;
    std::function<void(const BMessenger&)> fHostOffer;
};
