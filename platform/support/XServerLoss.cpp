#include "platform/support/XServerLoss.h"

#include <atomic>

bool ClaimXServerLossReport()
{
    static std::atomic<bool> reported { false };
    return !reported.exchange(true);
}
