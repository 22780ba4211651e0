// Choosing the MIDI service from ZIMBREL_MIDI. JACK is pointed at a server
// name nobody runs, so the JACK cases never reach a real server; ALSA cases
// depend on whether this machine has /dev/snd/seq.

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiRoster.h"
#include "platform/midi/MidiServiceSelection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool SequencerOpens()
{
    const int fd = open("/dev/snd/seq", O_RDWR);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

class MidiServiceSelection : public testing::Test {
protected:
    void SetUp() override { setenv("JACK_DEFAULT_SERVER", "zimbrel-test-nobody-runs-this", 1); }
    void TearDown() override
    {
        unsetenv("ZIMBREL_MIDI");
        MidiKit::Get().Reset();
    }

    std::unique_ptr<MidiService> Choose(const char* setting)
    {
        announcement.clear();
        return ChooseMidiService(setting, "Zimbrel", &announcement);
    }

    std::string announcement;
};

} // namespace

TEST_F(MidiServiceSelection, NoneAndUnknownValuesGiveNoServiceAndSayWhy)
{
    EXPECT_EQ(Choose("none"), nullptr);
    EXPECT_EQ(announcement, "MIDI service: none (ZIMBREL_MIDI=none)");
    EXPECT_EQ(Choose("jackd"), nullptr);
    EXPECT_NE(announcement.find("unknown ZIMBREL_MIDI value \"jackd\""), std::string::npos)
        << announcement;
}

TEST_F(MidiServiceSelection, InProcessIsChosenOnlyByName)
{
    const auto service = Choose("inprocess");
    ASSERT_NE(service, nullptr);
    EXPECT_NE(announcement.find("in-process"), std::string::npos) << announcement;
}

TEST_F(MidiServiceSelection, JackWithoutARunningServerWaitsForOneAndStartsNothing)
{
    const auto service = Choose("jack");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(announcement,
              "MIDI service: JACK, no server answers yet: client \"Zimbrel\" registers when one does "
              "(Zimbrel does not start one)");
    EXPECT_TRUE(service->Consumers().empty());
}

TEST_F(MidiServiceSelection, AlsaFollowsWhetherTheSequencerOpens)
{
    const auto service = Choose("alsa");
    if (SequencerOpens()) {
        ASSERT_NE(service, nullptr) << announcement;
        EXPECT_NE(announcement.find("ALSA sequencer, client"), std::string::npos) << announcement;
    } else {
        EXPECT_EQ(service, nullptr);
        EXPECT_NE(announcement.find("cannot open ALSA sequencer: "), std::string::npos)
            << announcement;
    }
}

TEST_F(MidiServiceSelection, AutoFallsBackFromJackToAlsaAndNeverToInProcess)
{
    for (const char* setting : {"auto", "", static_cast<const char*>(nullptr)}) {
        const auto service = Choose(setting);
        if (SequencerOpens()) {
            ASSERT_NE(service, nullptr) << announcement;
            EXPECT_NE(announcement.find("ALSA"), std::string::npos) << announcement;
        } else {
            EXPECT_EQ(service, nullptr);
            EXPECT_NE(announcement.find("MIDI service: none available (cannot open JACK client"),
                      std::string::npos)
                << announcement;
            EXPECT_NE(announcement.find("; cannot open ALSA sequencer"), std::string::npos)
                << announcement;
        }
    }
}

TEST_F(MidiServiceSelection, TheKitChoosesOnceAndAnnouncesItOnOneStandardErrorLine)
{
    setenv("ZIMBREL_MIDI", "none", 1);
    MidiKit::Get().Reset();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(BMidiRoster::MidiRoster(), nullptr);
    EXPECT_EQ(BMidiRoster::MidiRoster(), nullptr);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(errors, "MIDI service: none (ZIMBREL_MIDI=none)\n");

    setenv("ZIMBREL_MIDI", "inprocess", 1);
    MidiKit::Get().Reset();
    testing::internal::CaptureStderr();
    EXPECT_NE(BMidiRoster::MidiRoster(), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("MIDI service: in-process"),
              std::string::npos);
}
