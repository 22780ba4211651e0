#pragma once

// Tells windows when the screen's frame or colour space changes: each
// listener receives B_SCREEN_CHANGED with "frame" (rect, inclusive screen
// pixels) and "mode" (int32, the color_space).
//
// Thread rules: any thread may add or remove listeners; messages are posted
// from the notifier's own thread.

#include "platform/app/Messenger.h"

class ScreenChangeNotifier {
public:
    // The notifier in force (see InputServices.h).
    static ScreenChangeNotifier& Instance();

    virtual ~ScreenChangeNotifier() = default;

    virtual void AddListener(const BMessenger& listener) = 0;
    virtual void RemoveListener(const BMessenger& listener) = 0;
};
