#include "platform/display/qt/QtCheckBox.h"

#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtConversions.h"

QtCheckBox::QtCheckBox(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer)
    : QCheckBox(ToQLabel(info.text), parent)
{
    if ((info.flags & B_NAVIGABLE) == 0)
        setFocusPolicy(Qt::NoFocus);
    // A button's own role fills with the style's button colour, which on a
    // coloured panel shows as a pale box around the label.
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    SetColors(info.viewColor, info.highColor);
    SetValue(info.value);
    // Only the user's clicks: clicked is not emitted for setChecked.
    QObject::connect(this, &QCheckBox::clicked, this, [address = std::move(address), peer](bool checked) {
        BMessage invoked(kControlInvoked);
        invoked.AddInt32(kValueField, checked ? 1 : 0);
        invoked.AddInt64(kPeerField, int64(peer));
        address.Post(invoked);
    });
}

void QtCheckBox::SetValue(const std::string& value)
{
    setChecked(value == "1");
}

void QtCheckBox::SetColors(rgb_color viewColor, rgb_color highColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    colours.setColor(QPalette::WindowText, ToQColor(highColor));
    setPalette(colours);
}
