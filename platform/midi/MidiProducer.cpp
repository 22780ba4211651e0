#include "platform/midi/MidiProducer.h"

#include "platform/midi/MidiKit.h"

BMidiProducer::BMidiProducer(const char* name, int32 id) : BMidiEndpoint(name, id, true, true) {}

status_t BMidiProducer::Connect(BMidiConsumer* consumer)
{
    return MidiKit::Get().Connect(this, consumer);
}

status_t BMidiProducer::Disconnect(BMidiConsumer* consumer)
{
    return MidiKit::Get().Disconnect(this, consumer);
}

bool BMidiProducer::IsConnected(BMidiConsumer* consumer) const
{
    return MidiKit::Get().IsConnected(this, consumer);
}
