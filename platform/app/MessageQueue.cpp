#include "platform/app/MessageQueue.h"

#include <algorithm>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Spare messages kept for posts to copy into: enough for a burst a looper
// takes in one go, few enough that a flood leaves little memory behind.
constexpr size_t kMaxSpareMessages = 64;

} // namespace

MessageQueue::~MessageQueue()
{
    if (fWakeEvent >= 0)
        close(fWakeEvent);
}

status_t MessageQueue::Post(const BMessage& message, BHandler* handler, Posting posting)
{
    std::function<void()> wake;
    bool watching = false;
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
        watching = fTakerWatching;
    }
    fPosted.notify_one();
    if (watching)
        WakeTaker();
    if (wake)
        wake();
    return B_OK;
}

std::optional<MessageQueue::Envelope> MessageQueue::Next()
{
    return Take(std::nullopt);
}

std::optional<MessageQueue::Envelope> MessageQueue::NextUntil(std::chrono::steady_clock::time_point deadline)
{
    return Take(deadline);
}

std::optional<MessageQueue::Envelope> MessageQueue::Take(
    std::optional<std::chrono::steady_clock::time_point> deadline)
{
    std::unique_lock lock(fLock);
    for (;;) {
        if (fClosed || Length() > 0)
            return TakeFront();
        if (deadline && std::chrono::steady_clock::now() >= *deadline)
            return std::nullopt;
        if (fSource == nullptr) {
            if (deadline)
                fPosted.wait_until(lock, *deadline);
            else
                fPosted.wait(lock);
            continue;
        }
        const std::shared_ptr<HostedSource> source = fSource;
        fTakerWatching = true;
        lock.unlock();
        const bool readable = WaitForSource(*source, deadline);
        lock.lock();
        fTakerWatching = false;
        if (readable) {
            lock.unlock();
            ReadSource(source);
            lock.lock();
        }
    }
}

bool MessageQueue::WaitForSource(
    const HostedSource& source, std::optional<std::chrono::steady_clock::time_point> deadline)
{
    int timeoutMs = -1;
    if (deadline) {
        const auto left = *deadline - std::chrono::steady_clock::now();
        // Rounded up, so that the wait never ends before the deadline.
        timeoutMs = int(std::max<int64_t>(
            0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
    pollfd watched[2] = { { fWakeEvent, POLLIN, 0 }, { source.Descriptor(), POLLIN, 0 } };
    if (poll(watched, 2, timeoutMs) <= 0)
        return false;
    if (watched[0].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(fWakeEvent, &count, sizeof count);
    }
    return (watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void MessageQueue::ReadSource(const std::shared_ptr<HostedSource>& source)
{
    std::lock_guard reading(fReading);
    {
        std::lock_guard lock(fLock);
        if (fSource != source)
            return;
    }
    if (source->Read())
        return;
    std::lock_guard lock(fLock);
    if (fSource == source)
        fSource = nullptr;
}

void MessageQueue::WakeTaker()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fWakeEvent, &one, sizeof one);
}

bool MessageQueue::Host(std::shared_ptr<HostedSource> source)
{
    std::lock_guard lock(fLock);
    if (fClosed || fSource != nullptr || fWake || source == nullptr)
        return false;
    if (fWakeEvent < 0) {
        fWakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fWakeEvent < 0)
            return false;
    }
    fSource = std::move(source);
    // A taker already waiting on the condition variable looks again.
    fPosted.notify_all();
    return true;
}

void MessageQueue::StopHosting(const HostedSource* source)
{
    bool watching = false;
    {
        std::lock_guard lock(fLock);
        if (fSource.get() != source)
            return;
        fSource = nullptr;
        watching = fTakerWatching;
    }
    if (watching)
        WakeTaker();
    // A Read under way ends before this returns.
    std::lock_guard reading(fReading);
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
    std::shared_ptr<HostedSource> source;
    bool watching = false;
    {
        std::lock_guard lock(fLock);
        fClosed = true;
        dropped.swap(fEnvelopes);
        fFront = 0;
        spares.swap(fSpareMessages);
        fWake = nullptr;
        source.swap(fSource);
        watching = fTakerWatching;
    }
    fPosted.notify_all();
    if (watching)
        WakeTaker();
    if (source != nullptr) {
        // After its last Read, the source learns that it must find another
        // reader.
        { std::lock_guard reading(fReading); }
        source->HostClosed();
    }
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
