#include "platform/midi/MidiLocalConsumer.h"

#include "platform/midi/MidiKit.h"

BMidiLocalConsumer::BMidiLocalConsumer(const char* name)
    : BMidiConsumer(name, MidiKit::NewEndpointId(), true)
{
}

void BMidiLocalConsumer::ControlChange(uchar, uchar, uchar, bigtime_t) {}

void BMidiLocalConsumer::NoteOn(uchar, uchar, uchar, bigtime_t) {}

void BMidiLocalConsumer::NoteOff(uchar, uchar, uchar, bigtime_t) {}

void BMidiLocalConsumer::PitchBend(uchar, uchar, uchar, bigtime_t) {}

void BMidiLocalConsumer::ChannelPressure(uchar, uchar, bigtime_t) {}

void BMidiLocalConsumer::ProgramChange(uchar, uchar, bigtime_t) {}

void BMidiLocalConsumer::Receive(const uint8* bytes, size_t size, bigtime_t time)
{
    if (size < 2)
        return;
    const uchar channel = bytes[0] & 0x0F;
    if ((bytes[0] & 0xF0) == 0xD0 || (bytes[0] & 0xF0) == 0xC0) {
        if (size != 2)
            return;
        if ((bytes[0] & 0xF0) == 0xD0)
            ChannelPressure(channel, bytes[1], time);
        else
            ProgramChange(channel, bytes[1], time);
        return;
    }
    if (size != 3)
        return;
    switch (bytes[0] & 0xF0) {
    case 0x80:
        NoteOff(channel, bytes[1], bytes[2], time);
        break;
    case 0x90:
        NoteOn(channel, bytes[1], bytes[2], time);
        break;
    case 0xB0:
        ControlChange(channel, bytes[1], bytes[2], time);
        break;
    case 0xE0:
        PitchBend(channel, bytes[1], bytes[2], time);
        break;
    default:
        break;
    }
}
