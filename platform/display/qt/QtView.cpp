#include "platform/display/qt/QtView.h"

#include "platform/app/AppDefs.h"
#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtConversions.h"
#include "platform/interface/InterfaceDefs.h"

#include <QMouseEvent>

QtView::QtView(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer)
    : QWidget(parent)
    , fAddress(std::move(address))
    , fPeer(peer)
    , fWillDraw((info.flags & B_WILL_DRAW) != 0)
{
    setAutoFillBackground(true);
    SetColors(info.viewColor);
}

void QtView::SetColors(rgb_color viewColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    setPalette(colours);
}

void QtView::mousePressEvent(QMouseEvent* event)
{
    fAddress.Post(MouseMessage(B_MOUSE_DOWN, *event, fPeer));
}

void QtView::mouseReleaseEvent(QMouseEvent* event)
{
    fAddress.Post(MouseMessage(B_MOUSE_UP, *event, fPeer));
}

void QtView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!fWillDraw)
        return;
    BMessage update(kViewUpdate);
    update.AddInt64(kPeerField, int64(fPeer));
    fAddress.Post(update);
}
