#pragma once

// BMenuBar: the row of menu titles at the top of a window. Each entry is an
// item that opens a submenu (or, rarely, an item picked directly). Before
// any menu of the bar is shown the window's MenusBeginning runs; after the
// menus are hidden, MenusEnded.
//
// A bar that resizes to fit is kMenuBarHeight units tall; the display keeps
// the views below it clear of the real bar, whatever height that has.
//
// Thread rules: as for views.

#include "platform/interface/Menu.h"

class BMenuBar : public BMenu {
public:
    static constexpr float kMenuBarHeight = 20;

    BMenuBar(BRect frame, const char* name, uint32 resizingMode = B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP,
        menu_layout layout = B_ITEMS_IN_ROW, bool resizeToFit = true);

protected:
    void CreatePeer(DisplayService& display) override;
    void DestroyPeer(DisplayService& display) override;
};
