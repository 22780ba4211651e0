#include "midi/zbRemote.h"

#include "midi/Footswitch.h"
#include "platform/app/Message.h"

zbRemote::zbRemote(BMessenger target)
    : BMidiLocalConsumer("Zimbrel in")
    , target(target)
{
    Register();
}

void zbRemote::ControlChange(uchar channel, uchar controlNumber, uchar controlValue, bigtime_t)
{
    Tell(int32(ReceivedKind::ControlChange), channel, controlNumber, controlValue);
}

void zbRemote::NoteOn(uchar channel, uchar note, uchar velocity, bigtime_t)
{
    Tell(int32(ReceivedKind::NoteOn), channel, note, velocity);
}

void zbRemote::NoteOff(uchar channel, uchar note, uchar velocity, bigtime_t)
{
    Tell(int32(ReceivedKind::NoteOff), channel, note, velocity);
}

void zbRemote::ProgramChange(uchar channel, uchar programNumber, bigtime_t)
{
    Tell(int32(ReceivedKind::ProgramChange), channel, programNumber, 0);
}

void zbRemote::Tell(int32 kind, uchar channel, uchar number, uchar value)
{
    BMessage received(kMidiReceived);
    received.AddInt32("kind", kind);
    received.AddInt32("channel", channel);
    received.AddInt32("number", number);
    received.AddInt32("value", value);
    target.SendMessage(&received);
}
