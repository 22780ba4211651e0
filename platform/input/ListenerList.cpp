#include "platform/input/ListenerList.h"

#include "platform/app/AppDefs.h"

#include <algorithm>

void ListenerList::Add(const BMessenger& listener, bool noPointerHistory)
{
    std::lock_guard lock(fLock);
    auto listeners = std::make_shared<Listeners>(*fListeners);
    auto known = std::find_if(
        listeners->begin(), listeners->end(), [&](const Listener& l) { return l.messenger == listener; });
    if (known != listeners->end())
        known->noPointerHistory = noPointerHistory;
    else
        listeners->push_back(Listener { listener, noPointerHistory });
    fListeners = std::move(listeners);
}

void ListenerList::Remove(const BMessenger& listener)
{
    std::lock_guard lock(fLock);
    auto listeners = std::make_shared<Listeners>(*fListeners);
    std::erase_if(*listeners, [&](const Listener& l) { return l.messenger == listener; });
    fListeners = std::move(listeners);
}

void ListenerList::Post(const BMessage& message)
{
    const std::shared_ptr<const Listeners> listeners = Snapshot();
    for (const Listener& listener : *listeners) {
        const bool replacing = listener.noPointerHistory && message.what == B_MOUSE_MOVED;
        const status_t status = replacing ? listener.messenger.SendReplacingQueued(message)
                                          : listener.messenger.SendMessage(&message);
        // The looper has quit and will never take a message again.
        if (status != B_OK)
            Remove(listener.messenger);
    }
}

size_t ListenerList::Count() const
{
    return Snapshot()->size();
}

std::shared_ptr<const ListenerList::Listeners> ListenerList::Snapshot() const
{
    std::lock_guard lock(fLock);
    return fListeners;
}
