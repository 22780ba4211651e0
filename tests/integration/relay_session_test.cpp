// What the relay's process does with the X server it is given: none, one that
// cannot be reached, pure Wayland, Xwayland, and one that dies under it. Each
// case runs the relay probe in a process of its own, since the choice is made
// once per process. In every case the relay runs, quits with its line, and
// nothing but our own lines reaches standard error.

#include "tests/common/ChildProcess.h"
#include "tests/common/XvfbServer.h"
#include "tests/integration/relay_pointer_driver.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using relay_test::PointerDriver;

const char* const kQuitLine = "ug!!! -cursor relay window \n";

// Lines that only Xlib's own handlers print.
void ExpectNoXlibComplaints(const std::string& errors)
{
    for (const char* complaint : { "X Error", "XIO", "Xlib", "fatal IO error" })
        EXPECT_EQ(errors.find(complaint), std::string::npos) << complaint << " in:\n" << errors;
}

// A display number with no server: no socket and no lock file for it.
std::string UnusedDisplay()
{
    for (int number = 87;; ++number) {
        struct stat info;
        const std::string n = std::to_string(number);
        if (stat(("/tmp/.X11-unix/X" + n).c_str(), &info) != 0
            && stat(("/tmp/.X" + n + "-lock").c_str(), &info) != 0)
            return ":" + n;
    }
}

std::string ProbePath()
{
    return RELAY_PROBE_PATH;
}

struct Session {
    int status;
    std::string output;
    std::string errors;
};

// Runs the probe under `environment` to its end without moving the pointer.
Session RunIdleProbe(const std::map<std::string, std::string>& environment)
{
    ChildProcess probe;
    EXPECT_TRUE(probe.Start({ ProbePath() }, environment)) << probe.Error();
    EXPECT_TRUE(probe.WaitForError("probe: running")) << probe.Errors();
    probe.CloseInput();
    const int status = probe.Wait();
    return Session { status, probe.Output(), probe.Errors() };
}

void ExpectQuietQuitWithoutCapture(const Session& session, const std::string& line)
{
    EXPECT_EQ(session.status, 0) << "the relay did not quit:\n" << session.errors;
    EXPECT_EQ(session.output, kQuitLine);
    EXPECT_EQ(Occurrences(session.errors, line), 1u) << session.errors;
    EXPECT_EQ(Occurrences(session.errors, "zimbrel:"), 1u) << session.errors;
    EXPECT_NE(session.errors.find("probe: 0 cursor data messages"), std::string::npos) << session.errors;
    ExpectNoXlibComplaints(session.errors);
}

TEST(RelaySession, WithoutDisplaySaysSoAndStillQuits)
{
    const Session session = RunIdleProbe({ { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } });
    ExpectQuietQuitWithoutCapture(session, "zimbrel: no X server (DISPLAY is not set): no pointer capture\n");
}

TEST(RelaySession, UnreachableDisplaySaysSoAndStillQuits)
{
    const std::string display = UnusedDisplay();
    const Session session = RunIdleProbe({ { "DISPLAY", display }, { "WAYLAND_DISPLAY", "" } });
    ExpectQuietQuitWithoutCapture(
        session, "zimbrel: cannot connect to the X server at DISPLAY=" + display + ": no pointer capture\n");
}

TEST(RelaySession, PureWaylandSaysWhyThereIsNoCapture)
{
    const Session session
        = RunIdleProbe({ { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "wayland-zimbrel-test" } });
    ExpectQuietQuitWithoutCapture(session, "zimbrel: Wayland session without Xwayland (DISPLAY is not set)");
}

TEST(RelaySession, XwaylandSaysOnlyX11WindowsCanBeSeenAndCaptures)
{
    XvfbServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    ChildProcess probe;
    ASSERT_TRUE(probe.Start(
        { ProbePath() }, { { "DISPLAY", server.Name() }, { "WAYLAND_DISPLAY", "wayland-zimbrel-test" } }))
        << probe.Error();
    ASSERT_TRUE(probe.WaitForError("probe: running")) << probe.Errors();

    PointerDriver driver(server.Name());
    ASSERT_TRUE(driver.IsReady());
    driver.MoveTo(40, 50);
    probe.WriteInput("wait\n");
    EXPECT_TRUE(probe.WaitForError("probe: got cursor data")) << probe.Errors();
    probe.CloseInput();
    EXPECT_EQ(probe.Wait(), 0) << probe.Errors();
    EXPECT_EQ(probe.Output(), kQuitLine);
    EXPECT_EQ(Occurrences(probe.Errors(),
                  "zimbrel: Wayland session through Xwayland: only pointer events over "
                  "X11 windows can be seen"),
        1u)
        << probe.Errors();
    EXPECT_EQ(Occurrences(probe.Errors(), "zimbrel:"), 1u) << probe.Errors();
    ExpectNoXlibComplaints(probe.Errors());
}

TEST(RelaySession, ServerThatDiesEndsCaptureButNotTheRelay)
{
    XvfbServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    ChildProcess probe;
    ASSERT_TRUE(probe.Start({ ProbePath() }, { { "DISPLAY", server.Name() }, { "WAYLAND_DISPLAY", "" } }))
        << probe.Error();
    ASSERT_TRUE(probe.WaitForError("probe: running")) << probe.Errors();

    server.Stop();
    EXPECT_TRUE(probe.WaitForError("zimbrel: lost the connection to the X server")) << probe.Errors();
    probe.CloseInput();
    EXPECT_EQ(probe.Wait(), 0) << "the relay did not quit after the server died:\n" << probe.Errors();
    EXPECT_EQ(probe.Output(), kQuitLine);
    EXPECT_EQ(Occurrences(probe.Errors(), "zimbrel:"), 1u) << probe.Errors();
    ExpectNoXlibComplaints(probe.Errors());
}

} // namespace
