#pragma once

// BMidiLocalProducer: the process's own producer. Spraying sends one channel
// message at once to every connected consumer: local consumers receive it
// synchronously on the spraying thread, before the call returns; consumers of
// other programs through the MIDI service, which never blocks the caller.
// The time stamp is handed to local consumers as given; outside services send
// at once whatever it says (0 means now).
//
// Data-byte rule: a message whose channel is above 15 or whose data byte is
// above 127 is refused whole: nothing is sent, and the first refusal of each
// producer is reported on standard error. Masking would send a different,
// plausible-looking message (controller 130 becoming controller 2).
//
// Thread rules: sprays may come from any thread but a real-time one; the
// program sprays from its main window thread. The hooks run on the thread
// that called Connect or Disconnect.

#include "platform/midi/MidiProducer.h"

#include <atomic>

class BMidiLocalProducer : public BMidiProducer {
public:
    explicit BMidiLocalProducer(const char* name = nullptr);

    void SprayControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                            bigtime_t time = 0) const;
    void SprayNoteOn(uchar channel, uchar note, uchar velocity, bigtime_t time = 0) const;
    void SprayNoteOff(uchar channel, uchar note, uchar velocity, bigtime_t time = 0) const;
    // The bend's 14 bits as two data bytes, least significant first, as they
    // go on the wire.
    void SprayPitchBend(uchar channel, uchar lsb, uchar msb, bigtime_t time = 0) const;
    void SprayChannelPressure(uchar channel, uchar pressure, bigtime_t time = 0) const;
    void SprayProgramChange(uchar channel, uchar programNumber, bigtime_t time = 0) const;

    virtual void Connected(BMidiConsumer* consumer);
    virtual void Disconnected(BMidiConsumer* consumer);

protected:
    ~BMidiLocalProducer() override = default;

private:
    void ConnectionChanged(BMidiConsumer* consumer, bool connected) final;
    // A two-byte message (channel pressure, program change) leaves `data2`
    // out.
    void Spray(uchar status, uchar channel, uchar data1, uchar data2, bigtime_t time, size_t size = 3) const;

    mutable std::atomic<bool> fReportedRefusal{false};
};
