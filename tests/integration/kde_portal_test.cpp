// The real program on a private headless KDE Plasma 6: its portal offers
// the pointer's position with screen casts, so the program asks to share
// the screen, and the test answers the portal's dialog; but KWin,
// compositing without OpenGL on a machine without a GPU, refuses to stream.
// The program must say so and let the canvas play meanwhile. (A real Plasma
// desktop composites with OpenGL, which cannot be had here.)

#include "tests/common/CanvasPlay.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/DummyJackServer.h"
#include "tests/common/HeadlessKde.h"
#include "tests/common/PrivateSettings.h"
#include "tests/common/WaylandPointer.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;
using namespace canvas_play;

namespace {

class KdePortalTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (DebianRelease() == "12")
            GTEST_SKIP() << "KDE Plasma 6 is tested on Debian 13; Debian 12 has Plasma 5";
        const std::string desktop = kde.Start("zimbrel-kde");
        ASSERT_TRUE(desktop.empty()) << "headless KDE: " << desktop;
        const std::string missing = MissingTools({ "jack_connect" });
        ASSERT_TRUE(missing.empty()) << missing;
        const std::string jackError = jack.Start("zimbrel-kde");
        ASSERT_TRUE(jackError.empty()) << "JACK: " << jackError;
        const std::string dumpError = dump.Start();
        ASSERT_TRUE(dumpError.empty()) << dumpError;
        ASSERT_TRUE(pointer.Start(HeadlessKde::kWidth, HeadlessKde::kHeight)) << pointer.Error();
    }

    HeadlessKde kde;
    PrivateSettings settings;
    DummyJackServer jack;
    MidiDump dump;
    WaylandPointer pointer;
    ChildProcess program;
};

} // namespace

TEST_F(KdePortalTest, AScreenCastKWinCannotStreamIsSaidAndTheCanvasPlaysMeanwhile)
{
    const std::string picture = settings.Root() + "/quarters.ppm";
    WritePicture(picture);
    ASSERT_TRUE(WriteMappingPreset(settings.PresetFolder()));
    ASSERT_TRUE(program.Start({ ZIMBREL_PROGRAM, "--canvas", picture, "--preset", "Canvas" },
        { { "DISPLAY", "" }, { "QT_QPA_PLATFORM", "wayland" }, { "XDG_CONFIG_HOME", settings.Root() },
            { "ZIMBREL_MIDI", "jack" } }))
        << program.Error();
    program.CloseInput();
    ASSERT_TRUE(program.WaitForError("Asking the desktop to share the screen", 60s)) << program.Errors();

    // The dialog, answered as a person would: the output's card, then
    // Share (left of Cancel, at the bottom right). Neither screenshots nor
    // screen casts can be had here, so the clicks are told to have worked
    // by the portal's answer, which the program reports.
    std::optional<HeadlessKde::Rectangle> dialog;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = kde.WindowContent("Screen Sharing")).has_value(); }, 30s))
        << "no sharing dialog showed: " << kde.Errors() << program.Errors();
    const auto answered = [&] {
        return program.Errors().find("share the screen (Start ended with code") != std::string::npos
            || program.Errors().find("screen sharing was refused") != std::string::npos;
    };
    // The first click into the dialog may only give it the focus.
    for (int attempt = 0; attempt < 3 && !answered(); ++attempt) {
        ASSERT_TRUE(pointer.ClickAt(dialog->x + dialog->width / 4, dialog->y + 80));
        ASSERT_TRUE(pointer.ClickAt(dialog->x + dialog->width - 150, dialog->y + dialog->height - 25));
        WaitUntil(answered, 3s);
    }
    // KWin cannot stream: said plainly, and the program runs on.
    EXPECT_TRUE(program.WaitForError(
        "the desktop could not share the screen (Start ended with code 2): the whole screen is not followed", 10s))
        << program.Errors();
    ASSERT_TRUE(program.Running()) << program.Errors();

    // The canvas plays meanwhile, clear of the main window, which KWin may
    // have put over it.
    ASSERT_TRUE(WaitUntil(
        [] { return RunTool({ "jack_connect", "Zimbrel:Zimbrel", "midi-monitor:input" }).status == 0; }, 10s));
    std::optional<HeadlessKde::Rectangle> canvas;
    ASSERT_TRUE(WaitUntil([&] { return (canvas = kde.PlaceWindow("Zimbrel Canvas", 700, 100)).has_value(); }, 30s))
        << "the canvas did not show: " << kde.Errors() << program.Errors();
    EXPECT_EQ(canvas->width, kPictureWidth);
    EXPECT_EQ(canvas->height, kPictureHeight);
    size_t seen = 0;
    ASSERT_TRUE(pointer.MoveTo(canvas->x + 10, canvas->y + 10));
    ASSERT_TRUE(pointer.MoveTo(canvas->x + 20, canvas->y + 15));
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(20, 15, kPictureWidth, kPictureHeight, 0xff0000)))
        << dump.Output() << program.Errors();
    ASSERT_TRUE(pointer.MoveTo(canvas->x + 150, canvas->y + 70));
    EXPECT_TRUE(dump.EndsWith(seen, CanvasChanges(150, 70, kPictureWidth, kPictureHeight, 0x4080c0))) << dump.Output();

    kill(program.Pid(), SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0) << program.Errors();
}
