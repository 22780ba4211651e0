#include "platform/display/qt/QtButton.h"

#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtConversions.h"

QtButton::QtButton(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer)
    : QPushButton(ToQLabel(info.text), parent)
{
    if ((info.flags & B_NAVIGABLE) == 0)
        setFocusPolicy(Qt::NoFocus);
    QObject::connect(this, &QPushButton::clicked, this, [address = std::move(address), peer] {
        BMessage invoked(kControlInvoked);
        invoked.AddInt32(kValueField, 0);
        invoked.AddInt64(kPeerField, int64(peer));
        address.Post(invoked);
    });
}
