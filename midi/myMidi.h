#pragma once

#include "platform/midi/MidiLocalProducer.h"

// The program's MIDI producer "Zimbrel". It drops a Control Change that
// repeats the one sent just before it.
class myMidi : public BMidiLocalProducer {
public:
    myMidi();

    void Control(uchar channel, uchar controller, uchar value);
    void Note(uchar channel, uchar note, uchar velocity);
    void Noteoff(uchar channel, uchar note, uchar velocity);
    // How many Control Changes went out so far (repeats that were dropped
    // do not count).
    uint32 SentCount() const { return sentCount; }

private:
    uint8 lastChannel = 0;
    uint8 lastController = 0;
    uint8 lastValue = 0;
    // Nothing has been sent yet, so the first Control always goes out.
    bool hasLast = false;
    uint32 sentCount = 0;
};
