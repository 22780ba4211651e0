#include "platform/midi/MidiLocalProducer.h"

#include "platform/midi/MidiKit.h"

#include <cstdio>

namespace {

constexpr uchar kNoteOff = 0x80;
constexpr uchar kNoteOn = 0x90;
constexpr uchar kControlChange = 0xB0;
constexpr uchar kProgramChange = 0xC0;
constexpr uchar kChannelPressure = 0xD0;
constexpr uchar kPitchBend = 0xE0;

} // namespace

BMidiLocalProducer::BMidiLocalProducer(const char* name)
    : BMidiProducer(name, MidiKit::NewEndpointId())
{
}

void BMidiLocalProducer::SprayControlChange(uchar channel, uchar controlNumber,
                                            uchar controlValue, bigtime_t time) const
{
    Spray(kControlChange, channel, controlNumber, controlValue, time);
}

void BMidiLocalProducer::SprayNoteOn(uchar channel, uchar note, uchar velocity,
                                     bigtime_t time) const
{
    Spray(kNoteOn, channel, note, velocity, time);
}

void BMidiLocalProducer::SprayNoteOff(uchar channel, uchar note, uchar velocity,
                                      bigtime_t time) const
{
    Spray(kNoteOff, channel, note, velocity, time);
}

void BMidiLocalProducer::SprayPitchBend(uchar channel, uchar lsb, uchar msb, bigtime_t time) const
{
    Spray(kPitchBend, channel, lsb, msb, time);
}

void BMidiLocalProducer::SprayChannelPressure(uchar channel, uchar pressure, bigtime_t time) const
{
    Spray(kChannelPressure, channel, pressure, 0, time, 2);
}

void BMidiLocalProducer::SprayProgramChange(uchar channel, uchar programNumber, bigtime_t time) const
{
    Spray(kProgramChange, channel, programNumber, 0, time, 2);
}

void BMidiLocalProducer::Connected(BMidiConsumer*) {}

void BMidiLocalProducer::Disconnected(BMidiConsumer*) {}

void BMidiLocalProducer::ConnectionChanged(BMidiConsumer* consumer, bool connected)
{
    if (connected)
        Connected(consumer);
    else
        Disconnected(consumer);
}

void BMidiLocalProducer::Spray(uchar status, uchar channel, uchar data1, uchar data2,
                               bigtime_t time, size_t size) const
{
    if (channel > 15 || data1 > 127 || data2 > 127) {
        if (!fReportedRefusal.exchange(true)) {
            std::fprintf(stderr,
                         "cannot send MIDI message %02x from \"%s\": channel %u, data %u %u "
                         "out of range (channel 0..15, data 0..127); not sent\n",
                         status, Name(), channel, data1, data2);
        }
        return;
    }
    const uint8 bytes[3] = {uint8(status | channel), data1, data2};
    MidiKit::Get().Spray(*this, bytes, size, time);
}
