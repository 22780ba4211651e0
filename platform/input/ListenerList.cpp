#include "platform/input/ListenerList.h"

#include "platform/app/AppDefs.h"

#include <algorithm>

void ListenerList::Add(const BMessenger& listener, bool noPointerHistory)
{
    std::lock_guard lock(fLock);
    auto known = std::find_if(
        fListeners.begin(), fListeners.end(), [&](const Listener& l) { return l.messenger == listener; });
    if (known != fListeners.end())
        known->noPointerHistory = noPointerHistory;
    else
        fListeners.push_back(Listener { listener, noPointerHistory });
}

void ListenerList::Remove(const BMessenger& listener)
{
    std::lock_guard lock(fLock);
    std::erase_if(fListeners, [&](const Listener& l) { return l.messenger == listener; });
}

void ListenerList::Post(const BMessage& message)
{
    std::vector<Listener> listeners;
    {
        std::lock_guard lock(fLock);
        listeners = fListeners;
    }
    std::vector<BMessenger> gone;
    for (const Listener& listener : listeners) {
        const bool replacing = listener.noPointerHistory && message.what == B_MOUSE_MOVED;
        const status_t status = replacing ? listener.messenger.SendReplacingQueued(message)
                                          : listener.messenger.SendMessage(&message);
        if (status != B_OK)
            gone.push_back(listener.messenger);
    }
    // The looper has quit and will never take a message again.
    for (const BMessenger& messenger : gone)
        Remove(messenger);
}

size_t ListenerList::Count() const
{
    std::lock_guard lock(fLock);
    return fListeners.size();
}
