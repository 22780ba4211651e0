// Windows and views on the headless display: the window's thread and
// visibility, the close box, presses and redraws reaching the view's hooks,
// and what the display is told about views.

#include "HeadlessFixture.h"

#include "platform/app/Application.h"
#include "platform/interface/StringView.h"
#include "platform/interface/TextControl.h"

#include <atomic>
#include <thread>

namespace {

class RecordingView : public BView {
public:
    RecordingView(EventLog& log, BRect frame, const char* name)
        : BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW)
        , fLog(log)
    {
    }
    ~RecordingView() override { fLog.Add(std::string("view deleted ") + Name()); }

    void AttachedToWindow() override { fLog.Add(std::string("attached ") + Name()); }
    void MouseDown(BPoint where) override { fLog.Add(Describe("down", where)); }
    void MouseUp(BPoint where) override { fLog.Add(Describe("up", where)); }
    void Draw(BRect) override
    {
        // As the program's views do: set the pen, draw nothing.
        SetHighColor(50, 50, 50);
        fLog.Add("draw");
    }

private:
    std::string Describe(const char* what, BPoint where) const
    {
        return std::string(what) + " " + std::to_string(int(where.x)) + "," + std::to_string(int(where.y))
            + (Looper()->IsLooperThread() ? "" : " ON ANOTHER THREAD");
    }

    EventLog& fLog;
};

// A view that builds children in its AttachedToWindow, as the mapping view
// builds its panel.
class BuildingView : public BView {
public:
    BuildingView(EventLog& log)
        : BView(BRect(0, 20, 400, 320), "builder", B_FOLLOW_LEFT, B_WILL_DRAW)
        , fLog(log)
    {
    }
    void AttachedToWindow() override
    {
        SetViewColor(150, 150, 150);
        AddChild(new RecordingView(fLog, BRect(10, 10, 50, 30), "inner"));
    }

private:
    EventLog& fLog;
};

class WindowTest : public HeadlessTest { };

TEST_F(WindowTest, ShowStartsTheThreadAndHideShowNest)
{
    auto* window = new RecordingWindow(log, "nesting");
    const PeerId peer = display->FindWindow("nesting");
    ASSERT_NE(peer, 0u);
    EXPECT_FALSE(window->IsRunning());
    EXPECT_FALSE(display->IsShown(peer));

    // Hidden once more before the first Show, as the cursor relay is: the
    // loop runs but the window never appears.
    window->Hide();
    window->Show();
    EXPECT_TRUE(window->IsRunning());
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_FALSE(display->IsShown(peer));

    BMessenger messenger(window);
    messenger.SendMessage(kShowCommand);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_TRUE(display->IsShown(peer));

    messenger.SendMessage(kHideCommand);
    messenger.SendMessage(kHideCommand);
    messenger.SendMessage(kShowCommand);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_FALSE(display->IsShown(peer)) << "two hides need two shows";
    messenger.SendMessage(kShowCommand);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_TRUE(display->IsShown(peer));

    Close(peer);
}

