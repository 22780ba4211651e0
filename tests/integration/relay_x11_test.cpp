// The cursor relay against a real X server (an Xvfb of the test's own, 1024 x
// 768 x 24): raw pointer events from XTest become cursor data with the right
// position, colour and buttons, one message per event, and the extents follow
// RandR when the screen shrinks.

#include "platform/interface/Screen.h"
#include "tests/capture/RunningRelay.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

using relay_test::PointerDriver;

// The backend is chosen once per process, on first use, from DISPLAY: the
// server must run and DISPLAY name it before any test makes a relay.
class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        server = std::make_unique<XvfbServer>();
        ASSERT_TRUE(server->IsRunning()) << server->Error();
        setenv("DISPLAY", server->Name().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override { server.reset(); }

    static inline std::unique_ptr<XvfbServer> server;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

class RelayOnX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(XvfbEnvironment::server && XvfbEnvironment::server->IsRunning()) << "no Xvfb";
        fDriver = std::make_unique<PointerDriver>(XvfbEnvironment::server->Name());
        ASSERT_TRUE(fDriver->IsReady()) << "cannot drive the pointer with XTest";
        fLoopers.emplace();
    }

    void TearDown() override { EXPECT_TRUE(fLoopers->Quit()) << "a looper did not quit"; }

    // Waits for the next cursor data message, failing the test when none
    // comes.
    BMessage Next()
    {
        const size_t index = fSeen++;
        if (!fLoopers->target->WaitForCount(index + 1)) {
            ADD_FAILURE() << "no cursor data message " << index;
            return BMessage();
        }
        return fLoopers->target->Messages().at(index);
    }

    static float Normalised(int position, int extent) { return float(position / (long double)extent); }

    std::unique_ptr<PointerDriver> fDriver;
    // Made once the Xvfb and the pointer driver are known to work.
    std::optional<RunningRelay<>> fLoopers;
    size_t fSeen = 0;
};

TEST_F(RelayOnX11, EachMoveAndClickGivesOneMessageWithPositionColourAndButtons)
{
    fDriver->PaintRoot(0xff8000);

    fDriver->MoveTo(1023, 767);
    BMessage data = Next();
    EXPECT_EQ(data.FindFloat("x"), 1.0f);
    EXPECT_EQ(data.FindFloat("y"), 1.0f);
    EXPECT_EQ(data.FindFloat("red"), 1.0f);
    EXPECT_EQ(data.FindFloat("green"), float(128 / 255.0L));
    EXPECT_EQ(data.FindFloat("blue"), 0.0f);
    EXPECT_EQ(data.FindFloat("pressure"), 0.0f) << "XTest's pointer is no tablet";
    EXPECT_FALSE(data.FindBool("eraser"));
    EXPECT_EQ(data.FindInt32("mouseb"), 0);

    fDriver->MoveTo(0, 0);
    data = Next();
    EXPECT_EQ(data.FindFloat("x"), 0.0f);
    EXPECT_EQ(data.FindFloat("y"), 0.0f);

    fDriver->MoveTo(300, 200);
    data = Next();
    EXPECT_EQ(data.FindFloat("x"), Normalised(300, 1023));
    EXPECT_EQ(data.FindFloat("y"), Normalised(200, 767));

    fDriver->Press(1);
    data = Next();
    EXPECT_EQ(data.FindInt32("mouseb"), 1) << "primary button held";
    EXPECT_EQ(data.FindFloat("x"), Normalised(300, 1023));

    fDriver->MoveTo(310, 210);
    data = Next();
    EXPECT_EQ(data.FindInt32("mouseb"), 1) << "dragging";

    fDriver->Press(3);
    EXPECT_EQ(Next().FindInt32("mouseb"), 3) << "the right button is the secondary one";
    fDriver->Release(3);
    EXPECT_EQ(Next().FindInt32("mouseb"), 1);
    fDriver->Release(1);
    data = Next();
    EXPECT_EQ(data.FindInt32("mouseb"), 0);
    EXPECT_EQ(data.FindFloat("x"), Normalised(310, 1023));

    // A last move marks the end: any extra message would have come before it.
    fDriver->MoveTo(5, 6);
    data = Next();
    EXPECT_EQ(data.FindFloat("x"), Normalised(5, 1023));
    EXPECT_EQ(fLoopers->target->Count(), fSeen) << "an event gave more than one message";
}

