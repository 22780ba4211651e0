#pragma once

// BHandler: something that messages can be addressed to. A handler belongs to
// at most one looper, whose thread delivers its messages.

#include "platform/app/Message.h"

#include <string>

class BLooper;

class BHandler {
public:
    explicit BHandler(const char* name = nullptr);
    virtual ~BHandler();

    BHandler(const BHandler&) = delete;
    BHandler& operator=(const BHandler&) = delete;

    // The per-message hook. The base does nothing with the message.
    virtual void MessageReceived(BMessage* message);

    BLooper* Looper() const { return fLooper; }
    const char* Name() const { return fName.c_str(); }
    void SetName(const char* name) { fName = name ? name : ""; }

private:
    friend class BLooper;

    std::string fName;
    BLooper* fLooper = nullptr;
};