TEST_F(WindowTest, TheCloseBoxAsksQuitRequestedAndAClosedWindowGoesWithItsViews)
{
    auto* window = new RecordingWindow(log, "closing");
    window->AddChild(new RecordingView(log, BRect(0, 0, 10, 10), "child"));
    window->allowQuit = false;
    window->Show();
    const PeerId peer = display->FindWindow("closing");

    display->PressCloseBox(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(log.Entries().back(), "QuitRequested");
    EXPECT_TRUE(display->IsShown(peer)) << "a refused close leaves the window up";

    const BMessenger messenger(window);
    window->allowQuit = true; // the window is idle: settled above
    Close(peer);
    EXPECT_TRUE(log.WaitFor("view deleted child"));
    EXPECT_EQ(display->FindWindow("closing"), 0u) << "the display still holds a closed window";
    EXPECT_FALSE(messenger.IsValid());
}

TEST_F(WindowTest, PressesReachTheViewInItsOwnCoordinatesOnTheWindowThread)
{
    auto* window = new RecordingWindow(log, "clicks");
    auto* view = new RecordingView(log, BRect(30, 40, 130, 90), "target");
    window->AddChild(view);
    window->Show();
    const PeerId peer = display->FindWindow("clicks");
    const PeerId viewPeer = display->FindView(peer, "target");

    ASSERT_TRUE(display->Click(viewPeer, BPoint(7, 9)));
    ASSERT_TRUE(display->Settle(peer));
    const auto entries = log.Entries();
    EXPECT_NE(std::find(entries.begin(), entries.end(), "down 7,9"), entries.end());
    EXPECT_NE(std::find(entries.begin(), entries.end(), "up 7,9"), entries.end());
    EXPECT_TRUE(std::find(entries.begin(), entries.end(), "down 7,9")
        < std::find(entries.begin(), entries.end(), "up 7,9"));
    EXPECT_EQ(display->ViewFrame(viewPeer), BRect(30, 40, 130, 90));

    Close(peer);
}

TEST_F(WindowTest, InvalidateLeadsToDrawAndDrawingDoesNotLoop)
{
    auto* window = new RecordingWindow(log, "drawing");
    auto* view = new RecordingView(log, BRect(0, 0, 10, 10), "canvas");
    window->AddChild(view);
    window->Show();
    const PeerId peer = display->FindWindow("drawing");

    window->RunTask([view] { view->Invalidate(); });
    // The redraw was posted while the window ran the task; settling once
    // more lets any redraw that Draw itself asked for come through too.
    ASSERT_TRUE(display->Settle(peer));
    ASSERT_TRUE(display->Settle(peer));

    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "draw"), 1)
        << "the high colour Draw sets must not ask for another redraw";
    const PeerId canvas = display->FindView(peer, "canvas");
    EXPECT_EQ(display->HighColor(canvas), (rgb_color { 50, 50, 50, 255 }));
    EXPECT_EQ(display->Invalidations(canvas), 1);

    Close(peer);
}

TEST_F(WindowTest, ChildrenAddedWhileAttachingJoinOnceAndTheDisplayKnowsTheTree)
{
    auto* window = new RecordingWindow(log, "tree");
    window->AddChild(new BuildingView(log));
    window->AddChild(new BStringView(BRect(0, 0, 200, 20), "label", "Zimbrel, By,"));
    const PeerId peer = display->FindWindow("tree");

    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "attached inner"), 1);
    const PeerId builder = display->FindView(peer, "builder");
    const PeerId inner = display->FindView(peer, "inner");
    ASSERT_NE(inner, 0u);
    EXPECT_EQ(display->ViewParent(inner), builder);
    EXPECT_EQ(display->ViewParent(builder), 0u) << "top-level views sit in the window";
    EXPECT_EQ(display->ViewColor(builder), (rgb_color { 150, 150, 150, 255 }));

    const PeerId label = display->FindView(peer, "label");
    EXPECT_EQ(display->ViewText(label), "Zimbrel, By,");
    EXPECT_EQ(display->HighColor(label), (rgb_color { 0, 0, 0, 255 }));

    window->Show();
    Close(peer);
}

TEST_F(WindowTest, AStringViewTakesItsParentsColourAndShowsTextInItsHighColour)
{
    auto* window = new RecordingWindow(log, "labels");
    auto* panel = new BView(BRect(0, 0, 300, 100), "panel", B_FOLLOW_LEFT, B_WILL_DRAW);
    panel->SetViewColor(150, 150, 150);
    window->AddChild(panel);
    auto* link = new BStringView(BRect(0, 20, 200, 40), "link", "author");
    link->SetHighColor(20, 20, 200);
    panel->AddChild(link);
    const PeerId peer = display->FindWindow("labels");
    const PeerId linkPeer = display->FindView(peer, "link");

    EXPECT_EQ(display->ViewColor(linkPeer), (rgb_color { 150, 150, 150, 255 }));
    EXPECT_EQ(display->HighColor(linkPeer), (rgb_color { 20, 20, 200, 255 }));
    link->SetText("someone else");
    EXPECT_EQ(display->ViewText(linkPeer), "someone else");
    EXPECT_STREQ(link->Text(), "someone else");

    panel->RemoveChild(link);
    EXPECT_EQ(display->FindView(peer, "link"), 0u) << "a removed view must leave the display";
    delete link;
    window->Show();
    Close(peer);
}

