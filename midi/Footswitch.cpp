#include "midi/Footswitch.h"

#include "platform/app/Message.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/BoundedFile.h"
#include "platform/storage/Directory.h"
#include "platform/storage/FindDirectory.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32 kFootswitchSettings = 'zFSW';
// Four numbers; anything far larger is not ours.
constexpr size_t kLargestSettingsFile = 4 * 1024;

std::string SettingsPath()
{
    return UserSettingsDirectory() + "/Zimbrel2 Footswitch";
}

} // namespace

const char* const kFootswitchSourceLabels[3] = { "Off", "Control Change", "Note" };
const char* const kFootswitchActionLabels[2] = { "Turns Sending Over", "Sends While Held" };

std::optional<bool> Footswitch::Moves(const BMessage& received) const
{
    const auto kind = ReceivedKind(received.FindInt32("kind"));
    const int32 value = received.FindInt32("value");
    if (received.what != kMidiReceived || received.FindInt32("number") != number
        || (channel != 0 && received.FindInt32("channel") != channel - 1))
        return std::nullopt;
    if (source == Source::ControlChange && kind == ReceivedKind::ControlChange)
        return value >= 64;
    if (source == Source::Note && kind == ReceivedKind::NoteOn)
        return value > 0;
    if (source == Source::Note && kind == ReceivedKind::NoteOff)
        return false;
    return std::nullopt;
}

void AddFootswitch(BMessage* message, const Footswitch& footswitch)
{
    message->AddInt32("source", int32(footswitch.source));
    message->AddInt32("channel", footswitch.channel);
    message->AddInt32("number", footswitch.number);
    message->AddInt32("action", int32(footswitch.action));
}

status_t FindFootswitch(const BMessage& message, Footswitch* footswitch, std::string* why)
{
    struct Range {
        const char* name;
        int32 highest;
    };
    constexpr Range kRanges[] = { { "source", 2 }, { "channel", 16 }, { "number", 127 }, { "action", 1 } };
    int32 values[4];
    for (size_t i = 0; i < 4; ++i) {
        if (message.FindInt32(kRanges[i].name, &values[i]) != B_OK || values[i] < 0
            || values[i] > kRanges[i].highest) {
            *why = std::string("its \"") + kRanges[i].name + "\" is missing or not 0 to "
                + std::to_string(kRanges[i].highest);
            return B_BAD_VALUE;
        }
    }
    *footswitch = Footswitch { Footswitch::Source(values[0]), values[1], values[2], Footswitch::Action(values[3]) };
    return B_OK;
}

Footswitch LoadFootswitch()
{
    const std::string path = SettingsPath();
    Footswitch footswitch;
    const BoundedFile file(path.c_str(), kLargestSettingsFile);
    if (file.InitCheck() == B_ENTRY_NOT_FOUND)
        return footswitch;
    std::string why;
    BMessage settings;
    if (file.InitCheck() != B_OK)
        why = file.Why();
    else if (settings.Unflatten(file.Bytes().data(), ssize_t(file.Bytes().size())) != B_OK
        || settings.what != kFootswitchSettings)
        why = "it holds no footswitch, or it is damaged";
    else if (FindFootswitch(settings, &footswitch, &why) == B_OK)
        return footswitch;
    std::fprintf(stderr, "the footswitch kept in %s is not used: %s; the footswitch is off\n", path.c_str(),
        why.c_str());
    return Footswitch {};
}

void KeepFootswitch(const Footswitch& footswitch)
{
    BMessage settings(kFootswitchSettings);
    AddFootswitch(&settings, footswitch);
    const std::vector<char> bytes = settings.Flatten();
    create_directory(UserSettingsDirectory().c_str(), 0777);
    const std::string path = SettingsPath();
    if (const int error = ReplaceFileContents(path.c_str(), bytes.data(), bytes.size()))
        std::fprintf(stderr, "cannot keep the footswitch in %s: %s\n", path.c_str(), std::strerror(error));
}
