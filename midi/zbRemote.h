#pragma once

#include "platform/app/Messenger.h"
#include "platform/midi/MidiLocalConsumer.h"

// The program's MIDI consumer "Zimbrel in", which other programs see and
// link to as they see the producer. It hands each Control Change, note and
// Program Change it receives to its target as a kMidiReceived message (see
// midi/Footswitch.h); the target decides what they do. Its hooks run on
// the MIDI service's receiving thread, so they only post.
class zbRemote : public BMidiLocalConsumer {
public:
    explicit zbRemote(BMessenger target);

    void ControlChange(uchar channel, uchar controlNumber, uchar controlValue, bigtime_t time) override;
    void NoteOn(uchar channel, uchar note, uchar velocity, bigtime_t time) override;
    void NoteOff(uchar channel, uchar note, uchar velocity, bigtime_t time) override;
    void ProgramChange(uchar channel, uchar programNumber, bigtime_t time) override;

private:
    ~zbRemote() override = default;

    void Tell(int32 kind, uchar channel, uchar number, uchar value);

    const BMessenger target;
};