// Reads the control as its message arrives, as the mapping view does when
// it saves a preset.
class SavingView : public BView {
public:
    SavingView(EventLog& log)
        : BView(BRect(0, 0, 10, 10), "saver", B_FOLLOW_LEFT, B_WILL_DRAW)
        , fLog(log)
    {
    }
    void MessageReceived(BMessage* message) override
    {
        fLog.Add(std::string("got ") + RecordingWindow::Code(message->what) + " text=" + control->Text()
            + (message->HasData("when", B_INT64_TYPE) ? " with when" : ""));
    }
    BTextControl* control = nullptr;

private:
    EventLog& fLog;
};

TEST_F(WindowTest, ATextControlTakesTheCommittedTextAndInvokesItsTarget)
{
    auto* window = new RecordingWindow(log, "texts");
    auto* saver = new SavingView(log);
    window->AddChild(saver);
    saver->control = new BTextControl(
        BRect(120, 10, 300, 20), "PresetName", "New Preset Name:", "", new BMessage('bsav'));
    window->AddChild(saver->control);
    saver->control->SetTarget(saver);
    window->AddChild(new BTextControl(BRect(0, 40, 100, 60), "plain", "", "start", new BMessage('plai')));
    window->Show();
    const PeerId peer = display->FindWindow("texts");
    const PeerId name = display->FindView(peer, "PresetName");
    const PeerId plain = display->FindView(peer, "plain");
    EXPECT_EQ(display->ViewText(name), "New Preset Name:");
    EXPECT_EQ(display->FieldValue(name), "");
    EXPECT_EQ(display->FieldValue(plain), "start");
    EXPECT_FLOAT_EQ(display->Divider(name), 90) << "a labelled control splits in the middle by default";
    EXPECT_FLOAT_EQ(display->Divider(plain), 0);

    ASSERT_TRUE(display->TypeText(name, "Bright Lead"));
    EXPECT_TRUE(log.WaitFor("got bsav text=Bright Lead with when"));
    ASSERT_TRUE(display->TypeText(plain, "typed"));
    ASSERT_TRUE(display->Settle(peer));
    ASSERT_EQ(window->received.size(), 1u) << "an untargeted control goes to its window";
    EXPECT_EQ(window->received[0].what, uint32('plai'));

    BTextControl* control = saver->control;
    window->RunTask([control] { control->SetText("Loaded"); });
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->FieldValue(name), "Loaded");
    const auto entries = log.Entries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                  [](const std::string& e) { return e.rfind("got", 0) == 0; }),
        1)
        << "setting the text must not invoke";
    EXPECT_FALSE(display->TypeText(display->FindView(peer, "saver"), "x")) << "not a text control";
    Close(peer);
}

TEST_F(WindowTest, AnEventForAViewThatLeftIsDropped)
{
    auto* window = new RecordingWindow(log, "leaving");
    auto* view = new RecordingView(log, BRect(0, 0, 10, 10), "gone");
    window->AddChild(view);
    window->Show();
    const PeerId peer = display->FindWindow("leaving");
    const PeerId viewPeer = display->FindView(peer, "gone");

    // Hold the window while the user clicks, so that it removes and deletes
    // the view before it reaches the click.
    Latch latch;
    window->RunTask([&latch] { latch.Wait(); });
    window->RunTask([view] {
        view->Window()->RemoveChild(view);
        delete view;
    });
    ASSERT_TRUE(display->Click(viewPeer, BPoint(1, 1)));
    latch.Open();
    ASSERT_TRUE(display->Settle(peer));

    const auto entries = log.Entries();
    EXPECT_NE(std::find(entries.begin(), entries.end(), "view deleted gone"), entries.end());
    EXPECT_EQ(std::find(entries.begin(), entries.end(), "down 1,1"), entries.end());
    Close(peer);
}

TEST_F(WindowTest, QuittingTheApplicationClosesEveryWindowBeforeRunReturns)
{
    BApplication application("application/x-vnd.zimbrel-test");
    (new RecordingWindow(log, "first"))->Show();
    (new RecordingWindow(log, "second"))->Show();

    application.PostMessage(B_QUIT_REQUESTED);
    application.Run();

    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "deleted"), 2);
    EXPECT_EQ(display->FindWindow("first"), 0u);
    EXPECT_EQ(display->FindWindow("second"), 0u);
}

} // namespace
