#include "capture/PlayerChoice.h"

#include "platform/input/PointerService.h"

bool IsFromPen(const BMessage& event)
{
    // Only a tablet's tools give a pressure, however lightly they touch.
    return event.HasFloat("be:tablet_pressure");
}

bool PlayerChoice::Plays(const BMessage& event) const
{
    switch (players) {
    case Players::Every: return true;
    case Players::PensOnly: return IsFromPen(event);
    case Players::NamedDevice: break;
    }
    const PointerService& service = PointerService::Instance();
    if (!service.TellsDevicesApart())
        return true;
    int32 id = 0;
    return event.FindInt32("be:device", &id) == B_OK && service.DeviceIsNamed(id, device);
}

void PlayerChoice::AddTo(BMessage* message) const
{
    message->AddInt32("players", int32(players));
    message->AddString("device", device.c_str());
}

status_t PlayerChoice::Find(const BMessage& message, PlayerChoice* choice, std::string* why)
{
    int32 players = 0;
    if (message.FindInt32("players", &players) != B_OK)
        return B_NAME_NOT_FOUND;
    const char* device = message.FindString("device");
    if (players < int32(Players::Every) || players > int32(Players::NamedDevice)) {
        *why = "\"players\" is " + std::to_string(players) + ", not 0 to 2";
        return B_BAD_DATA;
    }
    if (Players(players) == Players::NamedDevice && (device == nullptr || *device == '\0')) {
        *why = "it names no device";
        return B_BAD_DATA;
    }
    *choice = PlayerChoice { Players(players), Players(players) == Players::NamedDevice ? device : "" };
    return B_OK;
}

std::string PlayerChoice::Describe() const
{
    switch (players) {
    case Players::Every: return "every pointer plays";
    case Players::PensOnly: return "only pens and erasers play";
    case Players::NamedDevice: break;
    }
    return "only \"" + device + "\" plays";
}
