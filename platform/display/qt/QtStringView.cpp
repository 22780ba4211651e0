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
    SetColors(info.viewColor, info.highColor);
}

void QtStringView::SetColors(rgb_color viewColor, rgb_color highColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    colours.setColor(QPalette::WindowText, ToQColor(highColor));
    setPalette(colours);
    // On its parent's own colour it paints only its text, so that a text a
    // little longer than its place (a header at twice the scale) is not cut
    // off by the background of the view beside it.
    const QWidget* parent = parentWidget();
    setAutoFillBackground(parent == nullptr || parent->palette().color(QPalette::Window) != ToQColor(viewColor));
}

void QtStringView::mousePressEvent(QMouseEvent* event)
{
    fAddress.Post(MouseMessage(B_MOUSE_DOWN, *event, fPeer));
}

void QtStringView::mouseReleaseEvent(QMouseEvent* event)
{
    fAddress.Post(MouseMessage(B_MOUSE_UP, *event, fPeer));
}
