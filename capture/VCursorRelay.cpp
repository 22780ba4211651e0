#include "capture/VCursorRelay.h"

#include "capture/CursorData.h"

#include "platform/app/AppDefs.h"
#include "platform/interface/Bitmap.h"
#include "platform/interface/Screen.h"
#include "platform/input/PointerService.h"

#include <cstdio>
#include <cstring>

VCursorRelay::VCursorRelay(BLooper* target)
    : BWindow(BRect(0, 0, 1, 1), "dummy  window", B_BORDERED_WINDOW, 0, B_ALL_WORKSPACES),
      target(target),
      cursorData(kCursorData),
      pixelBitmap(BRect(0, 0, 0, 0), B_RGB32)
{
    // The name its thread shows in `top -H`.
    SetName("relay");
    eventView = new BView(BRect(0, 0, 1, 1), "dummy view", 0, 0);
    eventView->SetEventMask(B_POINTER_EVENTS | B_KEYBOARD_EVENTS, B_NO_POINTER_HISTORY);
    AddChild(eventView);

    BScreen screen(B_MAIN_SCREEN_ID);
    xExtent = int32(screen.Frame().right - screen.Frame().left);
    yExtent = int32(screen.Frame().bottom - screen.Frame().top);
}

void VCursorRelay::DispatchMessage(BMessage* message, BHandler* handler)
{
    switch (message->what) {
    case B_MOUSE_DOWN:
    case B_MOUSE_MOVED:
    case B_MOUSE_UP: {
        if (silentEverywhere || (silentFrame.IsValid() && silentFrame.Contains(message->FindPoint("where")))
            || !players.Plays(*message))
            break;
        cursorData.MakeEmpty();
        BuildMessage(message, &cursorData);
        // A busy main window gets where the pointer is, not every place it
        // passed; presses and releases all arrive, in order.
        if (message->what == B_MOUSE_MOVED)
            target.SendReplacingQueued(cursorData);
        else
            target.SendMessage(&cursorData);
        break;
    }
    case kPointerServiceStatus:
        // How the desktop's consent stands is for the main window to show.
        target.SendMessage(message);
        break;
    case kChoosePlayers: {
        std::string why;
        PlayerChoice::Find(*message, &players, &why);
        break;
    }
    case kRelaySilence:
        silentFrame = message->HasRect("frame") ? message->FindRect("frame") : BRect();
        silentEverywhere = message->FindBool("everywhere");
        break;
    default:
        BWindow::DispatchMessage(message, handler);
        break;
    }
}

void VCursorRelay::BuildMessage(BMessage* event, BMessage* cursorData)
{
    BScreen screen(B_MAIN_SCREEN_ID);
    const BPoint where = event->FindPoint("where");
    BRect pixel(where.x, where.y, where.x, where.y);

    pixelBitmap.Lock();
    screen.ReadBitmap(&pixelBitmap, false, &pixel);
    pixelBitmap.Unlock();
    uint32 word = 0;
    if (pixelBitmap.InitCheck() == B_OK)
        std::memcpy(&word, pixelBitmap.Bits(), sizeof word);

    FillCursorData(cursorData, *event, word & 0xffffff, where.x, xExtent, where.y, yExtent);
}

void VCursorRelay::ScreenChanged(BRect frame, color_space /*mode*/)
{
    xExtent = int32(frame.right - frame.left);
    yExtent = int32(frame.bottom - frame.top);
}

bool VCursorRelay::QuitRequested()
{
    std::printf("ug!!! -cursor relay window \n");
    return true;
}
