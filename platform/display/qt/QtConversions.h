#pragma once

// Conversions between the API's values and Qt's, and the message a press or
// release on a shown view becomes.
//
// Thread rules: plain functions; the ones taking Qt events run where the
// events are, on the main thread.

#include "platform/app/Message.h"
#include "platform/display/DisplayService.h"

#include <QColor>
#include <QRect>
#include <QString>

class QMouseEvent;

inline QColor ToQColor(rgb_color colour)
{
    return QColor(colour.red, colour.green, colour.blue, colour.alpha);
}

// An inclusive rectangle of the API as Qt's pixel rectangle, moved up by
// `top` units (the part of the window under the menu bar).
inline QRect ToQRect(BRect frame, float top = 0)
{
    return QRect(
        qRound(frame.left), qRound(frame.top - top), qRound(frame.Width()) + 1, qRound(frame.Height()) + 1);
}

// A label as Qt shows it: an ampersand stays an ampersand instead of
// underlining the next letter, and a tab does not open a shortcut column.
inline QString ToQLabel(QString label)
{
    return label.replace('&', "&&").replace('\t', ' ');
}

inline QString ToQLabel(const std::string& label)
{
    return ToQLabel(QString::fromStdString(label));
}

// B_MOUSE_DOWN or B_MOUSE_UP for `view`, with "where" in the view's own
// coordinates, "buttons" still held and "when".
BMessage MouseMessage(uint32 what, const QMouseEvent& event, PeerId view);
// The same for a position and a button mask as the pointer service numbers
// buttons ("buttons" bit n-1 for X button n: left 1, middle 2, right 4).
BMessage PointerMessage(uint32 what, QPointF position, int32 buttons, PeerId view);
int32 PointerButtons(Qt::MouseButtons buttons);
