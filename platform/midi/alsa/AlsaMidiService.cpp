#include "platform/midi/alsa/AlsaMidiService.h"

#include "platform/midi/PortIdTable.h"
#include "platform/support/ThreadName.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <optional>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

constexpr int kPollTimeoutMs = 100;
// Fixed port numbers: the producer is always "Zimbrel:0" to aconnect and
// patchbays, whatever was created first.
constexpr int kOutputPortNumber = 0;
constexpr int kAnnouncePortNumber = 1;
constexpr int kInputPortNumber = 2;

// alsa-lib prints its own view of failures; each of ours is reported once,
// naming the operation, with snd_strerror's text.
void IgnoreAlsaLibError(const char*, int, const char*, int, const char*, ...) {}

// A channel message other programs sent, as bytes; nothing for any other
// event. A note on at velocity 0 stays one: it means a note off to whoever
// reads the bytes, as it does on the wire.
struct ChannelBytes {
    uint8 bytes[3];
    uint8 size;
};

std::optional<ChannelBytes> ChannelMessageOf(const snd_seq_event_t& event)
{
    const auto& note = event.data.note;
    const auto& control = event.data.control;
    const auto channelOf = [](unsigned channel) { return uint8(channel & 0x0F); };
    switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
        return ChannelBytes { { uint8(0x90 | channelOf(note.channel)), uint8(note.note & 0x7F), uint8(note.velocity & 0x7F) }, 3 };
    case SND_SEQ_EVENT_NOTEOFF:
        return ChannelBytes { { uint8(0x80 | channelOf(note.channel)), uint8(note.note & 0x7F), uint8(note.velocity & 0x7F) }, 3 };
    case SND_SEQ_EVENT_CONTROLLER:
        return ChannelBytes { { uint8(0xB0 | channelOf(control.channel)), uint8(control.param & 0x7F), uint8(control.value & 0x7F) }, 3 };
    case SND_SEQ_EVENT_PGMCHANGE:
        return ChannelBytes { { uint8(0xC0 | channelOf(control.channel)), uint8(control.value & 0x7F), 0 }, 2 };
    case SND_SEQ_EVENT_CHANPRESS:
        return ChannelBytes { { uint8(0xD0 | channelOf(control.channel)), uint8(control.value & 0x7F), 0 }, 2 };
    case SND_SEQ_EVENT_PITCHBEND: {
        const int bend = std::clamp(control.value + 8192, 0, 16383);
        return ChannelBytes { { uint8(0xE0 | channelOf(control.channel)), uint8(bend & 0x7F), uint8(bend >> 7) }, 3 };
    }
    default:
        return std::nullopt;
    }
}

// Port keys start with "client:port " so that a client's ports share a prefix.
std::string AddressPrefix(int client, int port)
{
    return std::to_string(client) + ":" + std::to_string(port) + " ";
}

std::string ClientPrefix(int client)
{
    return std::to_string(client) + ":";
}

// The port's number, or a negative error code.
int CreatePort(snd_seq_t* seq, int number, const char* name, unsigned capabilities, unsigned type)
{
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    snd_seq_port_info_set_port(info, number);
    snd_seq_port_info_set_port_specified(info, 1);
    snd_seq_port_info_set_name(info, name);
    snd_seq_port_info_set_capability(info, capabilities);
    snd_seq_port_info_set_type(info, type);
    snd_seq_port_info_set_midi_channels(info, 16);
    const int status = snd_seq_create_port(seq, info);
    return status < 0 ? status : number;
}

class AlsaMidiService final : public MidiService {
public:
    AlsaMidiService(snd_seq_t* seq, int client, std::string name)
        : fSeq(seq), fClient(client), fClientName(std::move(name))
    {
    }
    ~AlsaMidiService() override;

    // Follows System:Announce and starts the listening thread.
    bool Start(std::string* error);

