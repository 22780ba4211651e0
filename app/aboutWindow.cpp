#include "app/aboutWindow.h"

#include "app/urlStringView.h"
#include "platform/interface/StringView.h"

namespace {

constexpr const char* kAuthorName = "The Zimbrel maintainers";
constexpr const char* kAuthorMail = "mailto:maintainers@users.noreply.c-seed-9784c565.example";
constexpr const char* kAuthorSite = "c-seed-9784c565.example";
constexpr const char* kAuthorSiteLink = "http://c-seed-9784c565.example";

} // namespace

aboutWindow::aboutWindow(BRect frame, const char* title)
    : BWindow(frame, title, B_TITLED_WINDOW, B_NOT_RESIZABLE | B_NOT_ZOOMABLE | B_ASYNCHRONOUS_CONTROLS,
              B_CURRENT_WORKSPACE)
{
    BRect labelFrame(0, 0, 200, 20);
    AddChild(new BStringView(labelFrame, "about", "Zimbrel, By,", B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW));
    labelFrame.OffsetBy(0, 20);
    AddChild(new urlStringView(labelFrame, "myemail", kAuthorName, kAuthorMail));
    labelFrame.OffsetBy(0, 20);
    AddChild(new urlStringView(labelFrame, "myurl", kAuthorSite, kAuthorSiteLink));
}

aboutWindow::~aboutWindow() = default;

bool aboutWindow::QuitRequested()
{
    return true;
}
