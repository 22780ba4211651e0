#include "platform/interface/PopUpMenu.h"

BPopUpMenu::BPopUpMenu(const char* title, bool radioMode, bool labelFromMarked, menu_layout layout)
    : BMenu(title, layout)
{
    SetRadioMode(radioMode);
    SetLabelFromMarked(labelFromMarked);
}
