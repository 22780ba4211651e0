#pragma once

// Who plays: every pointer, only a tablet's pens and erasers (so that a
// mouse on the same desk can work other programs meanwhile), or one device
// chosen by name, which plays again when it is unplugged and comes back.
// The relay and the canvas each hold one; the events of the others post
// nothing. Where the pointer service tells no devices apart, a device
// choice lets every pointer play.

#include "platform/app/Message.h"

#include <string>

// To the relay, the canvas and the main window: the fields of
// PlayerChoice::AddTo.
constexpr uint32 kChoosePlayers = 'rPLY';

enum class Players : int32 { Every, PensOnly, NamedDevice };

struct PlayerChoice {
    Players players = Players::Every;
    // The device's name, for Players::NamedDevice.
    std::string device;

    // Whether a pointer event of the pointer service or the canvas plays.
    bool Plays(const BMessage& event) const;
    // Adds int32 "players" and string "device"; Find reads them back: B_OK
    // with `choice` filled, B_NAME_NOT_FOUND when the message holds no
    // choice, B_BAD_DATA (and `why`) when it holds a damaged one.
    void AddTo(BMessage* message) const;
    static status_t Find(const BMessage& message, PlayerChoice* choice, std::string* why);
    // "only pens and erasers play", as standard error says it.
    std::string Describe() const;

    bool operator==(const PlayerChoice&) const = default;
};

// Whether a pointer event came from a tablet's pen or eraser.
bool IsFromPen(const BMessage& event);
