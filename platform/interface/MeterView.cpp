#include "platform/interface/MeterView.h"

BMeterView::BMeterView(BRect frame, const char* name, meter_style style, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags)
    , fStyle(style)
    , fState(std::make_shared<MeterState>())
{
}

void BMeterView::CreatePeer(DisplayService& display)
{
    AdoptParentViewColor();
    ViewInfo info = PeerInfo(fStyle == B_METER_LAMP ? ViewKind::MeterLamp : ViewKind::MeterBar);
    info.meter = fState;
    display.CreateView(Peer(), info);
}
