#include "platform/interface/MenuBar.h"

namespace {

BRect FittedFrame(BRect frame, bool resizeToFit)
{
    if (resizeToFit)
        frame.bottom = frame.top + BMenuBar::kMenuBarHeight - 1;
    return frame;
}

} // namespace

BMenuBar::BMenuBar(
    BRect frame, const char* name, uint32 resizingMode, menu_layout /*layout*/, bool resizeToFit)
    : BMenu(FittedFrame(frame, resizeToFit), name, resizingMode, B_WILL_DRAW)
{
}

void BMenuBar::CreatePeer(DisplayService& display)
{
    AttachSubmenus();
    display.CreateView(Peer(), PeerInfo(ViewKind::MenuBar));
    const std::vector<MenuItemInfo> items = ItemInfos();
    for (size_t index = 0; index < items.size(); ++index)
        display.AddMenuItem(Peer(), int32(index), items[index]);
}

void BMenuBar::DestroyPeer(DisplayService& display)
{
    display.DestroyView(Peer());
    DetachSubmenus();
}
