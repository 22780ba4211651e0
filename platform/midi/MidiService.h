#pragma once

// MidiService: the world outside the process, as the MIDI kit sees it. One
// service is chosen per process (see MidiKit); it publishes the process's
// producer as a port other programs can see, lists the consumers other
// programs offer, connects the producer to them and sends to them.
//
// Local endpoints, their ids and connections between local endpoints are the
// kit's own business and never reach a service.
//
// Thread rules: every operation may be called from any thread except a real-time
// audio thread; implementations guard their own state.

#include "platform/app/Message.h"
#include "platform/support/SupportDefs.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A consumer offered by another program: its kit id and a name a person
// recognises, "client:port".
struct MidiPortInfo {
    int32 id = 0;
    std::string name;
};

// Takes what other programs send to a published consumer: one complete
// channel message of 1 to 3 bytes at a time, on a thread of the service's
// own (never a real-time one), so it may lock and allocate.
using MidiReceiver = std::function<void(const uint8* bytes, size_t size)>;

class MidiService {
public:
    virtual ~MidiService() = default;

    // Names the service in diagnostics, e.g. JACK client "Zimbrel".
    virtual std::string Description() const = 0;

    // Consumers of other programs, in increasing id order. Listing also
    // forgets the ids of ports that have gone.
    virtual std::vector<MidiPortInfo> Consumers() = 0;

    // Makes the local producer `producerId` a port that other programs see,
    // named `name`. Outside services carry one producer at a time and answer
    // B_BUSY for a second.
    virtual status_t PublishProducer(int32 producerId, const char* name) = 0;
    // Removes the producer's port, and with it its connections.
    virtual void WithdrawProducer(int32 producerId) = 0;
    virtual status_t RenameProducer(int32 producerId, const char* name) = 0;
    // Shows the endpoint's name and icons to other programs where the
    // service has a way to.
    virtual status_t PublishProperties(int32 producerId, const char* name,
                                       const BMessage& properties) = 0;

    // Makes the local consumer `consumerId` a port that other programs can
    // send to, named `name`; what arrives goes to `receive`, which may still
    // be called a moment after the consumer is withdrawn. Outside services
    // carry one consumer at a time and answer B_BUSY for a second; a service
    // no other program reaches has nothing to publish.
    virtual status_t PublishConsumer(int32 /*consumerId*/, const char* /*name*/, MidiReceiver /*receive*/)
    {
        return B_OK;
    }
    // Removes the consumer's port; never waits for a receive in progress.
    virtual void WithdrawConsumer(int32 /*consumerId*/) {}

    // Connections between a published producer and a consumer of another
    // program, in the real graph: links made by other tools count too.
    virtual status_t Connect(int32 producerId, int32 consumerId) = 0;
    virtual status_t Disconnect(int32 producerId, int32 consumerId) = 0;
    virtual bool IsConnected(int32 producerId, int32 consumerId) = 0;

    // Sends one complete channel message of 1 to 3 bytes at once to every
    // consumer the producer is connected to. Never blocks for long; what
    // cannot be sent is dropped and counted.
    virtual void Send(int32 producerId, const uint8* bytes, size_t size) = 0;
    // Messages dropped so far because the way out was full or closed.
    virtual uint64 DroppedMessages() const = 0;

    // Why what is sent reaches no one, in a few words for the window (the
    // server went away and is waited for, say); empty while output works.
    virtual std::string Trouble() const { return {}; }

    // What a session manager needs beyond that; the in-process service has
    // no client other programs see, so by default there is nothing to do.
    //
    // Gives the program's client another name (a session manager names
    // each program it starts). The links of the old name are dropped; the
    // call does not wait for the server.
    virtual void RenameClient(const char* /*name*/) {}
    // The full names of the consumers the producer is linked to, whoever
    // linked them, and of those it is still to be linked to as they appear.
    virtual std::vector<std::string> KeptLinks(int32 /*producerId*/) { return {}; }
    // Links the producer to exactly the named consumers: a link to any
    // other is broken, and each named one is linked as soon as it exists.
    virtual void KeepLinks(int32 /*producerId*/, const std::vector<std::string>& /*consumers*/) {}
};
