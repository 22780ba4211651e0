#pragma once

// The loopers that asked a service for its messages, and the rules for
// posting to them. A listener is kept once however often it is added. A
// listener that asked for no pointer history gets each B_MOUSE_MOVED as a
// replacement for one it has not taken yet; every other message queues. A
// listener whose looper is gone (the post fails) is dropped.
//
// Thread rules: any thread may add, remove and post. A post goes to the
// listeners of the moment it starts; no lock is held while posting. Adding
// and removing copy the list, so that a post, many times more frequent,
// only takes a reference to it and allocates nothing.

#include "platform/app/Messenger.h"

#include <memory>
#include <mutex>
#include <vector>

class ListenerList {
public:
    void Add(const BMessenger& listener, bool noPointerHistory);
    void Remove(const BMessenger& listener);
    void Post(const BMessage& message);
    size_t Count() const;

private:
    struct Listener {
        BMessenger messenger;
        bool noPointerHistory = false;
    };

    using Listeners = std::vector<Listener>;

    std::shared_ptr<const Listeners> Snapshot() const;

    mutable std::mutex fLock;
    std::shared_ptr<const Listeners> fListeners = std::make_shared<const Listeners>();
};
