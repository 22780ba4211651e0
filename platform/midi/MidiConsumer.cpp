#include "platform/midi/MidiConsumer.h"

BMidiConsumer::BMidiConsumer(const char* name, int32 id, bool isLocal)
    : BMidiEndpoint(name, id, false, isLocal)
{
}
