#pragma once

// The messages a display posts to a window's queue, and their fields.
//
// B_MOUSE_DOWN and B_MOUSE_UP, addressed to a view: "where" (point, the
// view's coordinates), "buttons" (int32), "when" (int64, microseconds) and
// kPeerField. B_QUIT_REQUESTED, addressed to the window: its close box.
// A picture view also posts B_MOUSE_MOVED, and adds to
// each of its three messages "be:tablet_pressure" (float, 0.0..1.0) and
// "be:tablet_eraser" (bool) as the pointer service does (for a pen or an
// eraser only, never for a mouse), on X11 "be:device" as the pointer
// service does, kPictureFrameField while it shows a picture, and
// kPictureColorField while the pointer is over the picture; and
// kPointerLeftView, addressed to it, when the pointer leaves it.
// B_SIMPLE_DATA, addressed to the window: files dropped on it, each a
// "be:path" string.
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
    // To a picture view: the picture kNameField (kPathField, empty when
    // pasted) opened, kPictureSizeField pixels wide and high.
    kPictureOpened = '_PCO',
    // To a picture view: the picture kNameField did not open, for the reason
    // kErrorField. The view shows what it showed before.
    kPictureFailed = '_PCF',
    // To a picture view: the pointer left it.
    kPointerLeftView = '_PLV',
    // To the window: the user moved or resized it to "frame" (rect, screen
    // coordinates), or it went full screen or back ("full screen", bool).
    kWindowFrameChanged = '_WFC',
    // To a control: the user acted on it, giving it the value kValueField.
    kControlInvoked = '_CIV',
};

// int64: the peer id of the view a message is about. A message whose view
// peer no longer matches its handler is dropped.
inline constexpr const char* kPeerField = "be:peer";
// int32: a control's value after the user acted on it.
inline constexpr const char* kValueField = "be:value";
// int64: the peer id of a picked item.
inline constexpr const char* kItemField = "be:item";
// string: the text the user committed in a text control.
inline constexpr const char* kTextField = "be:text";
// int64: the token to hand back with DisplayService::Acknowledge.
inline constexpr const char* kTokenField = "be:token";
// string: a picture's name (its file name, or "Pasted") and path.
inline constexpr const char* kNameField = "be:name";
inline constexpr const char* kPathField = "be:path";
// point: a picture's width and height in pixels.
inline constexpr const char* kPictureSizeField = "be:picture_size";
// string: why a picture did not open.
inline constexpr const char* kErrorField = "be:error";
// rect: where a picture view shows its picture, in the view's coordinates
// (inclusive: its width is the shown width less one).
inline constexpr const char* kPictureFrameField = "be:picture_frame";
// int32: 0xRRGGBB of the picture's own pixel nearest to the pointer.
inline constexpr const char* kPictureColorField = "be:picture_rgb";
