#pragma once

// The cursor relay: an invisible window whose only view asks for every
// pointer event on the screen. For each button press, movement and release
// it reads the pixel under the pointer and posts a 'cdat' cursor data
// message to its target; one for a movement replaces the target's undelivered
// one when nothing was queued after it. Inside the screen rectangle that the last
// kRelaySilence named ("frame"; none without it), or anywhere when it said
// "everywhere" (bool), it posts nothing: the program's own window there
// speaks for the pointer. Events of pointers that kChoosePlayers left out
// post nothing either. The pointer service's
// status messages go to the target as they come.

#include "capture/PlayerChoice.h"
#include "platform/app/Message.h"
#include "platform/app/Messenger.h"
#include "platform/interface/Bitmap.h"
#include "platform/interface/View.h"
#include "platform/interface/Window.h"
#include "platform/support/Rect.h"

enum : uint32 {
    kRelaySilence = 'rSIL',
};

class VCursorRelay : public BWindow {
public:
    explicit VCursorRelay(BLooper* target);

    void DispatchMessage(BMessage* message, BHandler* handler) override;
    bool QuitRequested() override;
    void ScreenChanged(BRect frame, color_space mode) override;

    // Fills `cursorData` with the eight cursor data fields for `event`.
    void BuildMessage(BMessage* event, BMessage* cursorData);

private:
    // The target is only ever posted to, through a messenger, because the
    // main window quits before the relay and may be gone when it posts.
    BMessenger target;
    int32 xExtent;
    int32 yExtent;
    BView* eventView;
    BRect silentFrame; // invalid: silent nowhere
    bool silentEverywhere = false;
    PlayerChoice players;
    // Kept from event to event, so that a motion allocates nothing.
    BMessage cursorData;
    BBitmap pixelBitmap;
};
