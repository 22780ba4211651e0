#include "platform/interface/PlotView.h"

BPlotView::BPlotView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags)
    , fMark(std::make_shared<MeterState>())
{
}

void BPlotView::SetPoints(std::vector<BPoint> points)
{
    fPoints = std::move(points);
    if (DisplayService* display = PeerDisplay())
        display->SetViewPoints(Peer(), fPoints);
}

void BPlotView::CreatePeer(DisplayService& display)
{
    AdoptParentViewColor();
    ViewInfo info = PeerInfo(ViewKind::Plot);
    info.points = fPoints;
    info.meter = fMark;
    display.CreateView(Peer(), info);
}
