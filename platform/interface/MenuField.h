#pragma once

// BMenuField: a label followed by a pop-up button that offers a menu. The
// button shows the label of MenuItem(): the menu's marked item when the menu
// takes its label from it, otherwise (or while nothing is marked) the
// menu's title. The label takes the room left of the divider; by default
// half the field's width, or none when there is no label.
//
// Thread rules: as for views.

#include "platform/interface/View.h"

#include <string>

class BMenu;
class BMenuItem;

class BMenuField : public BView {
public:
    // Copies `label` and takes ownership of `menu`.
    BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
        uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BMenuField() override;

    BMenu* Menu() const;
    // The item whose label the pop-up button shows; it opens the menu.
    BMenuItem* MenuItem() const { return fMenuItem; }
    const char* Label() const { return fLabel.c_str(); }
    void SetLabel(const char* label);
    void SetDivider(float divider);
    float Divider() const { return fDivider; }

protected:
    void CreatePeer(DisplayService& display) override;
    void DestroyPeer(DisplayService& display) override;

private:
    friend class BMenu;
    // The menu's marks changed what the button shows.
    void ShowMenuLabel();

    std::string fLabel;
    BMenuItem* fMenuItem;
    float fDivider;
};
