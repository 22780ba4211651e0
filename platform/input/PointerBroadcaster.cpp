#include "platform/input/PointerBroadcaster.h"

void PointerBroadcaster::AddListener(const BMessenger& listener, bool noPointerHistory)
{
    fListeners.Add(listener, noPointerHistory);
}

void PointerBroadcaster::RemoveListener(const BMessenger& listener)
{
    fListeners.Remove(listener);
}

void PointerBroadcaster::Broadcast(const BMessage& event)
{
    fListeners.Post(event);
}
