#pragma once

#include "platform/interface/StringView.h"

// A text label that opens its link with the desktop's preferred
// application when clicked.
class urlStringView : public BStringView {
public:
    // `link` is not copied: it must outlive the label.
    urlStringView(BRect frame, const char* name, const char* text, const char* link);

    void MouseDown(BPoint where) override;
    void MouseUp(BPoint where) override;

private:
    const char* url;
    const char* mime;
};
