#include "app/urlStringView.h"

#include "platform/app/Roster.h"
#include "platform/support/String.h"

namespace {

constexpr rgb_color kLinkColour{20, 20, 200, 255};

} // namespace

urlStringView::urlStringView(BRect frame, const char* name, const char* text, const char* link)
    : BStringView(frame, name, text, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW), url(link), mime(nullptr)
{
    const BString linkText(link);
    if (linkText.IFindFirst("http:") >= 0) {
        mime = "text/html";
        SetHighColor(kLinkColour);
    }
    if (linkText.IFindFirst("mailto:") >= 0) {
        mime = "text/x-email";
        SetHighColor(kLinkColour);
    }
}

void urlStringView::MouseDown(BPoint /*where*/)
{
    Invalidate();
}

void urlStringView::MouseUp(BPoint /*where*/)
{
    BRoster roster;
    const char* arguments[] = {url};
    roster.Launch(mime, 1, arguments);
    Invalidate();
}
