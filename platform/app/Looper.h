#pragma once

// BLooper: a handler with a message queue and a thread that empties it in
// posting order. Run() starts the thread; a looper whose QuitRequested() hook
// answers true to B_QUIT_REQUESTED ends its loop, closes its queue (so every
// messenger to it fails from then on) and deletes itself.
//
// Thread rules: PostMessage and messengers may be used from any thread. Every
// hook (DispatchMessage, MessageReceived, QuitRequested) runs on the looper's
// own thread. A looper that has been run must only be reached by posting,
// since it may delete itself at any time after it quits.

#include "platform/app/Handler.h"
#include "platform/app/MessageQueue.h"
#include "platform/app/Messenger.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

class BLooper : public BHandler {
public:
    explicit BLooper(const char* name = nullptr);
    ~BLooper() override;

    // Posts a message holding only `command`, addressed to the looper itself.
    status_t PostMessage(uint32 command);
    // Posts a copy of `message` for `handler` (the looper itself when null).
    status_t PostMessage(BMessage* message, BHandler* handler = nullptr);

    // Sees every message first. The standard dispatch answers
    // B_QUIT_REQUESTED through QuitRequested() and hands everything else to
    // the handler's MessageReceived().
    virtual void DispatchMessage(BMessage* message, BHandler* handler);
    // Asked before the looper quits on request; true lets it quit.
    virtual bool QuitRequested();

    // Starts the looper's thread, named after the looper (its first 15
    // bytes). Calling it again does nothing.
    virtual status_t Run();
    // Ends the loop without asking. On the looper's own thread it takes
    // effect after the current message; from elsewhere it is posted, and a
    // looper that never ran is deleted at once.
    virtual void Quit();

    void AddHandler(BHandler* handler);
    bool RemoveHandler(BHandler* handler);
    bool HasHandler(const BHandler* handler) const;

    // While the rate is above 0 (microseconds), the looper's thread
    // dispatches a B_PULSE to the looper itself that often, between the
    // messages it handles; 0 stops it. The looper's own thread only: no
    // other thread is woken for it.
    void SetPulseRate(bigtime_t rate);
    bigtime_t PulseRate() const { return fPulseRate; }

    // The message being dispatched, while one is.
    BMessage* CurrentMessage() const { return fCurrentMessage; }
    bool IsLooperThread() const;
    bool IsRunning() const { return fRunning; }

    std::shared_ptr<MessageQueue> Queue() const { return fQueue; }

    // Messengers to every looper that currently exists, in creation order.
    static std::vector<BMessenger> LiveLoopers();
    // Waits until no looper but `except` exists; false when time ran out.
    static bool WaitForOtherLoopers(const BLooper* except, std::chrono::milliseconds timeout);

protected:
    // Runs the loop on the calling thread until the looper quits. For loopers
    // whose thread is not their own, such as the application's main thread.
    void RunOnCallingThread();
    // Dispatches what is queued now without waiting. False once quitting.
    bool DispatchQueued();
    bool IsQuitting() const { return fQuitting; }

private:
    // Dispatches until the looper quits, or (without `wait`) until the
    // queue is empty.
    void DispatchOnCallingThread(bool wait);
    void DispatchEnvelope(MessageQueue::Envelope& envelope);
    // Dispatches a B_PULSE when one is due.
    void PulseIfDue();
    void ThreadMain();

    std::shared_ptr<MessageQueue> fQueue;
    std::vector<BHandler*> fHandlers;
    BMessage* fCurrentMessage = nullptr;
    std::atomic<std::thread::id> fThreadId{};
    std::atomic<bool> fRunning{false};
    bool fQuitting = false;
    bigtime_t fPulseRate = 0;
    std::chrono::steady_clock::time_point fNextPulse;
};
