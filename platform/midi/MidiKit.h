#pragma once

// MidiKit: the process-wide state behind the endpoint and roster classes: the
// chosen MIDI service, the registered local endpoints, the connections between
// local endpoints, and endpoint ids.
//
// The service is chosen once, on first use, from the environment variable
// ZIMBREL_MIDI (see ChooseMidiService), and the choice is announced as one
// line on standard error. Tests install a service of their own instead:
//
//     MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>());
//     ...
//     MidiKit::Get().Reset();   // after every endpoint has been released
//
// Thread rules: every operation may be called from any thread but a real-time
// one. Service calls are made without the kit's lock held, so a service's own
// callbacks never wait for the kit.

#include "platform/midi/MidiService.h"
#include "platform/support/SupportDefs.h"

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class BMidiConsumer;
class BMidiEndpoint;
class BMidiLocalConsumer;
class BMidiLocalProducer;
class BMidiProducer;

class MidiKit {
public:
    enum class Kind { kAny, kProducer, kConsumer };

    static MidiKit& Get();

    // The service, chosen on first use; nullptr when none is available.
    MidiService* Service();
    // Installs `service` in place of any choice, without announcing it. For
    // tests, while no endpoint is registered.
    void InstallService(std::unique_ptr<MidiService> service);
    // Forgets the service, so the next use chooses again. For tests, once
    // every endpoint has been released.
    void Reset();

    // Names the client other programs see ("Zimbrel" unless told): before
    // the service is chosen, the name it opens with; after, the client is
    // renamed and its links to other programs are dropped.
    void SetClientName(const std::string& name);

    // A fresh id: never 0, never handed out twice in the process's life.
    static int32 NewEndpointId();

    // What the endpoint and roster classes do; see their headers.
    status_t Release(BMidiEndpoint* endpoint);
    status_t Register(BMidiEndpoint* endpoint);
    status_t Unregister(BMidiEndpoint* endpoint);
    void Rename(BMidiEndpoint* endpoint, const char* name);
    status_t SetProperties(BMidiEndpoint* endpoint, const BMessage& properties);
    bool IsValid(const BMidiEndpoint& endpoint);

    status_t Connect(BMidiProducer* producer, BMidiConsumer* consumer);
    status_t Disconnect(BMidiProducer* producer, BMidiConsumer* consumer);
    bool IsConnected(const BMidiProducer* producer, const BMidiConsumer* consumer);
    void Spray(const BMidiLocalProducer& producer, const uint8* bytes, size_t size,
               bigtime_t time);
    // What another program sent to the registered local consumer
    // `consumerId`, from the service's receiving thread.
    void Deliver(int32 consumerId, const uint8* bytes, size_t size);

    BMidiEndpoint* Next(int32* id, Kind kind);
    BMidiEndpoint* Find(int32 id, bool localOnly, Kind kind);

private:
    MidiKit() = default;

    void Choose();
    // Hands a new reference to the registered local endpoint `id`, or nullptr.
    BMidiEndpoint* AcquireLocal(int32 id, Kind kind);
    // The other programs' consumer with the smallest id above `id`, read
    // from the snapshot that a walk from 0 takes.
    std::optional<MidiPortInfo> NextRemoteConsumer(MidiService& service, int32 id);
    // Takes an endpoint out of the roster; false when it was not in it.
    // Needs fLock.
    bool Unlist(BMidiEndpoint* endpoint);
    // Removes an unlisted producer's port from the service.
    void WithdrawFromService(const BMidiEndpoint& endpoint);
    bool RemoveLocalLink(int32 producerId, const BMidiConsumer* consumer);

    std::mutex fLock;
    std::unique_ptr<MidiService> fService;
    std::string fClientName = "Zimbrel";
    std::atomic<bool> fChosen{false};
    // Registered local endpoints by id.
    std::map<int32, BMidiEndpoint*> fLocals;
    // Connections from local producers (by id) to local consumers.
    std::vector<std::pair<int32, BMidiLocalConsumer*>> fLocalLinks;
    // Other programs' consumers in increasing id order, as listed when the
    // latest walk started; empty until one did.
    std::optional<std::vector<MidiPortInfo>> fConsumerSnapshot;
    // Lets a spray skip the lock when no local link exists at all.
    std::atomic<size_t> fLocalLinkCount{0};
};
