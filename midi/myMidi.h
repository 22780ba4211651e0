#pragma once

#include "platform/midi/MidiLocalProducer.h"

// The program's MIDI producer "Zimbrel". It drops a message that repeats
// the one sent just before it exactly.
class myMidi : public BMidiLocalProducer {
public:
    myMidi();

    void Control(uchar channel, uchar controller, uchar value);
    // The bend's 14-bit value as its least and most significant 7 bits.
    void PitchBend(uchar channel, uchar lsb, uchar msb);
    void ChannelPressure(uchar channel, uchar pressure);
    void Note(uchar channel, uchar note, uchar velocity);
    void Noteoff(uchar channel, uchar note, uchar velocity);
    // How many messages went out so far (repeats that were dropped do not
    // count).
    uint32 SentCount() const { return sentCount; }

private:
    // Whether the message is a repeat of the last one; remembers it.
    bool Repeats(uchar status, uchar data1, uchar data2);

    uint8 lastStatus = 0;
    uint8 lastData1 = 0;
    uint8 lastData2 = 0;
    // Nothing has been sent yet, so the first message always goes out.
    bool hasLast = false;
    uint32 sentCount = 0;
};
