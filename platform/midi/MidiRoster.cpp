#include "platform/midi/MidiRoster.h"

#include "platform/midi/MidiKit.h"
#include "platform/midi/MidiLocalProducer.h"

BMidiRoster* BMidiRoster::MidiRoster()
{
    static BMidiRoster roster;
    return MidiKit::Get().Service() ? &roster : nullptr;
}

BMidiEndpoint* BMidiRoster::NextEndpoint(int32* id)
{
    return id ? MidiKit::Get().Next(id, MidiKit::Kind::kAny) : nullptr;
}

BMidiProducer* BMidiRoster::NextProducer(int32* id)
{
    return id ? static_cast<BMidiProducer*>(MidiKit::Get().Next(id, MidiKit::Kind::kProducer))
              : nullptr;
}

BMidiConsumer* BMidiRoster::NextConsumer(int32* id)
{
    return id ? static_cast<BMidiConsumer*>(MidiKit::Get().Next(id, MidiKit::Kind::kConsumer))
              : nullptr;
}

BMidiEndpoint* BMidiRoster::FindEndpoint(int32 id, bool localOnly)
{
    return MidiKit::Get().Find(id, localOnly, MidiKit::Kind::kAny);
}

BMidiConsumer* BMidiRoster::FindConsumer(int32 id, bool localOnly)
{
    return static_cast<BMidiConsumer*>(MidiKit::Get().Find(id, localOnly, MidiKit::Kind::kConsumer));
}

BMidiProducer* BMidiRoster::FindProducer(int32 id, bool localOnly)
{
    return static_cast<BMidiProducer*>(MidiKit::Get().Find(id, localOnly, MidiKit::Kind::kProducer));
}

void BMidiRoster::SetClientName(const char* name)
{
    if (name != nullptr && *name != '\0')
        MidiKit::Get().SetClientName(name);
}

std::vector<std::string> BMidiRoster::KeptLinks(const BMidiLocalProducer* producer)
{
    MidiService* service = MidiKit::Get().Service();
    return service && producer ? service->KeptLinks(producer->ID()) : std::vector<std::string>();
}

void BMidiRoster::KeepLinks(const BMidiLocalProducer* producer, const std::vector<std::string>& consumers)
{
    if (MidiService* service = MidiKit::Get().Service(); service && producer)
        service->KeepLinks(producer->ID(), consumers);
}

std::string BMidiRoster::Trouble()
{
    MidiService* service = MidiKit::Get().Service();
    return service ? service->Trouble() : "no MIDI system (standard error says why)";
}
