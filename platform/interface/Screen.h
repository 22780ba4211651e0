#pragma once

// BScreen: the screen's frame and its pixels. One root window spans all
// monitors, so the main screen is the whole desktop.
//
// Thread rules: a screen object belongs to the thread that made it; several
// threads may each have their own at once.

#include "platform/interface/Bitmap.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"

struct screen_id {
    int32 id;
};

inline constexpr screen_id B_MAIN_SCREEN_ID{0};

class BScreen {
public:
    explicit BScreen(screen_id id = B_MAIN_SCREEN_ID);
    ~BScreen();

    BScreen(const BScreen&) = delete;
    BScreen& operator=(const BScreen&) = delete;

    // False when no screen can be reached (no X server).
    bool IsValid() const;
    // The screen in pixels, inclusive: (0, 0, 1023, 767) for 1024 x 768.
    // An invalid screen gives an invalid (empty) rectangle.
    BRect Frame() const;
    color_space ColorSpace() const;
    // False on a Wayland desktop: the screen then holds only its X11
    // windows (through Xwayland), or nothing at all without Xwayland, and
    // the pointer is followed over them only.
    bool IsWholeDesktop() const;

    // Where windows go, in the units of window frames, without the
    // desktop's panels: the display's work area, else Frame().
    BRect WorkArea() const;
    // Where a window with content `frame` opens beside the window `main`
    // (right of it, else left, else below), with room above for its title
    // bar; where it fits nowhere beside, as near right of it as the work
    // area lets it be. A desktop without a window manager places nothing
    // by itself, and a window over the main window would hide its panel.
    BPoint PlaceBeside(BRect frame, BRect main) const;
    // `frame` moved down, when need be, so that a title bar fits above it
    // in the work area.
    BPoint BelowTheTop(BRect frame) const;

    // Copies the screen rectangle `bounds` (the bitmap's bounds when null)
    // into a B_RGB32 bitmap of the same size. With `drawCursor` false the
    // pointer's image is left out. On failure the bitmap holds black.
    status_t ReadBitmap(BBitmap* bitmap, bool drawCursor = true, BRect* bounds = nullptr);
};
