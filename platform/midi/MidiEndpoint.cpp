#include "platform/midi/MidiEndpoint.h"

#include "platform/midi/MidiKit.h"

BMidiEndpoint::BMidiEndpoint(const char* name, int32 id, bool isProducer, bool isLocal)
    : fName(name ? name : ""), fId(id), fIsProducer(isProducer), fIsLocal(isLocal)
{
}

void BMidiEndpoint::SetName(const char* name)
{
    MidiKit::Get().Rename(this, name);
}

bool BMidiEndpoint::IsValid() const
{
    return MidiKit::Get().IsValid(*this);
}

status_t BMidiEndpoint::Acquire()
{
    fReferences.fetch_add(1);
    return B_OK;
}

status_t BMidiEndpoint::Release()
{
    return MidiKit::Get().Release(this);
}

status_t BMidiEndpoint::Register()
{
    return MidiKit::Get().Register(this);
}

status_t BMidiEndpoint::Unregister()
{
    return MidiKit::Get().Unregister(this);
}

status_t BMidiEndpoint::GetProperties(BMessage* properties) const
{
    if (properties == nullptr)
        return B_BAD_VALUE;
    *properties = fProperties;
    return B_OK;
}

status_t BMidiEndpoint::SetProperties(const BMessage* properties)
{
    if (properties == nullptr)
        return B_BAD_VALUE;
    return MidiKit::Get().SetProperties(this, *properties);
}
