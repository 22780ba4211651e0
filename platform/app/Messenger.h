#pragma once

// BMessenger: an address for a handler in a looper that may already be gone.
// Sending to a looper that has quit fails with B_BAD_PORT_ID and does nothing
// else. Messengers are cheap values; any thread may send through one.

#include "platform/app/Message.h"

#include <memory>

class BHandler;
class BLooper;
class HostedSource;
class MessageQueue;

class BMessenger {
public:
    BMessenger() = default;
    // Addresses `handler` in its looper (or in `looper` when the handler has
    // none yet). A looper given as handler is addressed as itself.
    explicit BMessenger(const BHandler* handler, const BLooper* looper = nullptr,
                        status_t* result = nullptr);

    // True while the target looper accepts messages.
    bool IsValid() const;

    status_t SendMessage(uint32 command) const;
    // Delivers a copy; the caller keeps `message`.
    status_t SendMessage(const BMessage* message) const;
    // Delivers a copy that replaces a queued, undelivered message of the same
    // code sent the same way to the same handler, so a busy receiver only
    // ever sees the newest one.
    status_t SendReplacingQueued(const BMessage& message) const;

    // Has the target looper read `source` on its thread while it waits
    // (MessageQueue::Host); false when it cannot.
    bool Host(std::shared_ptr<HostedSource> source) const;
    // Once it returns, the target no longer reads `source`.
    void StopHosting(const HostedSource* source) const;

    bool operator==(const BMessenger& other) const
    {
        return fQueue == other.fQueue && fHandler == other.fHandler;
    }

private:
    friend class BLooper;
    BMessenger(std::shared_ptr<MessageQueue> queue, BHandler* handler)
        : fQueue(std::move(queue)), fHandler(handler)
    {
    }
    status_t Send(const BMessage& message, bool replacing) const;

    std::shared_ptr<MessageQueue> fQueue;
    BHandler* fHandler = nullptr;
};
