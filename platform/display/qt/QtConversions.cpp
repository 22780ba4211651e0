#include "platform/display/qt/QtConversions.h"

#include "platform/display/DisplayMessages.h"
#include "platform/interface/InterfaceDefs.h"

#include <QMouseEvent>

#include <chrono>

BMessage MouseMessage(uint32 what, const QMouseEvent& event, PeerId view)
{
    int32 buttons = 0;
    if (event.buttons() & Qt::LeftButton)
        buttons |= B_PRIMARY_MOUSE_BUTTON;
    if (event.buttons() & Qt::RightButton)
        buttons |= B_SECONDARY_MOUSE_BUTTON;
    if (event.buttons() & Qt::MiddleButton)
        buttons |= B_TERTIARY_MOUSE_BUTTON;
    return PointerMessage(what, event.position(), buttons, view);
}

BMessage PointerMessage(uint32 what, QPointF position, int32 buttons, PeerId view)
{
    using namespace std::chrono;
    BMessage message(what);
    message.AddInt64("when", duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
    message.AddPoint("where", BPoint(float(position.x()), float(position.y())));
    message.AddInt32("buttons", buttons);
    message.AddInt64(kPeerField, int64(view));
    return message;
}

int32 PointerButtons(Qt::MouseButtons buttons)
{
    int32 mask = 0;
    if (buttons & Qt::LeftButton)
        mask |= 1;
    if (buttons & Qt::MiddleButton)
        mask |= 2;
    if (buttons & Qt::RightButton)
        mask |= 4;
    return mask;
}
