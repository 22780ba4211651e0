#pragma once

// A key taken for the whole desktop: while a grab is held, pressing the key
// anywhere (in any program's window) sends kGlobalKeyPressed to the grab's
// target, and letting it go kGlobalKeyReleased, once each however long the
// key is held. Other programs no longer see the key. Dropping the grab
// gives the key back. InputServices::GrabPauseKey makes one.
//
// Thread rules: make and drop on one thread; the messages come from a
// thread the grab owns and joins when it is dropped.

#include "platform/support/SupportDefs.h"

constexpr uint32 kGlobalKeyPressed = 'gkDN';
constexpr uint32 kGlobalKeyReleased = 'gkUP';

class GlobalKeyGrab {
public:
    virtual ~GlobalKeyGrab() = default;
};
