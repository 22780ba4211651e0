#include "platform/app/Looper.h"

#include "platform/app/AppDefs.h"
#include "platform/support/ThreadName.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {

// Internal command that ends a loop without asking QuitRequested().
constexpr uint32 kQuitNow = '_QIT';

struct LooperRegistry {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<BLooper*> loopers;
};

// Never destroyed: a looper thread may still be leaving it while the
// process exits.
LooperRegistry& Registry()
{
    static LooperRegistry* registry = new LooperRegistry;
    return *registry;
}

} // namespace

BLooper::BLooper(const char* name) : BHandler(name), fQueue(std::make_shared<MessageQueue>())
{
    AddHandler(this);
    LooperRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    registry.loopers.push_back(this);
}

BLooper::~BLooper()
{
    fQueue->Close();
    for (BHandler* handler : fHandlers)
        handler->fLooper = nullptr;
    LooperRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    std::erase(registry.loopers, this);
    registry.changed.notify_all();
}

status_t BLooper::PostMessage(uint32 command)
{
    BMessage message(command);
    return PostMessage(&message);
}

status_t BLooper::PostMessage(BMessage* message, BHandler* handler)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    if (handler != nullptr && handler->Looper() != this)
        return B_BAD_HANDLER;
    return fQueue->Post(*message, handler == this ? nullptr : handler);
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
    if (message->what == B_QUIT_REQUESTED && handler == this) {
        if (QuitRequested())
            Quit();
        return;
    }
    handler->MessageReceived(message);
}

bool BLooper::QuitRequested()
{
    return true;
}

status_t BLooper::Run()
{
    if (fRunning.exchange(true))
        return B_OK;
    std::thread(&BLooper::ThreadMain, this).detach();
    return B_OK;
}

void BLooper::Quit()
{
    if (IsLooperThread()) {
        fQuitting = true;
        return;
    }
    if (!fRunning) {
        delete this;
        return;
    }
    fQueue->Post(BMessage(kQuitNow), nullptr);
}

void BLooper::AddHandler(BHandler* handler)
{
    if (handler == nullptr || handler->fLooper == this)
        return;
    if (handler->fLooper != nullptr)
        handler->fLooper->RemoveHandler(handler);
    handler->fLooper = this;
    fHandlers.push_back(handler);
}

bool BLooper::RemoveHandler(BHandler* handler)
{
    if (handler == nullptr || handler == this || handler->fLooper != this)
        return false;
    std::erase(fHandlers, handler);
    handler->fLooper = nullptr;
    return true;
}

bool BLooper::HasHandler(const BHandler* handler) const
{
    return std::find(fHandlers.begin(), fHandlers.end(), handler) != fHandlers.end();
}

bool BLooper::IsLooperThread() const
{
    return fThreadId.load() == std::this_thread::get_id();
}

std::vector<BMessenger> BLooper::LiveLoopers()
{
    LooperRegistry& registry = Registry();
    std::lock_guard lock(registry.lock);
    std::vector<BMessenger> messengers;
    for (BLooper* looper : registry.loopers)
        messengers.push_back(BMessenger(looper->fQueue, nullptr));
    return messengers;
}

bool BLooper::WaitForOtherLoopers(const BLooper* except, std::chrono::milliseconds timeout)
{
    LooperRegistry& registry = Registry();
    std::unique_lock lock(registry.lock);
    return registry.changed.wait_for(lock, timeout, [&] {
        return std::all_of(registry.loopers.begin(), registry.loopers.end(),
                           [&](BLooper* looper) { return looper == except; });
    });
}

void BLooper::RunOnCallingThread()
{
    DispatchOnCallingThread(true);
}

bool BLooper::DispatchQueued()
{
    DispatchOnCallingThread(false);
    return !fQuitting;
}

void BLooper::DispatchOnCallingThread(bool wait)
{
    fThreadId = std::this_thread::get_id();
    fRunning = true;
    while (!fQuitting) {
        const bool pulsing = wait && fPulseRate > 0;
        std::optional<MessageQueue::Envelope> envelope
            = !wait ? fQueue->TryNext() : pulsing ? fQueue->NextUntil(fNextPulse) : fQueue->Next();
        if (pulsing)
            PulseIfDue();
        if (envelope) {
            DispatchEnvelope(*envelope);
            fQueue->Recycle(std::move(envelope->message));
        } else if (!pulsing || fQueue->IsClosed()) {
            break;
        }
    }
}

void BLooper::SetPulseRate(bigtime_t rate)
{
    // A faster pulse starts one of its own periods from now, not at the
    // slower one's next beat.
    const auto soonest = std::chrono::steady_clock::now() + std::chrono::microseconds(rate);
    if (rate > 0 && (fPulseRate <= 0 || soonest < fNextPulse))
        fNextPulse = soonest;
    fPulseRate = rate > 0 ? rate : 0;
}

void BLooper::PulseIfDue()
{
    const auto now = std::chrono::steady_clock::now();
    if (fQuitting || now < fNextPulse)
        return;
    // A pulse late by more than a period is not made up for.
    fNextPulse += std::chrono::microseconds(fPulseRate);
    if (fNextPulse <= now)
        fNextPulse = now + std::chrono::microseconds(fPulseRate);
    BMessage pulse(B_PULSE);
    fCurrentMessage = &pulse;
    DispatchMessage(&pulse, this);
    fCurrentMessage = nullptr;
}

void BLooper::DispatchEnvelope(MessageQueue::Envelope& envelope)
{
    BMessage* message = envelope.message.get();
    if (message->what == kQuitNow && envelope.handler == nullptr) {
        fQuitting = true;
        return;
    }
    BHandler* handler = envelope.handler != nullptr ? envelope.handler : this;
    if (!HasHandler(handler))
        return; // The addressed handler left this looper; drop the message.
    fCurrentMessage = message;
    DispatchMessage(message, handler);
    fCurrentMessage = nullptr;
}

void BLooper::ThreadMain()
{
    NameCurrentThread(Name());
    RunOnCallingThread();
    // Refuse new posts before the object goes, so senders fail cleanly.
    fQueue->Close();
    delete this;
}
