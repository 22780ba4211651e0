#pragma once

// BInvoker: something that sends a model message when it is invoked, such as
// a menu item. It owns the model and sends a copy of it, with the invoker's
// own fields added ("when", int64 microseconds), to its target handler, or,
// without a target, to wherever the subclass says (a menu item's window).
// Delivery is by posting, so the target's looper thread handles the copy.
//
// Thread rules: an invoker is used on one thread at a time: for a control,
// its window's thread (or the thread building it before the loop runs).

#include "platform/app/Messenger.h"

#include <memory>

class BHandler;
class BLooper;

class BInvoker {
public:
    BInvoker() = default;
    // Takes ownership of `message`; see SetTarget for the target.
    BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper = nullptr);
    virtual ~BInvoker();

    BInvoker(const BInvoker&) = delete;
    BInvoker& operator=(const BInvoker&) = delete;

    // Replaces (and deletes) the model; the invoker owns `message`.
    virtual status_t SetMessage(BMessage* message);
    BMessage* Message() const { return fMessage.get(); }
    // The model's code, or 0 without a model.
    uint32 Command() const;

    // Targets `handler` in its looper (or in `looper` when the handler has
    // none yet). With both null the invoker has no target again. A handler
    // that belongs to no looper gives B_BAD_HANDLER and leaves no target.
    virtual status_t SetTarget(const BHandler* handler, const BLooper* looper = nullptr);
    // Targets what `messenger` addresses; an empty messenger clears it.
    virtual status_t SetTarget(BMessenger messenger);
    BMessenger Messenger() const { return fTarget; }

    // Sends a copy of `message` (the model when null). B_BAD_VALUE when
    // there is nothing to send, B_BAD_PORT_ID when the receiver is gone.
    virtual status_t Invoke(BMessage* message = nullptr);

protected:
    // Where Invoke sends when no target was set. The base has nowhere.
    virtual BMessenger DefaultTarget() const;
    // Adds the invoker's own fields to the copy being sent.
    virtual void AddInvokeFields(BMessage* copy) const;

private:
    std::unique_ptr<BMessage> fMessage;
    BMessenger fTarget;
    bool fHasTarget = false;
};
