#pragma once

// What the canvas keeps between runs in the user's settings: its last
// picture file, its frame outside full screen, whether it was full screen
// and whether it was open, as a flattened 'cSET' message with the fields
// "path", "frame", "full screen" and "open".
//
// The file is the program's own, but anything may have written it: a frame
// is taken only once it is fitted to the screen as it is now, so that a
// damaged or outdated one can neither make a window larger than the screen
// nor leave it where nothing shows it. Nothing here needs a window, so the
// reading can be checked on its own.

#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

#include <cstddef>
#include <string>
#include <vector>

struct CanvasState {
    std::string path; // empty for none, or a pasted picture
    BRect frame; // invalid when none is kept
    bool fullScreen = false;
    bool open = false;

    bool operator==(const CanvasState&) const = default;
};

// Reads the state from the bytes of the settings file. B_OK with `state`
// filled; otherwise B_BAD_DATA, `state` untouched, and `why` says, in a few
// words, what is wrong. A frame that is no frame (not numbers, or no width
// or height) is left out, and said in `why` on success too.
status_t ReadCanvasState(const void* data, size_t size, CanvasState* state, std::string* why);

// The bytes of the settings file that keeps `state`.
std::vector<char> FlattenCanvasState(const CanvasState& state);

// Fits `frame` to `screen` (both inclusive, the screen valid): a size
// larger than the screen's is cut to it, and a frame that shows no part of
// the screen is moved onto it, to the nearest place that shows it whole.
// Returns what was changed, as a clause ("it was larger than the screen"),
// or "" when the frame fitted already.
std::string FitFrame(BRect* frame, BRect screen);
