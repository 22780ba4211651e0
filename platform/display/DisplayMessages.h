#pragma once

// The messages a display posts to a window's queue, and their fields.
//
// B_MOUSE_DOWN and B_MOUSE_UP, addressed to a view: "where" (point, the
// view's coordinates), "buttons" (int32), "when" (int64, microseconds) and
// kPeerField. B_QUIT_REQUESTED, addressed to the window: its close box.
// The codes below are the platform's own and never reach the program's
// hooks except through the hook each one names.

#include "platform/support/SupportDefs.h"

enum : uint32 {
    // To a menu: the user picked the item kItemField. The window marks it
    // (radio mode) and invokes it.
    kMenuItemPicked = '_MIP',
    // To the window: run MenusBeginning, then acknowledge kTokenField.
    kMenusBeginning = '_MBG',
    // To the window: its menus are closed; run MenusEnded.
    kMenusEnded = '_MND',
    // To a view: the display redrew it; run Draw.
    kViewUpdate = '_UPD',
    // To a text control: the user committed kTextField; take it and invoke.
    kTextCommitted = '_TXC',
    // To the window: acknowledge kTokenField once everything posted before
    // has been handled. Lets a test wait for a window to settle.
    kSynchronize = '_SYN',
};

// int64: the peer id of the view a message is about. A message whose view
// peer no longer matches its handler is dropped.
inline constexpr const char* kPeerField = "be:peer";
// int64: the peer id of a picked item.
inline constexpr const char* kItemField = "be:item";
// string: the text the user committed in a text control.
inline constexpr const char* kTextField = "be:text";
// int64: the token to hand back with DisplayService::Acknowledge.
inline constexpr const char* kTokenField = "be:token";
