#include "platform/interface/StringView.h"

BStringView::BStringView(BRect frame, const char* name, const char* text, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags)
    , fText(text ? text : "")
{
}

void BStringView::SetText(const char* text)
{
    fText = text ? text : "";
    if (DisplayService* display = PeerDisplay())
        display->SetViewText(Peer(), fText);
}

void BStringView::CreatePeer(DisplayService& display)
{
    AdoptParentViewColor();
    ViewInfo info = PeerInfo(ViewKind::StringView);
    info.text = fText;
    display.CreateView(Peer(), info);
}
