#pragma once

// BStringView: one line of text, drawn in the view's high colour on its
// view colour (the parent's, unless one is set).
//
// Thread rules: as for views.

#include "platform/interface/View.h"

#include <string>

class BStringView : public BView {
public:
    BStringView(BRect frame, const char* name, const char* text,
        uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW);

    void SetText(const char* text);
    const char* Text() const { return fText.c_str(); }

protected:
    void CreatePeer(DisplayService& display) override;

private:
    std::string fText;
};
