#pragma once

// QtView: a plain view, a rectangle in its view colour. Presses and
// releases go to the API view; so does every repaint of a view that draws
// (B_WILL_DRAW), as a request to run its Draw hook.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QWidget>

class QtView final : public QWidget {
public:
    QtView(QWidget* parent, const ViewInfo& info, PeerAddress address, PeerId peer);

    void SetColors(rgb_color viewColor);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    PeerAddress fAddress;
    PeerId fPeer;
    bool fWillDraw;
};
