#include "midi/myMidi.h"

myMidi::myMidi() : BMidiLocalProducer(nullptr)
{
    SetName("Zimbrel");
    Register();
}

void myMidi::Control(uchar channel, uchar controller, uchar value)
{
    const bool repeat = hasLast && channel == lastChannel && controller == lastController && value == lastValue;
    if (!repeat) {
        SprayControlChange(channel, controller, value, 0);
        ++sentCount;
    }
    lastChannel = channel;
    lastController = controller;
    lastValue = value;
    hasLast = true;
}

void myMidi::Note(uchar channel, uchar note, uchar velocity)
{
    SprayNoteOn(channel, note, velocity, 0);
}

void myMidi::Noteoff(uchar channel, uchar note, uchar velocity)
{
    SprayNoteOff(channel, note, velocity, 0);
}
