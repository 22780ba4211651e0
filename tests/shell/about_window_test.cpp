#include "ShellFixture.h"

#include "app/aboutWindow.h"
#include "app/urlStringView.h"
#include "platform/app/Roster.h"

namespace {

constexpr rgb_color kLinkColour{20, 20, 200, 255};

// Records what would have been started instead of starting it.
class SpawnRecorder {
public:
    SpawnRecorder()
    {
        fPrevious = BRoster::SetSpawnFunction([this](const std::vector<std::string>& argv, team_id* team) {
            std::lock_guard lock(fLock);
            fLaunched.push_back(argv);
            if (team != nullptr)
                *team = 4242;
            return B_OK;
        });
    }
    ~SpawnRecorder() { BRoster::SetSpawnFunction(fPrevious); }

    std::vector<std::vector<std::string>> Launched()
    {
        std::lock_guard lock(fLock);
        return fLaunched;
    }

private:
    std::mutex fLock;
    std::vector<std::vector<std::string>> fLaunched;
    BRoster::SpawnFunction fPrevious;
};

} // namespace

TEST_F(ShellTest, AboutTwiceOpensTwoIndependentWindows)
{
    StartMainWindow();
    PickFromMenuBar("File", "About");
    PickFromMenuBar("File", "About");
    ASSERT_EQ(display->CountWindows("about"), 2);
    const PeerId about = display->FindWindow("about");
    ASSERT_TRUE(display->Settle(about));
    // Its size as made, beside the main window rather than over its panel.
    const BRect frame = display->WindowFrame(about);
    EXPECT_EQ(std::pair(frame.Width(), frame.Height()), std::pair(250.0f, 100.0f));
    const BRect main = display->WindowFrame(peer);
    EXPECT_TRUE(frame.left > main.right || frame.top > main.bottom) << "over the main window";
    EXPECT_EQ(display->WindowFlags(about) & (B_NOT_RESIZABLE | B_NOT_ZOOMABLE),
              uint32(B_NOT_RESIZABLE | B_NOT_ZOOMABLE));
    EXPECT_EQ(display->ViewText(display->FindView(about, "about")), "Zimbrel, By,");
    EXPECT_EQ(display->ViewFrame(display->FindView(about, "myemail")), BRect(0, 20, 200, 40));
    EXPECT_EQ(display->ViewFrame(display->FindView(about, "myurl")), BRect(0, 40, 200, 60));
    EXPECT_EQ(display->HighColor(display->FindView(about, "myemail")), kLinkColour);
    EXPECT_EQ(display->HighColor(display->FindView(about, "myurl")), kLinkColour);
    EXPECT_NE(display->HighColor(display->FindView(about, "about")), kLinkColour);

    // Closing one leaves the other.
    display->PressCloseBox(about);
    for (int wait = 0; wait < 100 && display->CountWindows("about") != 1; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(display->CountWindows("about"), 1);
}

TEST_F(ShellTest, ClickingTheLinksLaunchesTheirHandlers)
{
    SpawnRecorder spawns;
    StartMainWindow();
    PickFromMenuBar("File", "About");
    const PeerId about = display->FindWindow("about");
    ASSERT_TRUE(display->Settle(about));
    ASSERT_TRUE(display->Click(display->FindView(about, "myemail"), BPoint(5, 5)));
    ASSERT_TRUE(display->Click(display->FindView(about, "myurl"), BPoint(5, 5)));
    ASSERT_TRUE(display->Click(display->FindView(about, "about"), BPoint(5, 5)));
    ASSERT_TRUE(display->Settle(about));
    const auto launched = spawns.Launched();
    ASSERT_EQ(launched.size(), 2u);
    EXPECT_EQ(launched[0][0], "xdg-open");
    EXPECT_EQ(launched[0].back().rfind("mailto:", 0), 0u);
    EXPECT_EQ(launched[1].back().rfind("http://", 0), 0u);
    // Each click redraws the label on press and on release.
    EXPECT_GE(display->Invalidations(display->FindView(about, "myurl")), 2);
}

namespace {

// Builds a link label in a window of its own and clicks it.
std::vector<std::vector<std::string>> ClickLink(HeadlessDisplay& display, const char* link, rgb_color* colour)
{
    SpawnRecorder spawns;
    BWindow* window = new BWindow(BRect(0, 0, 200, 40), "link", B_TITLED_WINDOW, 0);
    window->AddChild(new urlStringView(BRect(0, 0, 200, 20), "link", "text", link));
    window->Show();
    const PeerId peer = display.FindWindow("link");
    display.Settle(peer);
    const PeerId label = display.FindView(peer, "link");
    *colour = display.HighColor(label);
    display.Click(label, BPoint(1, 1));
    display.Settle(peer);
    display.PressCloseBox(peer);
    BLooper::WaitForOtherLoopers(be_app, kShellPatience);
    return spawns.Launched();
}

} // namespace

TEST_F(ShellTest, LinkSchemesAreFoundAnywhereWhateverTheirCase)
{
    rgb_color colour;
    auto launched = ClickLink(*display, "HTTP://EXAMPLE.ORG", &colour);
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(colour, kLinkColour);

    launched = ClickLink(*display, "see http://example.org", &colour);
    ASSERT_EQ(launched.size(), 1u) << "a scheme after other text is a link too";

    // Both schemes: e-mail wins, and both are handed to the same opener.
    launched = ClickLink(*display, "mailto:a@example.org?body=http://x", &colour);
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].back(), "mailto:a@example.org?body=http://x");

    launched = ClickLink(*display, "ftp://example.org", &colour);
    EXPECT_TRUE(launched.empty());
    EXPECT_NE(colour, kLinkColour);
}
