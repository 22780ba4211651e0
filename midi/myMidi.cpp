#include "midi/myMidi.h"

namespace {

constexpr uchar kControlChange = 0xB0;
constexpr uchar kChannelPressure = 0xD0;
constexpr uchar kPitchBend = 0xE0;

} // namespace

myMidi::myMidi() : BMidiLocalProducer(nullptr)
{
    SetName("Zimbrel");
    Register();
}

bool myMidi::Repeats(uchar status, uchar data1, uchar data2)
{
    const bool repeat = hasLast && status == lastStatus && data1 == lastData1 && data2 == lastData2;
    lastStatus = status;
    lastData1 = data1;
    lastData2 = data2;
    hasLast = true;
    if (!repeat)
        ++sentCount;
    return repeat;
}

void myMidi::Control(uchar channel, uchar controller, uchar value)
{
    if (!Repeats(uchar(kControlChange | channel), controller, value))
        SprayControlChange(channel, controller, value, 0);
}

void myMidi::PitchBend(uchar channel, uchar lsb, uchar msb)
{
    if (!Repeats(uchar(kPitchBend | channel), lsb, msb))
        SprayPitchBend(channel, lsb, msb, 0);
}

void myMidi::ChannelPressure(uchar channel, uchar pressure)
{
    if (!Repeats(uchar(kChannelPressure | channel), pressure, 0))
        SprayChannelPressure(channel, pressure, 0);
}

void myMidi::Note(uchar channel, uchar note, uchar velocity)
{
    SprayNoteOn(channel, note, velocity, 0);
}

void myMidi::Noteoff(uchar channel, uchar note, uchar velocity)
{
    SprayNoteOff(channel, note, velocity, 0);
}
