#include "platform/midi/jack/JackMidiService.h"

#include "platform/midi/IconPng.h"
#include "platform/midi/PortIdTable.h"

#include <jack/jack.h>
#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <jack/uuid.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <type_traits>

namespace {

constexpr const char* kClientName = "Zimbrel";
constexpr size_t kRingRecords = 4096;

// One message on its way to the process callback.
struct Record {
    jack_time_t sentAt;
    uint8 bytes[3];
    uint8 size;
};
static_assert(std::is_trivially_copyable_v<Record>);

// libjack reports through a process-wide function. While a thread of ours is
// inside a JACK request, what the library says is collected so that our own
// error line can carry it; anything else goes to standard error as is.
thread_local std::string* tCollectedJackText = nullptr;

void HandleJackError(const char* text)
{
    if (tCollectedJackText) {
        if (!tCollectedJackText->empty())
            *tCollectedJackText += "; ";
        *tCollectedJackText += text;
    } else {
        std::fprintf(stderr, "JACK: %s\n", text);
    }
}

void IgnoreJackInfo(const char*) {}

class CollectJackText {
public:
    CollectJackText() { tCollectedJackText = &fText; }
    ~CollectJackText() { tCollectedJackText = nullptr; }
    CollectJackText(const CollectJackText&) = delete;
    CollectJackText& operator=(const CollectJackText&) = delete;

    // What the library said, or `fallback` when it said nothing.
    std::string Or(const char* fallback) const { return fText.empty() ? fallback : fText; }

private:
    std::string fText;
};

std::string DescribeOpenFailure(jack_status_t status)
{
    if (status & JackServerFailed)
        return "no JACK server is running (Zimbrel does not start one)";
    if (status & JackVersionError)
        return "the JACK server speaks another protocol version";
    if (status & JackShmFailure)
        return "cannot reach JACK's shared memory";
    if (status & JackServerError)
        return "the JACK server answered with an error";
    char text[64];
    std::snprintf(text, sizeof text, "JACK status 0x%x", unsigned(status));
    return text;
}

class JackMidiService final : public MidiService {
public:
    JackMidiService(jack_client_t* client, jack_ringbuffer_t* ring) : fClient(client), fRing(ring) {}
    ~JackMidiService() override;

    // Installs the callbacks and starts processing.
    bool Activate(std::string* error);

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
    uint64 DroppedMessages() const override { return fDropped.load(); }

private:
    static int Process(jack_nframes_t frames, void* self);
    static void ShutDown(jack_status_t code, const char* reason, void* self);
    static void PortRegistered(jack_port_id_t port, int registered, void* self);

    // The published port, when `producerId` names its producer and the
    // server still runs.
    jack_port_t* OutputOf(int32 producerId) const;
    // The full name of a listed consumer; empty when the id is stale.
    std::string ConsumerName(int32 consumerId);
    // Returns once the process callback can no longer be using a port that
    // was just taken out of fOutput.
    void WaitForProcessCycles() const;
    status_t SetMetadata(jack_uuid_t subject, const char* key, const std::string& value,
                         const char* type);

