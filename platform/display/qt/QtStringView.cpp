#include "platform/display/qt/QtStringView.h"

#include "platform/app/AppDefs.h"
#include "platform/display/qt/QtConversions.h"

#include <QMouseEvent>

QtStringView::QtStringView(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer)
    : QLabel(QString::fromStdString(info.text), parent)
    , fAddress(std::move(address))
    , fPeer(peer)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Text that starts where a neighbour's frame ends would touch the
    // neighbour's last letter.
    setIndent(kIndent);
    setAutoFillBackground(true);
    SetColors(info.viewColor, info.highColor);
}

void QtStringView::SetColors(rgb_color viewColor, rgb_color highColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    colours.setColor(QPalette::WindowText, ToQColor(highColor));
    setPalette(colours);
}

void QtStringView::mousePressEvent(QMouseEvent* event)
{
    fAddress.Post(MouseMessage(B_MOUSE_DOWN, *event, fPeer));
}

void QtStringView::mouseReleaseEvent(QMouseEvent* event)
{
    fAddress.Post(MouseMessage(B_MOUSE_UP, *event, fPeer));
}
