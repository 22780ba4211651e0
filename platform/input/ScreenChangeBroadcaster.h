#pragma once

// The screen-change notifier's listeners and the one way a change reaches
// them: B_SCREEN_CHANGED with "frame" and "mode", queued in order.
//
// Thread rules: any thread may add, remove and broadcast.

#include "platform/input/ListenerList.h"
#include "platform/input/ScreenChangeNotifier.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"

class ScreenChangeBroadcaster final : public ScreenChangeNotifier {
public:
    void AddListener(const BMessenger& listener) override;
    void RemoveListener(const BMessenger& listener) override;

    void Broadcast(BRect frame, color_space mode);
    size_t CountListeners() const { return fListeners.Count(); }

private:
    ListenerList fListeners;
};
