#include "ShellFixture.h"
#include "tests/common/PointerEvent.h"
#include "tests/common/WaitUntil.h"

#include "platform/midi/MidiRoster.h"

#include <atomic>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST_F(ShellTest, MenuBarHoldsFileChannelPortCanvasAndSending)
{
    StartMainWindow();
    const PeerId bar = display->FindView(peer, "Zimbrel Menu Bar");
    ASSERT_NE(bar, 0u);
    EXPECT_EQ(display->ItemLabels(bar), (std::vector<std::string>{"File", "Channel", "Port", "Canvas", "Sending"}));
    EXPECT_EQ(display->ItemLabels(display->FindMenu(peer, "Canvas")),
        (std::vector<std::string>{
            "Open Picture\u2026", "Paste Picture", "Full Screen", "Follow the Whole Screen\u2026"}));
    EXPECT_EQ(display->ItemLabels(display->FindMenu(peer, "File")), std::vector<std::string>{"About"});

    const PeerId channel = display->FindMenu(peer, "Channel");
    std::vector<std::string> expected{"Off"};
    for (int n = 1; n <= 16; ++n)
        expected.push_back(std::to_string(n));
    EXPECT_EQ(display->ItemLabels(channel), expected);
    EXPECT_TRUE(display->IsRadio(channel));
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string>{"Off"});
    EXPECT_TRUE(display->IsShown(peer));
    EXPECT_EQ(display->WindowFlags(peer) & B_NOT_ZOOMABLE, uint32(B_NOT_ZOOMABLE));
    EXPECT_EQ(display->WindowFrame(peer), BRect(20, 20, 420, 330));
}

TEST_F(ShellTest, ChannelMenuKeepsExactlyOneMarkAndOffReachesTheViewOnce)
{
    StartMainWindow();
    const PeerId channel = display->FindMenu(peer, "Channel");
    PickFromMenuBar("Channel", "5");
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string>{"5"});
    PickFromMenuBar("Channel", "12");
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string>{"12"});

    CaptureStdout();
    PickFromMenuBar("Channel", "Off");
    EXPECT_EQ(GetCapturedStdout(), "shi\n");
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string>{"Off"});
}

TEST_F(ShellTest, PortMenuListsConsumersMarksConnectedOnesAndNeverAccumulates)
{
    RecordingConsumer* first = new RecordingConsumer("first synth");
    RecordingConsumer* second = new RecordingConsumer("second synth");
    StartMainWindow();
    EXPECT_TRUE(display->ItemLabels(display->FindMenu(peer, "Port")).empty());

    CaptureStdout();
    PickFromMenuBar("Port", "second synth");
    EXPECT_EQ(GetCapturedStdout(), "cfged\n");

    for (int opening = 0; opening < 3; ++opening) {
        std::vector<std::string> marked;
        EXPECT_EQ(PortMenuWhileOpen(&marked), (std::vector<std::string>{"first synth", "second synth"}));
        EXPECT_EQ(marked, std::vector<std::string>{"second synth"});
        EXPECT_TRUE(display->ItemLabels(display->FindMenu(peer, "Port")).empty()) << "items left after closing";
    }

    // Picking the marked entry disconnects it.
    PickFromMenuBar("Port", "second synth");
    std::vector<std::string> marked;
    PortMenuWhileOpen(&marked);
    EXPECT_TRUE(marked.empty());

    // A consumer that goes away is gone from the next opening.
    first->Release();
    EXPECT_EQ(PortMenuWhileOpen(), std::vector<std::string>{"second synth"});
    second->Release();
}

TEST_F(ShellTest, PortMenuOpensEmptyWithoutConsumers)
{
    StartMainWindow();
    EXPECT_TRUE(PortMenuWhileOpen().empty());
}

