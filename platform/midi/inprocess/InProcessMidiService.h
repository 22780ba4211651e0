#pragma once

// InProcessMidiService: a MIDI service whose world ends at the process. Local
// producers and consumers find and reach each other through the kit; nothing
// is published and no other program's consumer is listed. For tests (and
// ZIMBREL_MIDI=inprocess); the product never falls back to it.
//
// Thread rules: stateless, any thread.

#include "platform/midi/MidiService.h"

class InProcessMidiService final : public MidiService {
public:
    std::string Description() const override;
    std::vector<MidiPortInfo> Consumers() override;
    status_t PublishProducer(int32 producerId, const char* name) override;
    void WithdrawProducer(int32 producerId) override;
    status_t RenameProducer(int32 producerId, const char* name) override;
    status_t PublishProperties(int32 producerId, const char* name,
                               const BMessage& properties) override;
    status_t Connect(int32 producerId, int32 consumerId) override;
    status_t Disconnect(int32 producerId, int32 consumerId) override;
    bool IsConnected(int32 producerId, int32 consumerId) override;
    void Send(int32 producerId, const uint8* bytes, size_t size) override;
    uint64 DroppedMessages() const override;
};
