#include "platform/input/ScreenChangeBroadcaster.h"

#include "platform/app/AppDefs.h"

void ScreenChangeBroadcaster::AddListener(const BMessenger& listener)
{
    fListeners.Add(listener, false);
}

void ScreenChangeBroadcaster::RemoveListener(const BMessenger& listener)
{
    fListeners.Remove(listener);
}

void ScreenChangeBroadcaster::Broadcast(BRect frame, color_space mode)
{
    BMessage change(B_SCREEN_CHANGED);
    change.AddRect("frame", frame);
    change.AddInt32("mode", int32(mode));
    fListeners.Post(change);
}
