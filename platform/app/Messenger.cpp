#include "platform/app/Messenger.h"

#include "platform/app/Looper.h"
#include "platform/app/MessageQueue.h"

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result)
{
    const BLooper* owner = handler != nullptr && handler->Looper() != nullptr ? handler->Looper() : looper;
    if (owner == nullptr && handler != nullptr)
        owner = dynamic_cast<const BLooper*>(handler);
    if (owner != nullptr) {
        fQueue = owner->Queue();
        if (handler != owner)
            fHandler = const_cast<BHandler*>(handler);
    }
    if (result != nullptr)
        *result = owner != nullptr ? B_OK : B_BAD_HANDLER;
}

bool BMessenger::IsValid() const
{
    return fQueue != nullptr && !fQueue->IsClosed();
}

status_t BMessenger::SendMessage(uint32 command) const
{
    return Send(BMessage(command), false);
}

status_t BMessenger::SendMessage(const BMessage* message) const
{
    if (message == nullptr)
        return B_BAD_VALUE;
    return Send(*message, false);
}

status_t BMessenger::SendReplacingQueued(const BMessage& message) const
{
    return Send(message, true);
}

status_t BMessenger::Send(const BMessage& message, bool replacing) const
{
    if (fQueue == nullptr)
        return B_BAD_PORT_ID;
    return fQueue->Post(message, fHandler,
                        replacing ? MessageQueue::Posting::ReplaceQueuedSameCode
                                  : MessageQueue::Posting::Append);
}

bool BMessenger::Host(std::shared_ptr<HostedSource> source) const
{
    return fQueue != nullptr && fQueue->Host(std::move(source));
}

void BMessenger::StopHosting(const HostedSource* source) const
{
    if (fQueue != nullptr)
        fQueue->StopHosting(source);
}
