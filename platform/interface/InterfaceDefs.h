#pragma once

#include "platform/support/SupportDefs.h"

// Resizing modes of views: which parent edge each edge of a view keeps its
// distance to. One nibble per edge of the view (top in bits 12-15, left in
// 8-11, bottom in 4-7, right in 0-3) names a parent edge: 1 top, 2 left,
// 3 bottom, 4 right, 5 the centre.
enum : uint32 {
    B_FOLLOW_NONE = 0,
    B_FOLLOW_LEFT = 0x0202,
    B_FOLLOW_RIGHT = 0x0404,
    B_FOLLOW_LEFT_RIGHT = 0x0204,
    B_FOLLOW_H_CENTER = 0x0505,
    B_FOLLOW_TOP = 0x1010,
    B_FOLLOW_BOTTOM = 0x3030,
    B_FOLLOW_TOP_BOTTOM = 0x1030,
    B_FOLLOW_V_CENTER = 0x5050,
    B_FOLLOW_ALL = B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP_BOTTOM,
};

// View flags.
enum : uint32 {
    B_WILL_DRAW = 0x20000000,
    B_NAVIGABLE = 0x02000000,
    // The view's Pulse hook runs at its window's pulse rate.
    B_PULSE_NEEDED = 0x04000000,
};

// View event masks and their options.
enum : uint32 {
    B_POINTER_EVENTS = 0x00000001,
    B_KEYBOARD_EVENTS = 0x00000002,
};
enum : uint32 {
    B_LOCK_WINDOW_FOCUS = 0x00000001,
    B_SUSPEND_VIEW_FOCUS = 0x00000002,
    B_NO_POINTER_HISTORY = 0x00000004,
};

// Modifier keys of menu shortcuts besides the command key (Ctrl), which
// every shortcut needs.
enum : uint32 {
    B_SHIFT_KEY = 0x00000001,
};

// Function keys as menu shortcuts, which take no command key. Pause works
// in every window of the program, not only in the menu's own.
enum : char {
    B_F1_KEY = 0x02,
    B_F2_KEY = 0x03,
    B_F3_KEY = 0x04,
    B_F4_KEY = 0x05,
    B_F5_KEY = 0x06,
    B_F6_KEY = 0x07,
    B_F7_KEY = 0x08,
    B_F8_KEY = 0x09,
    B_F9_KEY = 0x0a,
    B_F10_KEY = 0x0b,
    B_F11_KEY = 0x0c,
    B_F12_KEY = 0x0d,
    B_PAUSE_KEY = 0x0e,
};

// Mouse buttons in the "buttons" mask of pointer messages.
enum : int32 {
    B_PRIMARY_MOUSE_BUTTON = 0x01,
    B_SECONDARY_MOUSE_BUTTON = 0x02,
    B_TERTIARY_MOUSE_BUTTON = 0x04,
};

enum window_type : int32 {
    B_UNTYPED_WINDOW = 0,
    B_TITLED_WINDOW = 1,
    B_MODAL_WINDOW = 3,
    B_DOCUMENT_WINDOW = 11,
    B_BORDERED_WINDOW = 20,
    B_FLOATING_WINDOW = 21,
};

// Window flags.
enum : uint32 {
    B_NOT_MOVABLE = 0x00000001,
    B_NOT_CLOSABLE = 0x00000020,
    B_NOT_ZOOMABLE = 0x00000040,
    B_NOT_MINIMIZABLE = 0x00004000,
    B_NOT_RESIZABLE = 0x00000002,
    B_ASYNCHRONOUS_CONTROLS = 0x00080000,
    // Escape asks the window to close, as its close box does.
    B_CLOSE_ON_ESCAPE = 0x00800000,
};

// Workspaces.
enum : uint32 {
    B_CURRENT_WORKSPACE = 0,
    B_ALL_WORKSPACES = 0xffffffff,
};

enum menu_layout {
    B_ITEMS_IN_ROW = 0,
    B_ITEMS_IN_COLUMN,
    B_ITEMS_IN_MATRIX,
};

enum icon_size : int32 {
    B_MINI_ICON = 16,
    B_LARGE_ICON = 32,
};
