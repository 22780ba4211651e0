#pragma once

// The pointer and screen services where no X server can be reached: they
// accept listeners and deliver nothing, so the program runs without capture.

#include "platform/input/PointerService.h"
#include "platform/input/ScreenChangeNotifier.h"

class InactivePointerService final : public PointerService, public ScreenChangeNotifier {
public:
    void AddListener(const BMessenger& /*listener*/, bool /*noPointerHistory*/) override {}
    void AddListener(const BMessenger& /*listener*/) override {}
    void RemoveListener(const BMessenger& /*listener*/) override {}
};