TEST_F(RelayOnX11, ColourIsWhatLiesUnderThePointerNotThePointersImage)
{
    // Xvfb draws the pointer in software; the read must leave it out. The
    // default cursor is black with a white rim, so a white or black root
    // shows it either way.
    fDriver->PaintRoot(0xffffff);
    fDriver->MoveTo(500, 400);
    BMessage data = Next();
    for (const char* channel : { "red", "green", "blue" })
        EXPECT_EQ(data.FindFloat(channel), 1.0f) << channel;

    fDriver->PaintRoot(0x000000);
    fDriver->PaintRectangle(600, 400, 1, 1, 0x102030);
    fDriver->MoveTo(600, 400);
    data = Next();
    EXPECT_EQ(data.FindFloat("red"), float(0x10 / 255.0L));
    EXPECT_EQ(data.FindFloat("green"), float(0x20 / 255.0L));
    EXPECT_EQ(data.FindFloat("blue"), float(0x30 / 255.0L));
    fDriver->MoveTo(601, 400);
    data = Next();
    for (const char* channel : { "red", "green", "blue" })
        EXPECT_EQ(data.FindFloat(channel), 0.0f) << channel;
}

TEST_F(RelayOnX11, ShrunkScreenStillGivesOneAtTheRightMostColumn)
{
    // Xvfb's one output knows only the mode it started with, which does not
    // fit a smaller framebuffer: it is switched off while the screen shrinks.
    const std::string& display = XvfbEnvironment::server->Name();
    const ToolResult shrunk
        = RunTool({ "xrandr", "--output", "screen", "--off", "--fb", "800x600" }, { { "DISPLAY", display } });
    ASSERT_EQ(shrunk.status, 0) << "xrandr failed (Debian package x11-xserver-utils): " << shrunk.errors;
    EXPECT_EQ(BScreen().Frame(), BRect(0, 0, 799, 599));

    // The move reaches the relay after the screen change it follows.
    fDriver->MoveTo(10, 10);
    Next();
    fDriver->MoveTo(799, 599);
    const BMessage data = Next();
    EXPECT_EQ(data.FindFloat("x"), 1.0f);
    EXPECT_EQ(data.FindFloat("y"), 1.0f);

    const ToolResult restored
        = RunTool({ "xrandr", "--fb", "1024x768", "--output", "screen", "--mode", "1024x768" },
            { { "DISPLAY", display } });
    EXPECT_EQ(restored.status, 0) << "xrandr failed: " << restored.errors;
}

TEST_F(RelayOnX11, ScreenReadsOutsideTheScreenGiveBlackQuietly)
{
    BScreen screen;
    ASSERT_TRUE(screen.IsValid());
    EXPECT_EQ(screen.Frame(), BRect(0, 0, 1023, 767));
    fDriver->PaintRoot(0xffffff);
    BBitmap bitmap(BRect(0, 0, 0, 0), B_RGB32);
    BRect outside(1024, 0, 1024, 0);

    // The server answers BadMatch; nothing may reach standard error.
    std::fflush(stderr);
    const int savedErrors = dup(2);
    FILE* captured = std::tmpfile();
    dup2(fileno(captured), 2);
    const status_t status = screen.ReadBitmap(&bitmap, false, &outside);
    std::fflush(stderr);
    dup2(savedErrors, 2);
    close(savedErrors);
    std::fseek(captured, 0, SEEK_END);
    const long printed = std::ftell(captured);
    std::fclose(captured);
    EXPECT_NE(status, B_OK);
    EXPECT_EQ(printed, 0) << "the X error was printed";
    EXPECT_EQ(*static_cast<const uint32*>(bitmap.Bits()) & 0xffffff, 0u);
    BRect inside(1023, 767, 1023, 767);
    EXPECT_EQ(screen.ReadBitmap(&bitmap, false, &inside), B_OK);
    EXPECT_EQ(*static_cast<const uint32*>(bitmap.Bits()) & 0xffffff, 0xffffffu);
}

} // namespace
