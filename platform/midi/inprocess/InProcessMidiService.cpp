#include "platform/midi/inprocess/InProcessMidiService.h"

// Every consumer this service could offer is local, and the kit connects and
// feeds local consumers itself: what reaches the service has nowhere to go.

std::string InProcessMidiService::Description() const
{
    return "in-process, for tests: no other program sees the producer";
}

std::vector<MidiPortInfo> InProcessMidiService::Consumers()
{
    return {};
}

status_t InProcessMidiService::PublishProducer(int32, const char*)
{
    return B_OK;
}

void InProcessMidiService::WithdrawProducer(int32) {}

status_t InProcessMidiService::RenameProducer(int32, const char*)
{
    return B_OK;
}

status_t InProcessMidiService::PublishProperties(int32, const char*, const BMessage&)
{
    return B_OK;
}

status_t InProcessMidiService::Connect(int32, int32)
{
    return B_BAD_VALUE;
}

status_t InProcessMidiService::Disconnect(int32, int32)
{
    return B_BAD_VALUE;
}

bool InProcessMidiService::IsConnected(int32, int32)
{
    return false;
}

void InProcessMidiService::Send(int32, const uint8*, size_t) {}

uint64 InProcessMidiService::DroppedMessages() const
{
    return 0;
}