    std::string Description() const override;
    std::vector<MidiPortInfo> Consumers() override;
    status_t PublishConsumer(int32 consumerId, const char* name, MidiReceiver receive) override;
    void WithdrawConsumer(int32 consumerId) override;
    status_t PublishProducer(int32 producerId, const char* name) override;
    void WithdrawProducer(int32 producerId) override;
    status_t RenameProducer(int32 producerId, const char* name) override;
    status_t PublishProperties(int32 producerId, const char* name,
                               const BMessage& properties) override;
    status_t Connect(int32 producerId, int32 consumerId) override;
    status_t Disconnect(int32 producerId, int32 consumerId) override;
    bool IsConnected(int32 producerId, int32 consumerId) override;
    void Send(int32 producerId, const uint8* bytes, size_t size) override;
    uint64 DroppedMessages() const override { return fDropped.load(); }
    void RenameClient(const char* name) override;
    std::vector<std::string> KeptLinks(int32 producerId) override;
    void KeepLinks(int32 producerId, const std::vector<std::string>& consumers) override;

private:
    void Listen();
    void Follow(const snd_seq_event_t& event);
    // Calls `visit` with the address and "client:port" name of every
    // consumer of other programs. Needs fLock.
    template <typename Visit> void VisitConsumers(Visit visit);
    // The names of the consumers our port is subscribed to. Needs fLock.
    std::vector<std::string> Subscribers();
    // Drops our port's subscriptions to consumers whose names `keep` lacks.
    // Needs fLock.
    void Unsubscribe(const std::vector<std::string>& keep);
    // Subscribes our port to each awaited consumer that exists now. Needs
    // fLock.
    void LinkAwaited();
    // The address a consumer id names; nothing when stale. Needs fLock.
    std::optional<snd_seq_addr_t> AddressOf(int32 consumerId) const;
    bool Publishes(int32 producerId) const { return producerId != 0 && producerId == fProducerId; }
    // Creates the port `number` of the published producer or consumer
    // (`kind`) into *port, which is -1 while there is none; a second one is
    // B_BUSY. Both say why on standard error. Need fLock.
    status_t CreateEndpointPort(int* port, int number, const char* name, const char* kind, unsigned capabilities);
    void DeleteEndpointPort(int* port);

    snd_seq_t* const fSeq;
    const int fClient;
    // alsa-lib handles are not thread-safe: every call on fSeq, and the
    // state below, is made with this held.
    mutable std::mutex fLock;
    int fOutputPort = -1;
    int32 fProducerId = 0;
    int fInputPort = -1;
    int32 fConsumerId = 0;
    MidiReceiver fReceive;
    PortIdTable fIds;
    std::string fClientName;
    // Consumers to be linked as soon as they appear.
    std::vector<std::string> fAwaited;
    std::atomic<uint64> fDropped{0};
    std::atomic<bool> fStop{false};
    std::thread fListener;
};

AlsaMidiService::~AlsaMidiService()
{
    fStop = true;
    if (fListener.joinable())
        fListener.join();
    snd_seq_close(fSeq);
}

bool AlsaMidiService::Start(std::string* error)
{
    const int port = CreatePort(fSeq, kAnnouncePortNumber, "Zimbrel announcements",
                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        *error = std::string("cannot create ALSA announcement port: ") + snd_strerror(port);
        return false;
    }
    const int status =
        snd_seq_connect_from(fSeq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    if (status < 0) {
        *error = std::string("cannot subscribe to System:Announce: ") + snd_strerror(status);
        return false;
    }
    fListener = std::thread(&AlsaMidiService::Listen, this);
    return true;
}

std::string AlsaMidiService::Description() const
{
    std::lock_guard lock(fLock);
    return "ALSA sequencer, client " + std::to_string(fClient) + " \"" + fClientName + "\"";
}

void AlsaMidiService::Listen()
{
    NameCurrentThread("alsa-watch");
    std::vector<pollfd> descriptors;
    {
        std::lock_guard lock(fLock);
        descriptors.resize(size_t(snd_seq_poll_descriptors_count(fSeq, POLLIN)));
        snd_seq_poll_descriptors(fSeq, descriptors.data(), unsigned(descriptors.size()), POLLIN);
    }
    std::vector<ChannelBytes> received;
    while (!fStop) {
        if (poll(descriptors.data(), descriptors.size(), kPollTimeoutMs) <= 0)
            continue;
        MidiReceiver receive;
        {
            std::lock_guard lock(fLock);
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input(fSeq, &event) >= 0 && event) {
                if (fInputPort < 0 || event->dest.port != fInputPort)
                    Follow(*event);
                else if (const auto message = ChannelMessageOf(*event))
                    received.push_back(*message);
            }
            receive = fReceive;
        }
        // Handed on without the lock, so that the receiver may use the
        // service, or withdraw the consumer.
        for (const ChannelBytes& message : received) {
            if (receive)
                receive(message.bytes, message.size);
        }
        received.clear();
    }
}

