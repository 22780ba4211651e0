#include "platform/app/MessageQueue.h"

#include <algorithm>

namespace {

// Spare messages kept for posts to copy into: enough for a burst a looper
// takes in one go, few enough that a flood leaves little memory behind.
constexpr size_t kMaxSpareMessages = 64;

} // namespace

status_t MessageQueue::Post(const BMessage& message, BHandler* handler, Posting posting)
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
        Envelope* last = Length() == 0 ? nullptr : &fEnvelopes.back();
        if (replaceable && last != nullptr && last->replaceable && last->handler == handler
            && last->message->what == message.what) {
            *last->message = message;
        } else {
            std::unique_ptr<BMessage> copy;
            if (fSpareMessages.empty()) {
                copy = std::make_unique<BMessage>(message);
            } else {
                copy = std::move(fSpareMessages.back());
                fSpareMessages.pop_back();
                *copy = message;
            }
            // Taken envelopes go from the front once they are the larger
            // part, so that a queue that never runs empty does not grow.
            if (fFront > 0 && fFront >= Length()) {
                fEnvelopes.erase(fEnvelopes.begin(), fEnvelopes.begin() + std::ptrdiff_t(fFront));
                fFront = 0;
            }
            fEnvelopes.push_back(Envelope { std::move(copy), handler, replaceable });
            fPeakLength = std::max(fPeakLength, Length());
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
    fPosted.wait(lock, [this] { return fClosed || Length() > 0; });
    return TakeFront();
}

std::optional<MessageQueue::Envelope> MessageQueue::NextUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(fLock);
    fPosted.wait_until(lock, deadline, [this] { return fClosed || Length() > 0; });
    return TakeFront();
}

std::optional<MessageQueue::Envelope> MessageQueue::TryNext()
{
    std::lock_guard lock(fLock);
    return TakeFront();
}

std::optional<MessageQueue::Envelope> MessageQueue::TakeFront()
{
    if (Length() == 0)
        return std::nullopt;
    Envelope next = std::move(fEnvelopes[fFront++]);
    if (Length() == 0) {
        fEnvelopes.clear();
        fFront = 0;
    }
    return next;
}

void MessageQueue::Recycle(std::unique_ptr<BMessage> message)
{
    std::lock_guard lock(fLock);
    if (!fClosed && message != nullptr && fSpareMessages.size() < kMaxSpareMessages)
        fSpareMessages.push_back(std::move(message));
}

void MessageQueue::Close()
{
    std::vector<Envelope> dropped;
    std::vector<std::unique_ptr<BMessage>> spares;
    {
        std::lock_guard lock(fLock);
        fClosed = true;
        dropped.swap(fEnvelopes);
        fFront = 0;
        spares.swap(fSpareMessages);
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