    jack_client_t* const fClient;
    jack_ringbuffer_t* const fRing;
    std::atomic<jack_port_t*> fOutput{nullptr};
    std::atomic<int32> fProducerId{0};
    std::atomic<bool> fServerGone{false};
    std::atomic<uint64> fDropped{0};
    std::atomic<uint64> fCycles{0};
    // The ring takes one writer at a time.
    std::mutex fSendLock;
    // Guards fIds, which JACK's notification thread also changes.
    std::mutex fPortLock;
    PortIdTable fIds;
};

JackMidiService::~JackMidiService()
{
    // After a shutdown the handle still holds memory; closing frees it
    // without talking to the gone server.
    jack_client_close(fClient);
    jack_ringbuffer_free(fRing);
}

bool JackMidiService::Activate(std::string* error)
{
    jack_set_process_callback(fClient, Process, this);
    jack_on_info_shutdown(fClient, ShutDown, this);
    jack_set_port_registration_callback(fClient, PortRegistered, this);
    CollectJackText collected;
    if (jack_activate(fClient) != 0) {
        *error = "cannot activate JACK client: " + collected.Or("the server refused");
        return false;
    }
    return true;
}

std::string JackMidiService::Description() const
{
    return std::string("JACK, client \"") + jack_get_client_name(fClient) + "\"";
}

int JackMidiService::Process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<JackMidiService*>(arg);
    jack_port_t* port = self->fOutput.load(std::memory_order_acquire);
    void* buffer = port ? jack_port_get_buffer(port, frames) : nullptr;
    if (buffer)
        jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(self->fClient);
    jack_nframes_t offset = 0;
    Record record;
    while (jack_ringbuffer_read_space(self->fRing) >= sizeof record) {
        jack_ringbuffer_read(self->fRing, reinterpret_cast<char*>(&record), sizeof record);
        if (buffer == nullptr) {
            self->fDropped.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        // Frames from this cycle's start to the moment of sending: negative
        // for messages sent during an earlier cycle, which go out first thing.
        const auto sentAt = int64(int32(jack_time_to_frames(self->fClient, record.sentAt) - cycleStart));
        offset = jack_nframes_t(std::clamp<int64>(sentAt, offset, int64(frames) - 1));
        if (jack_midi_event_write(buffer, offset, record.bytes, record.size) != 0)
            self->fDropped.fetch_add(1, std::memory_order_relaxed);
    }
    self->fCycles.fetch_add(1, std::memory_order_release);
    return 0;
}

void JackMidiService::ShutDown(jack_status_t, const char* reason, void* arg)
{
    auto* self = static_cast<JackMidiService*>(arg);
    self->fServerGone = true;
    std::fprintf(stderr, "JACK server shut down (%s): MIDI output stopped\n",
                 reason && *reason ? reason : "no reason given");
}

void JackMidiService::PortRegistered(jack_port_id_t id, int registered, void* arg)
{
    if (registered)
        return;
    // Forget a vanished port at once, so that its id can never reach a port
    // registered later under the same name.
    auto* self = static_cast<JackMidiService*>(arg);
    if (jack_port_t* port = jack_port_by_id(self->fClient, id)) {
        std::lock_guard lock(self->fPortLock);
        self->fIds.Retire(jack_port_name(port));
    }
}

jack_port_t* JackMidiService::OutputOf(int32 producerId) const
{
    if (producerId == 0 || producerId != fProducerId.load() || fServerGone)
        return nullptr;
    return fOutput.load();
}

std::vector<MidiPortInfo> JackMidiService::Consumers()
{
    std::vector<MidiPortInfo> consumers;
    if (fServerGone)
        return consumers;
    const char** names = jack_get_ports(fClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    std::vector<std::string> present;
    std::lock_guard lock(fPortLock);
    for (size_t i = 0; names && names[i]; ++i) {
        jack_port_t* port = jack_port_by_name(fClient, names[i]);
        if (port == nullptr || jack_port_is_mine(fClient, port))
            continue;
        present.emplace_back(names[i]);
        consumers.push_back({fIds.Track(names[i], names[i]), names[i]});
    }
    jack_free(names);
    fIds.RetireAllBut(present);
    std::sort(consumers.begin(), consumers.end(),
              [](const MidiPortInfo& a, const MidiPortInfo& b) { return a.id < b.id; });
    return consumers;
}

std::string JackMidiService::ConsumerName(int32 consumerId)
{
    std::lock_guard lock(fPortLock);
    const PortIdTable::Port* port = fIds.Find(consumerId);
    return port ? port->key : std::string();
}

status_t JackMidiService::PublishProducer(int32 producerId, const char* name)
{
    const char* portName = name && *name ? name : "output";
    if (fServerGone) {
        std::fprintf(stderr, "cannot register JACK port \"%s\": the JACK server has shut down\n",
                     portName);
        return B_NO_INIT;
    }
    if (fOutput.load()) {
        std::fprintf(stderr, "cannot register JACK port \"%s\": the JACK service carries one "
                             "producer and another one is registered\n", portName);
        return B_BUSY;
    }
    CollectJackText collected;
    jack_port_t* port =
        jack_port_register(fClient, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port == nullptr) {
        std::fprintf(stderr, "cannot register JACK port \"%s\": %s\n", portName,
                     collected.Or("the server refused it").c_str());
        return B_ERROR;
    }
    fProducerId = producerId;
    fOutput.store(port, std::memory_order_release);
    return B_OK;
}

void JackMidiService::WithdrawProducer(int32 producerId)
{
    if (producerId == 0 || producerId != fProducerId.load())
        return;
    fProducerId = 0;
    jack_port_t* port = fOutput.exchange(nullptr, std::memory_order_acq_rel);
    if (port == nullptr || fServerGone)
        return;
    WaitForProcessCycles();
    CollectJackText collected;
    if (jack_port_unregister(fClient, port) != 0) {
        std::fprintf(stderr, "cannot unregister JACK port: %s\n",
                     collected.Or("the server refused").c_str());
    }
}

void JackMidiService::WaitForProcessCycles() const
{
    // A cycle already running when the port was taken out ends with one
    // count; the next count comes from a cycle that never saw the port. A
    // stalled server is not waited for beyond the time limit.
    const uint64 start = fCycles.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (fCycles.load(std::memory_order_acquire) < start + 2 && !fServerGone &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

status_t JackMidiService::RenameProducer(int32 producerId, const char* name)
{
    jack_port_t* port = OutputOf(producerId);
    if (port == nullptr || name == nullptr || *name == '\0')
        return B_BAD_VALUE;
    CollectJackText collected;
    if (jack_port_rename(fClient, port, name) != 0) {
        std::fprintf(stderr, "cannot rename JACK port to \"%s\": %s\n", name,
                     collected.Or("the server refused").c_str());
        return B_ERROR;
    }
    return B_OK;
}

status_t JackMidiService::PublishProperties(int32 producerId, const char* name,
                                            const BMessage& properties)
{
    if (OutputOf(producerId) == nullptr)
        return B_NO_INIT;
    char* uuidText = jack_get_uuid_for_client_name(fClient, jack_get_client_name(fClient));
    jack_uuid_t client;
    const bool parsed = uuidText && jack_uuid_parse(uuidText, &client) == 0;
    jack_free(uuidText);
    if (!parsed) {
        std::fprintf(stderr, "cannot publish JACK metadata: the client has no UUID\n");
        return B_ERROR;
    }
    status_t result = B_OK;
    if (name && *name && SetMetadata(client, JACK_METADATA_PRETTY_NAME, name, "text/plain") != B_OK)
        result = B_ERROR;
    struct Icon {
        const char* entry;
        type_code type;
        uint32 side;
        const char* key;
    };
    const Icon icons[] = {{"be:large_icon", 'ICON', 32, JACK_METADATA_ICON_LARGE},
                          {"be:mini_icon", 'MICN', 16, JACK_METADATA_ICON_SMALL}};
    for (const Icon& icon : icons) {
        const void* data = nullptr;
        ssize_t size = 0;
        if (properties.FindData(icon.entry, icon.type, &data, &size) != B_OK ||
            size != ssize_t(icon.side * icon.side))
            continue;
        const std::string png =
            EncodeBase64(Cmap8IconToPng(static_cast<const uint8*>(data), icon.side));
        if (SetMetadata(client, icon.key, png, "image/png;base64") != B_OK)
            result = B_ERROR;
    }
    return result;
}

status_t JackMidiService::SetMetadata(jack_uuid_t subject, const char* key,
                                      const std::string& value, const char* type)
{
    CollectJackText collected;
    if (jack_set_property(fClient, subject, key, value.c_str(), type) != 0) {
        std::fprintf(stderr, "cannot publish JACK metadata %s: %s\n", key,
                     collected.Or("the server refused").c_str());
        return B_ERROR;
    }
    return B_OK;
}

status_t JackMidiService::Connect(int32 producerId, int32 consumerId)
{
    jack_port_t* port = OutputOf(producerId);
    const std::string consumer = ConsumerName(consumerId);
    if (port == nullptr || consumer.empty()) {
        std::fprintf(stderr, "cannot connect to MIDI consumer %d: %s\n", int(consumerId),
                     fServerGone ? "the JACK server has shut down" : "it no longer exists");
        return B_BAD_VALUE;
    }
    CollectJackText collected;
    const int error = jack_connect(fClient, jack_port_name(port), consumer.c_str());
    if (error != 0 && error != EEXIST) {
        std::fprintf(stderr, "cannot connect %s to %s: %s\n", jack_port_name(port),
                     consumer.c_str(), collected.Or("the server refused").c_str());
        return B_ERROR;
    }
    return B_OK;
}

status_t JackMidiService::Disconnect(int32 producerId, int32 consumerId)
{
    jack_port_t* port = OutputOf(producerId);
    const std::string consumer = ConsumerName(consumerId);
    if (port == nullptr || consumer.empty()) {
        std::fprintf(stderr, "cannot disconnect from MIDI consumer %d: %s\n", int(consumerId),
                     fServerGone ? "the JACK server has shut down" : "it no longer exists");
        return B_BAD_VALUE;
    }
    CollectJackText collected;
    if (jack_disconnect(fClient, jack_port_name(port), consumer.c_str()) != 0) {
        std::fprintf(stderr, "cannot disconnect %s from %s: %s\n", jack_port_name(port),
                     consumer.c_str(), collected.Or("the server refused").c_str());
        return B_ERROR;
    }
    return B_OK;
}

bool JackMidiService::IsConnected(int32 producerId, int32 consumerId)
{
    jack_port_t* port = OutputOf(producerId);
    const std::string consumer = ConsumerName(consumerId);
    return port && !consumer.empty() && jack_port_connected_to(port, consumer.c_str());
}

void JackMidiService::Send(int32 producerId, const uint8* bytes, size_t size)
{
    if (OutputOf(producerId) == nullptr || size == 0 || size > 3) {
        fDropped.fetch_add(1);
        return;
    }
    Record record{jack_get_time(), {}, uint8(size)};
    std::memcpy(record.bytes, bytes, size);
    std::lock_guard lock(fSendLock);
    if (jack_ringbuffer_write_space(fRing) < sizeof record) {
        fDropped.fetch_add(1);
        return;
    }
    jack_ringbuffer_write(fRing, reinterpret_cast<const char*>(&record), sizeof record);
}

} // namespace

std::unique_ptr<MidiService> OpenJackMidiService(std::string* error)
{
    jack_set_error_function(HandleJackError);
    jack_set_info_function(IgnoreJackInfo);
    CollectJackText collected;
    jack_status_t status{};
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
    if (client == nullptr) {
        *error = "cannot open JACK client: " + DescribeOpenFailure(status);
        return nullptr;
    }
    jack_ringbuffer_t* ring = jack_ringbuffer_create(kRingRecords * sizeof(Record));
    if (ring == nullptr) {
        jack_client_close(client);
        *error = "cannot open JACK client: no memory for the ring buffer";
        return nullptr;
    }
    // Keeps the process callback from page faults; without the privilege to
    // lock memory it still works, only less predictably.
    jack_ringbuffer_mlock(ring);
    auto service = std::make_unique<JackMidiService>(client, ring);
    if (!service->Activate(error))
        return nullptr;
    return service;
}