void AlsaMidiService::Follow(const snd_seq_event_t& event)
{
    switch (event.type) {
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_CHANGE:
        if (!fAwaited.empty())
            LinkAwaited();
        break;
    case SND_SEQ_EVENT_CLIENT_EXIT:
        fIds.RetireByPrefix(ClientPrefix(event.data.addr.client));
        break;
    case SND_SEQ_EVENT_PORT_EXIT:
        fIds.RetireByPrefix(AddressPrefix(event.data.addr.client, event.data.addr.port));
        break;
    default:
        break;
    }
}

template <typename Visit> void AlsaMidiService::VisitConsumers(Visit visit)
{
    constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    snd_seq_client_info_t* clientInfo;
    snd_seq_port_info_t* portInfo;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(fSeq, clientInfo) >= 0) {
        const int client = snd_seq_client_info_get_client(clientInfo);
        if (client == SND_SEQ_CLIENT_SYSTEM || client == fClient)
            continue;
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(fSeq, portInfo) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(portInfo);
            if ((caps & kWritable) != kWritable || (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
                continue;
            visit(*snd_seq_port_info_get_addr(portInfo),
                std::string(snd_seq_client_info_get_name(clientInfo)) + ":" + snd_seq_port_info_get_name(portInfo));
        }
    }
}

std::vector<MidiPortInfo> AlsaMidiService::Consumers()
{
    std::vector<MidiPortInfo> consumers;
    std::vector<std::string> present;
    std::lock_guard lock(fLock);
    VisitConsumers([&](const snd_seq_addr_t& address, const std::string& name) {
        const std::string key = AddressPrefix(address.client, address.port) + name;
        present.push_back(key);
        consumers.push_back({fIds.Track(key, name), name});
    });
    fIds.RetireAllBut(present);
    std::sort(consumers.begin(), consumers.end(),
              [](const MidiPortInfo& a, const MidiPortInfo& b) { return a.id < b.id; });
    return consumers;
}

std::vector<std::string> AlsaMidiService::Subscribers()
{
    std::vector<std::string> names;
    if (fOutputPort < 0)
        return names;
    VisitConsumers([&](const snd_seq_addr_t& address, const std::string& name) {
        snd_seq_port_subscribe_t* subscription;
        snd_seq_port_subscribe_alloca(&subscription);
        const snd_seq_addr_t sender{uchar(fClient), uchar(fOutputPort)};
        snd_seq_port_subscribe_set_sender(subscription, &sender);
        snd_seq_port_subscribe_set_dest(subscription, &address);
        if (snd_seq_get_port_subscription(fSeq, subscription) == 0)
            names.push_back(name);
    });
    return names;
}

void AlsaMidiService::Unsubscribe(const std::vector<std::string>& keep)
{
    if (fOutputPort < 0)
        return;
    VisitConsumers([&](const snd_seq_addr_t& address, const std::string& name) {
        if (std::find(keep.begin(), keep.end(), name) == keep.end())
            snd_seq_disconnect_to(fSeq, fOutputPort, address.client, address.port);
    });
}

void AlsaMidiService::LinkAwaited()
{
    if (fOutputPort < 0)
        return;
    VisitConsumers([&](const snd_seq_addr_t& address, const std::string& name) {
        const auto awaited = std::find(fAwaited.begin(), fAwaited.end(), name);
        if (awaited == fAwaited.end())
            return;
        const int status = snd_seq_connect_to(fSeq, fOutputPort, address.client, address.port);
        if (status >= 0 || status == -EBUSY)
            fAwaited.erase(awaited);
    });
}

void AlsaMidiService::RenameClient(const char* name)
{
    std::lock_guard lock(fLock);
    const int status = snd_seq_set_client_name(fSeq, name);
    if (status < 0) {
        std::fprintf(stderr, "cannot rename ALSA client to \"%s\": %s\n", name, snd_strerror(status));
        return;
    }
    fClientName = name;
    fAwaited.clear();
    Unsubscribe({});
}

