#pragma once

// BPopUpMenu: a menu meant to be offered by a menu field; by default in
// radio mode and showing its marked item's label.
//
// Thread rules: as for views.

#include "platform/interface/Menu.h"

class BPopUpMenu : public BMenu {
public:
    explicit BPopUpMenu(const char* title, bool radioMode = true, bool labelFromMarked = true,
        menu_layout layout = B_ITEMS_IN_COLUMN);
};
