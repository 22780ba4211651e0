#include "platform/app/MessageQueue.h"

#include <algorithm>

status_t MessageQueue::Post(std::unique_ptr<BMessage> message, BHandler* handler, Posting posting)
{
    std::function<void()> wake;
    {
        std::lock_guard lock(fLock);
        if (fClosed)
            return B_BAD_PORT_ID;
        const bool replaceable = posting == Posting::ReplaceQueuedSameCode;
        // Only the last queued message may be replaced: replacing one with
        // anything queued after it would deliver the newer position ahead of
        // a press or release the user made before it.
        Envelope* last = fEnvelopes.empty() ? nullptr : &fEnvelopes.back();
        if (replaceable && last != nullptr && last->replaceable && last->handler == handler
            && last->message->what == message->what) {
            last->message = std::move(message);
        } else {
            fEnvelopes.push_back(Envelope { std::move(message), handler, replaceable });
            fPeakLength = std::max(fPeakLength, fEnvelopes.size());
        }
        wake = fWake;
    }
    fPosted.notify_one();
    if (wake)
        wake();
    return B_OK;
}

std::optional<MessageQueue::Envelope> MessageQueue::Next()
{
    std::unique_lock lock(fLock);
    fPosted.wait(lock, [this] { return fClosed || !fEnvelopes.empty(); });
    if (fEnvelopes.empty())
        return std::nullopt;
    Envelope next = std::move(fEnvelopes.front());
    fEnvelopes.pop_front();
    return next;
}

std::optional<MessageQueue::Envelope> MessageQueue::NextUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(fLock);
    fPosted.wait_until(lock, deadline, [this] { return fClosed || !fEnvelopes.empty(); });
    if (fEnvelopes.empty())
        return std::nullopt;
    Envelope next = std::move(fEnvelopes.front());
    fEnvelopes.pop_front();
    return next;
}

std::optional<MessageQueue::Envelope> MessageQueue::TryNext()
{
    std::lock_guard lock(fLock);
    if (fEnvelopes.empty())
        return std::nullopt;
    Envelope next = std::move(fEnvelopes.front());
    fEnvelopes.pop_front();
    return next;
}

void MessageQueue::Close()
{
    std::deque<Envelope> dropped;
    {
        std::lock_guard lock(fLock);
        fClosed = true;
        dropped.swap(fEnvelopes);
        fWake = nullptr;
    }
    fPosted.notify_all();
}

bool MessageQueue::IsClosed() const
{
    std::lock_guard lock(fLock);
    return fClosed;
}

void MessageQueue::SetWakeHandler(std::function<void()> wake)
{
    std::lock_guard lock(fLock);
    fWake = std::move(wake);
}

size_t MessageQueue::PeakLength() const
{
    std::lock_guard lock(fLock);
    return fPeakLength;
}
