#pragma once

// BMidiLocalConsumer: a consumer inside this process. Local producers
// connected to it call its hooks synchronously on the spraying thread, so a
// hook runs on whichever thread sprayed and must guard what it shares.
// A registered consumer is also offered to other programs where the
// service can (a JACK or ALSA input port named after it); what they send
// calls the same hooks, on the service's receiving thread.

#include "platform/midi/MidiConsumer.h"

#include <cstddef>

class BMidiLocalConsumer : public BMidiConsumer {
public:
    explicit BMidiLocalConsumer(const char* name = nullptr);

    virtual void ControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                               bigtime_t time);
    virtual void NoteOn(uchar channel, uchar note, uchar velocity, bigtime_t time);
    virtual void NoteOff(uchar channel, uchar note, uchar velocity, bigtime_t time);
    virtual void PitchBend(uchar channel, uchar lsb, uchar msb, bigtime_t time);
    virtual void ChannelPressure(uchar channel, uchar pressure, bigtime_t time);
    virtual void ProgramChange(uchar channel, uchar programNumber, bigtime_t time);

protected:
    ~BMidiLocalConsumer() override = default;

private:
    friend class MidiKit;

    // Turns one complete channel message into the matching hook.
    void Receive(const uint8* bytes, size_t size, bigtime_t time);
};
