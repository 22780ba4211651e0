#pragma once

// Where a display posts what the user did to a shown object: the queue of
// the object's window and the handler the message is addressed to (null:
// the window itself). The display never dereferences the handler; the
// window checks that it is still one of its own before delivering.
//
// Thread rules: a plain value; posting works from any thread, and posting to
// a window that has gone fails harmlessly.

#include "platform/app/Message.h"
#include "platform/app/MessageQueue.h"

#include <memory>

class BHandler;

struct PeerAddress {
    std::shared_ptr<MessageQueue> queue;
    BHandler* handler = nullptr;

    void Post(const BMessage& message) const
    {
        if (queue)
            queue->Post(message, handler);
    }
};
