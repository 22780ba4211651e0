#pragma once

// The first-in, first-out queue behind a looper. Any thread may post; one
// thread (the looper's) takes. Messengers share ownership of the queue, so a
// post to a looper that is gone finds the queue closed and fails instead of
// touching freed memory.
//
// Once a looper runs, posting allocates nothing: the taker gives back each
// message it is done with, a post copies into one of those, and the queue's
// own storage only grows. A stream of pointer events costs no heap traffic.

#include "platform/app/HostedSource.h"
#include "platform/app/Message.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class BHandler;

class MessageQueue {
public:
    struct Envelope {
        std::unique_ptr<BMessage> message;
        BHandler* handler = nullptr; // nullptr: the looper's own handling
        bool replaceable = false;
    };

    MessageQueue() = default;
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    enum class Posting {
        Append,
        // Replace the last queued message when it has the same code and
        // handler and was itself posted this way (the newest pointer
        // position wins), else append. A message queued after the older one
        // keeps it in place, so the order of arrival never changes.
        ReplaceQueuedSameCode,
    };

    // Queues a copy of the message. B_BAD_PORT_ID once the queue is closed.
    status_t Post(const BMessage& message, BHandler* handler, Posting posting = Posting::Append);

    // Waits for the next envelope; nothing once the queue is closed and empty.
    std::optional<Envelope> Next();
    // Waits for the next envelope until `deadline`; nothing when the time
    // ran out or the queue is closed and empty (IsClosed tells which).
    std::optional<Envelope> NextUntil(std::chrono::steady_clock::time_point deadline);
    // The next envelope if one is queued, without waiting.
    std::optional<Envelope> TryNext();

    // Gives back a message the taker is done with, for a later post to copy
    // into.
    void Recycle(std::unique_ptr<BMessage> message);

    // Refuses further posts, wakes a waiting taker and drops what is queued.
    void Close();
    bool IsClosed() const;

    // Called after every successful post, on the posting thread, without the
    // queue's lock held. Lets a looper that does not own its thread (the
    // application on the main thread) wake its own event loop.
    void SetWakeHandler(std::function<void()> wake);

    // Watches `source` while the taker waits in Next or NextUntil (see
    // HostedSource.h). False when the queue is closed, already hosts a
    // source, or has a wake handler (its taker waits elsewhere).
    bool Host(std::shared_ptr<HostedSource> source);
    // Stops watching `source`. Once it returns, the source's Read is not
    // running and will not run again. Never from inside that Read.
    void StopHosting(const HostedSource* source);

    // The longest the queue has ever been, for benchmarks and diagnostics.
    size_t PeakLength() const;

private:
    size_t Length() const { return fEnvelopes.size() - fFront; }
    // Under the lock.
    std::optional<Envelope> TakeFront();
    // Next and NextUntil; no deadline waits as long as it takes.
    std::optional<Envelope> Take(std::optional<std::chrono::steady_clock::time_point> deadline);
    // Waits without the lock until `source` is readable (true), a post or
    // Close wakes the taker, or the deadline passes.
    bool WaitForSource(
        const HostedSource& source, std::optional<std::chrono::steady_clock::time_point> deadline);
    // Calls Read on the taker's thread unless StopHosting came first.
    void ReadSource(const std::shared_ptr<HostedSource>& source);
    // Wakes a taker waiting in WaitForSource.
    void WakeTaker();

    mutable std::mutex fLock;
    std::condition_variable fPosted;
    // Queued from fFront on. A deque would allocate and free a block every
    // few dozen messages; this vector keeps its memory.
    std::vector<Envelope> fEnvelopes;
    size_t fFront = 0;
    std::vector<std::unique_ptr<BMessage>> fSpareMessages;
    std::function<void()> fWake;
    size_t fPeakLength = 0;
    bool fClosed = false;

    std::shared_ptr<HostedSource> fSource;
    // True while the taker waits in WaitForSource: a post then wakes it
    // through fWakeEvent, which the first Host makes.
    bool fTakerWatching = false;
    int fWakeEvent = -1;
    // Held while the taker runs the source's Read, so that StopHosting and
    // Close can wait for it. Taken before fLock, never inside it.
    std::mutex fReading;
};
