#pragma once

#include <chrono>
#include <thread>

// Polls `condition` every few milliseconds until it holds or `timeout` has
// passed; false when it never held.
template <typename Condition> bool WaitUntil(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
