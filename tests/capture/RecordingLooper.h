#pragma once

// A looper that keeps a copy of every message it receives, with the time it
// arrived, for tests to wait on. Every wait is bounded, so a lost message
// fails the test instead of hanging it.

#include "platform/app/Looper.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class RecordingLooper : public BLooper {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPatience { 5000 };

    RecordingLooper()
        : BLooper("recorder")
    {
    }

    void MessageReceived(BMessage* message) override
    {
        {
            std::lock_guard lock(fLock);
            fMessages.push_back(*message);
            fArrivals.push_back(Clock::now());
        }
        fArrived.notify_all();
    }

    // True once `count` messages have arrived; false when the wait ran out.
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = kPatience)
    {
        std::unique_lock lock(fLock);
        return fArrived.wait_for(lock, timeout, [&] { return fMessages.size() >= count; });
    }

    // The index of the first message from `from` on that `matches`; nothing
    // when none arrived in time.
    std::optional<size_t> WaitFor(const std::function<bool(const BMessage&)>& matches, size_t from = 0,
        std::chrono::milliseconds timeout = kPatience)
    {
        std::unique_lock lock(fLock);
        std::optional<size_t> found;
        fArrived.wait_for(lock, timeout, [&] {
            for (size_t i = from; i < fMessages.size(); ++i) {
                if (matches(fMessages[i])) {
                    found = i;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    std::vector<BMessage> Messages() const
    {
        std::lock_guard lock(fLock);
        return fMessages;
    }

    size_t Count() const
    {
        std::lock_guard lock(fLock);
        return fMessages.size();
    }

    Clock::time_point ArrivalOf(size_t index) const
    {
        std::lock_guard lock(fLock);
        return fArrivals.at(index);
    }

private:
    mutable std::mutex fLock;
    std::condition_variable fArrived;
    std::vector<BMessage> fMessages;
    std::vector<Clock::time_point> fArrivals;
};