TEST_F(ShellTest, MissingMidiRosterQuitsTheApplication)
{
    MidiKit::Get().InstallService(nullptr);
    ASSERT_EQ(BMidiRoster::MidiRoster(), nullptr);
    StartMainWindow();
    CaptureStdout();
    display->OpenMenus(peer);
    display->CloseMenus(peer);
    ASSERT_EQ(running.wait_for(kShellPatience), std::future_status::ready) << "the application did not quit";
    const std::string printed = GetCapturedStdout();
    EXPECT_EQ(printed.find("Couldn't get MIDI roster\n"), 0u) << printed;
    EXPECT_TRUE(display->ItemLabels(display->FindMenu(peer, "Port")).empty());
    application.reset();
}

TEST_F(ShellTest, PointerMovesBecomeControlChangesEndToEnd)
{
    RecordingConsumer* synth = new RecordingConsumer("synth");
    StartMainWindow();
    PickFromMenuBar("Port", "synth");
    PickFromMenuBar("Channel", "3");
    ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(peer, "x select")), "7  Channel Volume"));
    ASSERT_TRUE(display->Settle(peer));

    input.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, 0, 100));
    EXPECT_EQ(synth->WaitFor(1), (std::vector<ControlChangeEvent>{{2, 7, 0}}));
    input.EmitPointerEvent(PointerEvent(B_MOUSE_DOWN, 1023, 100, 1));
    EXPECT_EQ(synth->WaitFor(2), (std::vector<ControlChangeEvent>{{2, 7, 0}, {2, 7, 127}}));

    // A reversed range runs downward.
    ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(peer, "x lorange")), "100"));
    ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(peer, "x hirange")), "0"));
    ASSERT_TRUE(display->Settle(peer));
    input.EmitPointerEvent(PointerEvent(B_MOUSE_UP, 1023, 100));
    input.EmitPointerEvent(PointerEvent(B_MOUSE_MOVED, 0, 100));
    EXPECT_EQ(synth->WaitFor(4),
              (std::vector<ControlChangeEvent>{{2, 7, 0}, {2, 7, 127}, {2, 7, 0}, {2, 7, 100}}));
    synth->Release();
}

TEST_F(ShellTest, ClosingTheMainWindowQuitsRelayAndApplication)
{
    StartMainWindow();
    CaptureStdout();
    display->PressCloseBox(peer);
    ASSERT_EQ(running.wait_for(kShellPatience), std::future_status::ready) << "the application did not quit";
    EXPECT_TRUE(BLooper::WaitForOtherLoopers(application.get(), kShellPatience));
    const std::string printed = GetCapturedStdout();
    EXPECT_NE(printed.find("ug!!! -cursor relay window \n"), std::string::npos) << printed;
    EXPECT_FALSE(mainWindow.IsValid());
    application.reset();
}

// Where following the pointer takes the desktop's consent, the line under
// the panel shows how it stands, and once refused the Canvas menu asks again.
TEST_F(ShellTest, ScreenSharingShowsUnderThePanelAndCanBeAskedForAgain)
{
    std::atomic<int> asked{0};
    input.SetConsentRequest([&] { ++asked; });
    input.SetPointerStatus(kPointerAsking, "Asking");
    StartMainWindow();
    EXPECT_EQ(display->WindowFrame(peer).Height(), 310 + 32) << "the window grows by the line";
    const PeerId line = display->FindView(peer, "wayland notice");
    const PeerId canvas = display->FindMenu(peer, "Canvas");
    const char* follow = "Follow the Whole Screen\u2026";
    EXPECT_TRUE(WaitUntil([&] { return display->ViewText(line) == "Asking"; }, kShellPatience));
    EXPECT_FALSE(display->ItemEnabled(canvas, follow));

    input.SetPointerStatus(kPointerRefused, "Refused");
    ASSERT_TRUE(WaitUntil([&] { return display->ViewText(line) == "Refused"; }, kShellPatience));
    EXPECT_TRUE(display->ItemEnabled(canvas, follow));
    PickFromMenuBar("Canvas", follow);
    EXPECT_TRUE(WaitUntil([&] { return asked == 1; }, kShellPatience));

    input.SetPointerStatus(kPointerFollowing, "Following");
    ASSERT_TRUE(WaitUntil([&] { return display->ViewText(line) == "Following"; }, kShellPatience));
    EXPECT_FALSE(display->ItemEnabled(canvas, follow));
    input.SetConsentRequest({});
}
