// Launching links: which MIME types and arguments start anything, the exact
// argument vector handed to xdg-open, and a real start of a stand-in
// xdg-open that proves no shell reads the link and no zombie stays behind.

#include "platform/app/Roster.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Records what would have been started instead of starting it.
class SpawnRecorder {
public:
    SpawnRecorder()
    {
        fPrevious = BRoster::SetSpawnFunction([this](const std::vector<std::string>& argv, team_id* team) {
            calls.push_back(argv);
            *team = 4242;
            return result;
        });
    }
    ~SpawnRecorder() { BRoster::SetSpawnFunction(fPrevious); }

    std::vector<std::vector<std::string>> calls;
    status_t result = B_OK;

private:
    BRoster::SpawnFunction fPrevious;
};

// Polls `done` until it holds or five seconds passed.
template <typename Condition> bool Eventually(Condition done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(RosterTest, WebAndMailLinksGoToXdgOpenAsTheOnlyArgument)
{
    SpawnRecorder recorder;
    BRoster roster;
    const char* web[] = { "http://example.org/page" };
    const char* mail[] = { "mailto:someone@example.org" };
    team_id team = -1;

    EXPECT_EQ(roster.Launch("text/html", 1, web, &team), B_OK);
    EXPECT_EQ(team, 4242);
    EXPECT_EQ(roster.Launch("text/x-email", 1, mail), B_OK);
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[0], (std::vector<std::string> { "xdg-open", "http://example.org/page" }));
    EXPECT_EQ(recorder.calls[1], (std::vector<std::string> { "xdg-open", "mailto:someone@example.org" }));

    recorder.result = B_ENTRY_NOT_FOUND;
    team = -1;
    EXPECT_EQ(roster.Launch("text/html", 1, web, &team), B_ENTRY_NOT_FOUND)
        << "a failed start is not a success";
    EXPECT_EQ(team, -1);
}

TEST(RosterTest, UnknownTypesAndOddArgumentsLaunchNothing)
{
    SpawnRecorder recorder;
    BRoster roster;
    const char* link[] = { "http://example.org" };
    const char* two[] = { "http://a.example", "http://b.example" };
    const char* none[] = { nullptr };
    const char* empty[] = { "" };
    const char* option[] = { "--version" };

    EXPECT_EQ(roster.Launch(nullptr, 1, link), B_BAD_VALUE) << "a link without a MIME type";
    EXPECT_EQ(roster.Launch("text/plain", 1, link), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/HTML", 1, link), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/html", 0, link), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/html", 2, two), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/html", 1, nullptr), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/html", 1, none), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/html", 1, empty), B_BAD_VALUE);
    EXPECT_EQ(roster.Launch("text/html", 1, option), B_BAD_VALUE) << "xdg-open would take it as an option";
    EXPECT_TRUE(recorder.calls.empty());
}

class RealSpawnTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zimbrel-roster-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
    }
    void TearDown() override
    {
        ::setenv("PATH", savedPath.c_str(), 1);
        fs::remove_all(folder);
    }

    // A stand-in xdg-open that writes each argument on a line of its own.
    void InstallFakeOpener()
    {
        const fs::path script = folder / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << (folder / "args.tmp").string()
                              << "'\n"
                              << "/bin/mv '" << (folder / "args.tmp").string() << "' '"
                              << (folder / "args").string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        ::setenv("PATH", folder.c_str(), 1);
    }

    fs::path folder;
    std::string savedPath;
};

TEST_F(RealSpawnTest, TheLinkReachesTheOpenerUntouchedByAnyShellAndTheOpenerIsReaped)
{
    InstallFakeOpener();
    const std::string link = "http://example.org/a b;touch${IFS}" + (folder / "pwned").string() + "&x=`id`";
    const char* args[] = { link.c_str() };
    team_id team = -1;
    ASSERT_EQ(BRoster().Launch("text/html", 1, args, &team), B_OK);
    EXPECT_GT(team, 0);

    ASSERT_TRUE(Eventually([&] { return fs::exists(folder / "args"); })) << "the opener did not run";
    std::ifstream written(folder / "args");
    std::stringstream content;
    content << written.rdbuf();
    EXPECT_EQ(content.str(), link + "\n") << "the link must arrive as one argument, byte for byte";
    EXPECT_FALSE(fs::exists(folder / "pwned")) << "a shell interpreted the link";

    // Once the opener ends, nothing of it may linger as a zombie.
    const fs::path process = "/proc/" + std::to_string(team);
    EXPECT_TRUE(Eventually([&] { return !fs::exists(process); })) << "the ended opener was not reaped";
}

TEST_F(RealSpawnTest, AMissingOpenerIsAnError)
{
    ::setenv("PATH", folder.c_str(), 1); // an empty folder: no xdg-open anywhere
    const char* args[] = { "http://example.org" };
    EXPECT_EQ(BRoster().Launch("text/html", 1, args), B_ENTRY_NOT_FOUND);
}

} // namespace
