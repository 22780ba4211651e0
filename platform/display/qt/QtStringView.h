#pragma once

// QtStringView: one line of text in the high colour on the view colour.
// Presses and releases go to the API view. The text stands a few pixels
// in from the frame's left edge.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QLabel>

class QtStringView final : public QLabel {
public:
    QtStringView(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer);

    void SetColors(rgb_color viewColor, rgb_color highColor);

    static constexpr int kIndent = 4;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    PeerAddress fAddress;
    PeerId fPeer;
};
