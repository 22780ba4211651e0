#include "platform/interface/PictureView.h"

BPictureView::BPictureView(BRect frame, const char* name, uint32 resizingMode)
    : BView(frame, name, resizingMode, 0)
{
}

void BPictureView::OpenPicture(const char* path, bool fitWindow)
{
    if (DisplayService* display = PeerDisplay())
        display->OpenPicture(Peer(), path != nullptr ? path : "", fitWindow);
}

void BPictureView::ChoosePicture()
{
    if (DisplayService* display = PeerDisplay())
        display->ChoosePicture(Peer());
}

void BPictureView::PastePicture()
{
    if (DisplayService* display = PeerDisplay())
        display->PastePicture(Peer());
}

void BPictureView::CreatePeer(DisplayService& display)
{
    display.CreateView(Peer(), PeerInfo(ViewKind::Picture));
}