std::vector<std::string> AlsaMidiService::KeptLinks(int32 producerId)
{
    std::lock_guard lock(fLock);
    if (!Publishes(producerId))
        return {};
    std::vector<std::string> names = Subscribers();
    names.insert(names.end(), fAwaited.begin(), fAwaited.end());
    return names;
}

void AlsaMidiService::KeepLinks(int32 producerId, const std::vector<std::string>& consumers)
{
    std::lock_guard lock(fLock);
    if (!Publishes(producerId))
        return;
    Unsubscribe(consumers);
    fAwaited = consumers;
    LinkAwaited();
}

std::optional<snd_seq_addr_t> AlsaMidiService::AddressOf(int32 consumerId) const
{
    const PortIdTable::Port* port = fIds.Find(consumerId);
    int client = 0;
    int portNumber = 0;
    if (port == nullptr || std::sscanf(port->key.c_str(), "%d:%d", &client, &portNumber) != 2)
        return std::nullopt;
    snd_seq_addr_t address;
    address.client = uchar(client);
    address.port = uchar(portNumber);
    return address;
}

status_t AlsaMidiService::CreateEndpointPort(
    int* port, int number, const char* name, const char* kind, unsigned capabilities)
{
    if (*port >= 0) {
        std::fprintf(stderr, "cannot create ALSA port \"%s\": the ALSA service carries one "
                             "%s and another one is registered\n", name, kind);
        return B_BUSY;
    }
    const int created = CreatePort(
        fSeq, number, name, capabilities, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (created < 0) {
        std::fprintf(stderr, "cannot create ALSA port \"%s\": %s\n", name, snd_strerror(created));
        return B_ERROR;
    }
    *port = created;
    return B_OK;
}

void AlsaMidiService::DeleteEndpointPort(int* port)
{
    const int status = snd_seq_delete_port(fSeq, *port);
    if (status < 0)
        std::fprintf(stderr, "cannot delete ALSA port: %s\n", snd_strerror(status));
    *port = -1;
}

status_t AlsaMidiService::PublishConsumer(int32 consumerId, const char* name, MidiReceiver receive)
{
    std::lock_guard lock(fLock);
    const status_t status = CreateEndpointPort(&fInputPort, kInputPortNumber, name && *name ? name : "input",
        "consumer", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    if (status != B_OK)
        return status;
    fConsumerId = consumerId;
    fReceive = std::move(receive);
    return B_OK;
}

void AlsaMidiService::WithdrawConsumer(int32 consumerId)
{
    std::lock_guard lock(fLock);
    if (consumerId == 0 || consumerId != fConsumerId)
        return;
    DeleteEndpointPort(&fInputPort);
    fConsumerId = 0;
    fReceive = nullptr;
}

status_t AlsaMidiService::PublishProducer(int32 producerId, const char* name)
{
    std::lock_guard lock(fLock);
    const status_t status = CreateEndpointPort(&fOutputPort, kOutputPortNumber, name && *name ? name : "output",
        "producer", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
    if (status != B_OK)
        return status;
    fProducerId = producerId;
    return B_OK;
}

void AlsaMidiService::WithdrawProducer(int32 producerId)
{
    std::lock_guard lock(fLock);
    if (!Publishes(producerId))
        return;
    DeleteEndpointPort(&fOutputPort);
    fProducerId = 0;
}

status_t AlsaMidiService::RenameProducer(int32 producerId, const char* name)
{
    std::lock_guard lock(fLock);
    if (!Publishes(producerId) || name == nullptr || *name == '\0')
        return B_BAD_VALUE;
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    int status = snd_seq_get_port_info(fSeq, fOutputPort, info);
    if (status >= 0) {
        snd_seq_port_info_set_name(info, name);
        status = snd_seq_set_port_info(fSeq, fOutputPort, info);
    }
    if (status < 0) {
        std::fprintf(stderr, "cannot rename ALSA port to \"%s\": %s\n", name, snd_strerror(status));
        return B_ERROR;
    }
    return B_OK;
}

status_t AlsaMidiService::PublishProperties(int32, const char*, const BMessage&)
{
    return B_OK;
}

status_t AlsaMidiService::Connect(int32 producerId, int32 consumerId)
{
    std::lock_guard lock(fLock);
    const auto address = AddressOf(consumerId);
    if (!Publishes(producerId) || !address) {
        std::fprintf(stderr, "cannot subscribe port: MIDI consumer %d no longer exists\n",
                     int(consumerId));
        return B_BAD_VALUE;
    }
    const int status = snd_seq_connect_to(fSeq, fOutputPort, address->client, address->port);
    // -EBUSY: the subscription exists already, which is what was asked for.
    if (status < 0 && status != -EBUSY) {
        std::fprintf(stderr, "cannot subscribe port %d:%d: %s\n", address->client, address->port,
                     snd_strerror(status));
        return B_ERROR;
    }
    return B_OK;
}

status_t AlsaMidiService::Disconnect(int32 producerId, int32 consumerId)
{
    std::lock_guard lock(fLock);
    const auto address = AddressOf(consumerId);
    if (!Publishes(producerId) || !address) {
        std::fprintf(stderr, "cannot unsubscribe port: MIDI consumer %d no longer exists\n",
                     int(consumerId));
        return B_BAD_VALUE;
    }
    const int status = snd_seq_disconnect_to(fSeq, fOutputPort, address->client, address->port);
    if (status < 0) {
        std::fprintf(stderr, "cannot unsubscribe port %d:%d: %s\n", address->client,
                     address->port, snd_strerror(status));
        return B_ERROR;
    }
    return B_OK;
}

bool AlsaMidiService::IsConnected(int32 producerId, int32 consumerId)
{
    std::lock_guard lock(fLock);
    const auto address = AddressOf(consumerId);
    if (!Publishes(producerId) || !address)
        return false;
    snd_seq_port_subscribe_t* subscription;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_addr_t sender;
    sender.client = uchar(fClient);
    sender.port = uchar(fOutputPort);
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &*address);
    return snd_seq_get_port_subscription(fSeq, subscription) == 0;
}

void AlsaMidiService::Send(int32 producerId, const uint8* bytes, size_t size)
{
    std::lock_guard lock(fLock);
    const bool twoBytes = size == 2 && ((bytes[0] & 0xF0) == 0xD0 || (bytes[0] & 0xF0) == 0xC0);
    if (!Publishes(producerId) || (size != 3 && !twoBytes)) {
        fDropped.fetch_add(1);
        return;
    }
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, fOutputPort);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    const int channel = bytes[0] & 0x0F;
    switch (bytes[0] & 0xF0) {
    case 0x80:
        snd_seq_ev_set_noteoff(&event, channel, bytes[1], bytes[2]);
        break;
    case 0x90:
        snd_seq_ev_set_noteon(&event, channel, bytes[1], bytes[2]);
        break;
    case 0xB0:
        snd_seq_ev_set_controller(&event, channel, bytes[1], bytes[2]);
        break;
    case 0xC0:
        snd_seq_ev_set_pgmchange(&event, channel, bytes[1]);
        break;
    case 0xD0:
        snd_seq_ev_set_chanpress(&event, channel, bytes[1]);
        break;
    case 0xE0:
        // The sequencer carries a bend as a signed value around the centre.
        snd_seq_ev_set_pitchbend(&event, channel, ((bytes[2] << 7) | bytes[1]) - 8192);
        break;
    default:
        fDropped.fetch_add(1);
        return;
    }
    // Non-blocking: when the kernel's pool is full the message is dropped.
    if (snd_seq_event_output_direct(fSeq, &event) < 0)
        fDropped.fetch_add(1);
}

} // namespace

std::unique_ptr<MidiService> OpenAlsaMidiService(const std::string& clientName, std::string* error)
{
    snd_lib_error_set_handler(IgnoreAlsaLibError);
    snd_seq_t* seq = nullptr;
    const int status = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (status < 0) {
        *error = std::string("cannot open ALSA sequencer: ") + snd_strerror(status);
        return nullptr;
    }
    snd_seq_set_client_name(seq, clientName.c_str());
    auto service = std::make_unique<AlsaMidiService>(seq, snd_seq_client_id(seq), clientName);
    if (!service->Start(error))
        return nullptr;
    return service;
}
