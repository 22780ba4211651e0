#include "platform/midi/jack/JackMidiService.h"

#include "platform/midi/IconPng.h"
#include "platform/midi/PortIdTable.h"
#include "platform/midi/jack/EventRing.h"
#include "platform/support/ThreadName.h"

#include <jack/jack.h>
#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/uuid.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <thread>
#include <utility>

#include <csignal>
#include <semaphore.h>
#include <unistd.h>

namespace {

constexpr size_t kRingRecords = 4096;
// What other programs send waits here for the receiving thread; a footswitch
// or a program change is a handful of messages, not a stream.
constexpr size_t kInputRingRecords = 1024;
// How often a lost server is asked whether it is back.
constexpr auto kReconnectInterval = std::chrono::seconds(1);
// How soon a connection that could not be restored is tried again: a port
// shows up a moment before its client is active and accepts connections.
constexpr auto kRestoreRetryInterval = std::chrono::milliseconds(200);
// How long the library's notification thread of a lost client is given to
// finish before the client is closed all the same.
constexpr auto kNotifierWait = std::chrono::seconds(3);
// How long a server reported gone is watched for process cycles before the
// report is believed; long enough for a few of PipeWire's longest cycles.
constexpr auto kLossConfirmation = std::chrono::seconds(1);
constexpr uint64 kCyclesOfALiveServer = 3;

// libjack reports through a process-wide function. While a thread of ours is
// inside a JACK request, what the library says is collected so that our own
// error line can carry it. On its own threads the library only ever reports
// how it noticed that the server went away, which the service says itself in
// one line, so that is not repeated.
thread_local std::string* tCollectedJackText = nullptr;

void HandleJackError(const char* text)
{
    if (tCollectedJackText) {
        if (!tCollectedJackText->empty())
            *tCollectedJackText += "; ";
        *tCollectedJackText += text;
    }
}

void IgnoreJackInfo(const char*) { }

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
    explicit JackMidiService(std::string clientName) : fRequestedName(std::move(clientName))
    {
        sem_init(&fInputArrived, 0, 0);
    }
    ~JackMidiService() override;

    // Reaches the server for the first time and starts watching over the
    // connection to it. With `waitForServer`, a server that does not answer
    // yet is waited for as one that went away: the client registers once
    // one does.
    bool Start(bool waitForServer, std::string* error);

    std::string Description() const override;
    std::vector<MidiPortInfo> Consumers() override;
    status_t PublishConsumer(int32 consumerId, const char* name, MidiReceiver receive) override;
    void WithdrawConsumer(int32 consumerId) override;
    status_t PublishProducer(int32 producerId, const char* name) override;
    void WithdrawProducer(int32 producerId) override;
    status_t RenameProducer(int32 producerId, const char* name) override;
    status_t PublishProperties(int32 producerId, const char* name, const BMessage& properties) override;
    status_t Connect(int32 producerId, int32 consumerId) override;
    status_t Disconnect(int32 producerId, int32 consumerId) override;
    bool IsConnected(int32 producerId, int32 consumerId) override;
    void Send(int32 producerId, const uint8* bytes, size_t size) override;
    uint64 DroppedMessages() const override { return fDropped.load(); }
    std::string Trouble() const override;
    void RenameClient(const char* name) override;
    std::vector<std::string> KeptLinks(int32 producerId) override;
    void KeepLinks(int32 producerId, const std::vector<std::string>& consumers) override;

private:
    // One client of one server run. JACK's callbacks get the session, never
    // the service alone, so a late callback of a dead client can never touch
    // the client that replaced it.
    struct Session {
        JackMidiService* service = nullptr;
        jack_client_t* client = nullptr;
        std::atomic<jack_port_t*> output { nullptr };
        // The published consumer's port, when there is one.
        std::atomic<jack_port_t*> input { nullptr };
        // The library said the server went, or its cycles stopped; the
        // supervisor makes sure.
        std::atomic<bool> lossNoticed { false };
        // Taken by the first of the threads that would note a loss.
        std::atomic<bool> lossClaimed { false };
        // The loss is certain; the client is closed next.
        std::atomic<bool> gone { false };
        // The process callback is running; with `gone`, this tells the
        // closing thread when no cycle can be using the port any more.
        std::atomic<bool> inCycle { false };
        // The library reported a loss while the server went on running the
        // client. PipeWire's library (0.3) does so on any error the server
        // sends it, and refuses every request from then on, so the first
        // refusal retires the client.
        std::atomic<bool> wounded { false };
        // Retire the client without asking whether the server still runs.
        std::atomic<bool> retire { false };
        // Why the server went, written before `lossNoticed` is set.
        std::string lossReason;
        // The kernel id of the thread that brought the first loss notice,
        // written before `lossNoticed` is set.
        pid_t notifier = 0;
        // The library's notification thread is done with this client.
        std::atomic<bool> notifierDone { false };
        // The server refused the published name and icons: PipeWire keeps
        // metadata in a store that its session manager makes, and that can
        // come a moment after the server answers.
        std::atomic<bool> metadataPending { false };
    };

    // What the service stands for whichever server it talks to, so that it
    // can be published again on the next one.
    struct Publication {
        std::string portName;
        std::string prettyName;
        BMessage properties;
        bool hasProperties = false;
        // Full names of the consumer ports the producer was linked to.
        std::set<std::string> links;
    };

    static int Process(jack_nframes_t frames, void* session);
    static void ShutDown(jack_status_t code, const char* reason, void* session);
    static void ShutDownWithoutReason(void* session);
    static void PortRegistered(jack_port_id_t port, int registered, void* session);
    static void PortConnected(jack_port_id_t a, jack_port_id_t b, int connected, void* session);

    // Opens a client with the published port, metadata and callbacks, or
    // returns nullptr with the reason in *error.
    std::unique_ptr<Session> OpenSession(std::string* error);
    // The supervisor thread: notices a lost server, reaches it again about
    // once a second, restores the links as their consumers reappear and
    // publishes metadata the server refused once it takes it.
    void Supervise();
    // Whether the server still runs the client's process cycles after a
    // loss notice: a notice alone is not proof of a loss.
    bool ServerStillRuns() const;
    // Notes a loss the library kept quiet about: the live client has had no
    // process cycle for a while. Called by the supervisor after each wait.
    void NoticeStoppedCycles();
    // Says on standard error how many messages found no room since it last
    // did, at most once a second.
    void ReportFallingBehind();
    // Counts a message that found no room; safe in the process callback.
    void CountFellBehind();
    // Keeps a session whose server was reported gone but still runs it.
    void KeepWoundedSession();
    // Closes a session whose server went away; sending drops from here on.
    void DropLostSession();
    // Closes the live client, so that one under the new name replaces it.
    void CloseForRename();
    // Closes the client of a lost server once the library's notification
    // thread is finished with it.
    static void CloseLostSession(std::unique_ptr<Session> lost);
    // Whether the JACK library in use is PipeWire's rather than jackd's.
    static bool LibraryIsPipeWires();
    // Notes that the server seems gone and wakes the supervisor; the first
    // notice wins. `notifier` is the kernel id of the library's thread that
    // brought it, or 0 when the service noticed by itself.
    static void NoteLoss(Session& session, const char* reason, pid_t notifier);
    // After a request the library refused: a wounded client is retired.
    static void RetireIfWounded(Session& session);
    // Links the producer to every remembered consumer that exists now; false
    // when one exists but refused, so that it is tried again soon.
    bool RestoreLinks();
    // Tries the metadata the live session still lacks again, quietly; says
    // so once it is published.
    void RetryMetadata();
    void WakeSupervisor(bool restoreLinks);

    // The live session, when the server still runs. Needs fClientLock.
    Session* LiveSession() const;
    // The published port on the live session, when `producerId` names its
    // producer. Needs fClientLock.
    jack_port_t* OutputOf(int32 producerId) const;
    // The full name of a listed consumer; empty when the id is stale.
    std::string ConsumerName(int32 consumerId);
    // Unregisters a port just taken out of the live session, once no process
    // cycle can be using it.
    void UnregisterPort(Session& session, jack_port_t* port);
    // Returns once the process callback can no longer be using a port that
    // was just taken out of the session.
    void WaitForProcessCycles(const Session& session) const;
    // Registers the published consumer's input port on `session`; false,
    // with the reason in *error, when the server refuses it.
    bool RegisterInput(Session& session, const std::string& name, std::string* error);
    // Copies the channel messages that arrived at the input port this cycle
    // for the receiving thread; safe in the process callback.
    void TakeInput(jack_port_t* input, jack_nframes_t frames);
    // The receiving thread: hands what other programs sent to the receiver.
    void Receive();
    // Publishes the pretty name and icons on `session` and notes whether the
    // server refused them; a failure goes to standard error when `report`
    // is set.
    status_t ApplyMetadata(
        Session& session, const std::string& name, const BMessage& properties, bool report);
    status_t SetMetadata(jack_client_t* client, jack_uuid_t subject, const char* key,
        const std::string& value, const char* type, bool report);
    void RememberLink(const std::string& consumer, bool linked);
    // Returns once the link made or broken is in force for what is sent
    // next, or after a time limit.
    void WaitForLink(const Session& session, jack_port_t* port, const std::string& consumer, bool linked) const;

    EventRing fRing { kRingRecords };
    std::atomic<int32> fProducerId { 0 };
    // True while a published port on a running server takes what is sent.
    std::atomic<bool> fAccepting { false };
    std::atomic<uint64> fDropped { 0 };
    // Of those, the ones a running server had no room for: the ring or the
    // cycle's buffer was full. The supervisor says how many, now and then.
    std::atomic<uint64> fFellBehind { 0 };
    uint64 fFellBehindReported = 0;
    std::chrono::steady_clock::time_point fFellBehindReportedAt;
    std::atomic<uint64> fCycles { 0 };
    // The cycle count the supervisor last saw change, and when.
    uint64 fCyclesSeen = 0;
    std::chrono::steady_clock::time_point fCyclesSeenAt;

    // Callers use the session under a shared lock; only the supervisor
    // replaces it, under an exclusive one, and only it reads fSession
    // without the lock.
    mutable std::shared_mutex fClientLock;
    std::unique_ptr<Session> fSession;
    std::string fClientName;

    std::mutex fPublicationLock;
    Publication fPublication;
    // The name the next client opens with.
    std::string fRequestedName;
    // Publishing metadata takes this first, so that a retry of older
    // metadata can never land after newer metadata.
    std::mutex fMetadataLock;

    // Filled only by the process callback, emptied only by fReceiver.
    EventRing fInputRing { kInputRingRecords };
    // Posted by the process callback when it filled fInputRing (a post never
    // blocks or locks), and by the destructor to end the receiving thread.
    sem_t fInputArrived;
    std::atomic<bool> fStopReceiving { false };
    std::atomic<int32> fConsumerId { 0 };
    // The consumer's port name and receiver. Guarded by fInputLock; the
    // receiving thread takes a copy of the receiver before it calls it.
    std::mutex fInputLock;
    std::string fInputName;
    MidiReceiver fReceive;
    std::thread fReceiver;

    // The ring takes one writer at a time, and is emptied between servers.
    std::mutex fSendLock;
    // Guards fIds, which JACK's notification thread also changes.
    std::mutex fPortLock;
    PortIdTable fIds;

    std::mutex fWakeLock;
    std::condition_variable fWake;
    bool fStopping = false;
    bool fRestoreLinks = false;
    bool fRename = false;
    // A server answered once.
    std::atomic<bool> fJoined { false };
    std::thread fSupervisor;
};

JackMidiService::~JackMidiService()
{
    {
        std::lock_guard lock(fWakeLock);
        fStopping = true;
    }
    fWake.notify_one();
    if (fSupervisor.joinable())
        fSupervisor.join();
    fStopReceiving = true;
    sem_post(&fInputArrived);
    if (fReceiver.joinable())
        fReceiver.join();
    if (fSession && fSession->lossNoticed.load())
        CloseLostSession(std::move(fSession));
    else if (fSession)
        jack_client_close(fSession->client);
}

bool JackMidiService::Start(bool waitForServer, std::string* error)
{
    fSession = OpenSession(error);
    if (!fSession && !waitForServer)
        return false;
    fJoined = fSession != nullptr;
    fClientName = fSession ? jack_get_client_name(fSession->client) : fRequestedName;
    fCyclesSeenAt = std::chrono::steady_clock::now();
    fSupervisor = std::thread(&JackMidiService::Supervise, this);
    fReceiver = std::thread(&JackMidiService::Receive, this);
    return true;
}

std::unique_ptr<JackMidiService::Session> JackMidiService::OpenSession(std::string* error)
{
    CollectJackText collected;
    jack_status_t status {};
    std::string name;
    {
        std::lock_guard lock(fPublicationLock);
        name = fRequestedName;
    }
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client == nullptr) {
        *error = "cannot open JACK client: " + DescribeOpenFailure(status);
        return nullptr;
    }
    auto session = std::make_unique<Session>();
    session->service = this;
    session->client = client;
    Publication publication;
    {
        std::lock_guard lock(fPublicationLock);
        publication = fPublication;
    }
    if (fProducerId.load() != 0) {
        jack_port_t* port = jack_port_register(
            client, publication.portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (port == nullptr) {
            *error = "cannot register JACK port \"" + publication.portName
                + "\": " + collected.Or("the server refused it");
            jack_client_close(client);
            return nullptr;
        }
        session->output.store(port);
    }
    std::string inputName;
    {
        std::lock_guard lock(fInputLock);
        inputName = fInputName;
    }
    if (fConsumerId.load() != 0 && !RegisterInput(*session, inputName, error)) {
        jack_client_close(client);
        return nullptr;
    }
    jack_set_process_callback(client, Process, session.get());
    // Runs first thing on JACK's process thread, which otherwise carries
    // the name of whichever thread opened the client.
    jack_set_thread_init_callback(client, [](void*) { NameCurrentThread("jack-process"); }, nullptr);
    // jackd calls both, PipeWire's library one: the second in 0.3, the
    // first in 1.4.
    jack_on_info_shutdown(client, ShutDown, session.get());
    jack_on_shutdown(client, ShutDownWithoutReason, session.get());
    jack_set_port_registration_callback(client, PortRegistered, session.get());
    jack_set_port_connect_callback(client, PortConnected, session.get());
    if (jack_activate(client) != 0) {
        *error = "cannot activate JACK client: " + collected.Or("the server refused");
        jack_client_close(client);
        return nullptr;
    }
    if (publication.hasProperties)
        ApplyMetadata(*session, publication.prettyName, publication.properties, true);
    return session;
}

void JackMidiService::Supervise()
{
    NameCurrentThread("jack-watch");
    bool retrySoon = false;
    for (;;) {
        bool restore = false;
        bool rename = false;
        {
            std::unique_lock lock(fWakeLock);
            // Without a server the wait always runs its full interval, so
            // that a server that stays away is asked once a second, no more.
            fWake.wait_for(lock, retrySoon ? kRestoreRetryInterval : kReconnectInterval,
                [this] { return fStopping || fRestoreLinks || fRename || (fSession && fSession->lossNoticed.load()); });
            if (fStopping)
                return;
            restore = std::exchange(fRestoreLinks, false) || retrySoon;
            rename = std::exchange(fRename, false);
        }
        if (rename && fSession && !fSession->lossNoticed.load())
            CloseForRename();
        ReportFallingBehind();
        NoticeStoppedCycles();
        if (fSession && fSession->lossNoticed.load()) {
            if (fSession->retire.load() || !ServerStillRuns())
                DropLostSession();
            else
                KeepWoundedSession();
        }
        if (!fSession) {
            std::string error;
            std::unique_ptr<Session> session = OpenSession(&error);
            retrySoon = false; // no links to restore without a server
            if (!session)
                continue;
            {
                std::unique_lock lock(fClientLock);
                fSession = std::move(session);
                fClientName = jack_get_client_name(fSession->client);
            }
            fAccepting = fSession->output.load() != nullptr;
            fCyclesSeenAt = std::chrono::steady_clock::now();
            if (rename)
                std::fprintf(stderr, "JACK client renamed: now \"%s\"\n", fClientName.c_str());
            else if (!fJoined.exchange(true))
                std::fprintf(stderr, "JACK server found: client \"%s\" registered\n", fClientName.c_str());
            else
                std::fprintf(stderr, "JACK server is back: client \"%s\" registered again\n", fClientName.c_str());
            restore = true;
        }
        if (restore)
            retrySoon = !RestoreLinks();
        if (fSession->metadataPending.load())
            RetryMetadata();
    }
}

bool JackMidiService::ServerStillRuns() const
{
    const uint64 start = fCycles.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + kLossConfirmation;
    while (fCycles.load(std::memory_order_acquire) < start + kCyclesOfALiveServer) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void JackMidiService::NoticeStoppedCycles()
{
    // PipeWire's library (0.3.65) now and then says nothing of a server
    // that went away, killed or stopped in order, and the client would wait
    // for its notice for good. A live server runs every active client, idle
    // or not, many times a second, so cycles that stop are a notice too.
    const uint64 cycles = fCycles.load(std::memory_order_acquire);
    const auto now = std::chrono::steady_clock::now();
    if (cycles != fCyclesSeen) {
        fCyclesSeen = cycles;
        fCyclesSeenAt = now;
        return;
    }
    if (!fSession || fSession->lossNoticed.load() || now - fCyclesSeenAt < kLossConfirmation
        || ServerStillRuns())
        return;
    // Two confirmation periods without a cycle: no need to ask again.
    fSession->retire = true;
    NoteLoss(*fSession, "the server stopped running Zimbrel's client without a word", 0);
}

void JackMidiService::CountFellBehind()
{
    fDropped.fetch_add(1, std::memory_order_relaxed);
    fFellBehind.fetch_add(1, std::memory_order_relaxed);
}

void JackMidiService::ReportFallingBehind()
{
    const uint64 fellBehind = fFellBehind.load(std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    if (fellBehind == fFellBehindReported || now - fFellBehindReportedAt < std::chrono::seconds(1))
        return;
    std::fprintf(stderr,
        "JACK output fell behind: %llu MIDI messages dropped, as the server did not take them in time\n",
        static_cast<unsigned long long>(fellBehind - fFellBehindReported));
    fFellBehindReported = fellBehind;
    fFellBehindReportedAt = now;
}

void JackMidiService::KeepWoundedSession()
{
    // Output and links go on as they were; only requests may now be refused.
    std::fprintf(stderr,
        "JACK library reported the server gone (%s), but the server still runs Zimbrel's client: "
        "MIDI output goes on\n",
        fSession->lossReason.empty() ? "no reason given" : fSession->lossReason.c_str());
    fSession->wounded = true;
    fSession->lossNoticed = false;
    fSession->lossClaimed = false;
}

void JackMidiService::DropLostSession()
{
    fSession->gone = true;
    std::fprintf(stderr,
        "JACK server lost (%s): MIDI output paused; Zimbrel will reconnect when a "
        "server answers again\n",
        fSession->lossReason.empty() ? "no reason given" : fSession->lossReason.c_str());
    fAccepting = false;
    std::unique_ptr<Session> lost;
    {
        std::unique_lock lock(fClientLock);
        lost = std::move(fSession);
    }
    CloseLostSession(std::move(lost));
    // The lost client's process callback no longer reads the ring (it checks
    // that its server is still there first); what was queued for the lost
    // server goes.
    std::lock_guard lock(fSendLock);
    fRing.Clear();
}

void JackMidiService::CloseForRename()
{
    // JACK cannot rename a client: this one goes, and the supervisor opens
    // the next one under the new name at once. What was queued for it goes
    // too, as it would have gone to the links the rename drops.
    fAccepting = false;
    std::unique_ptr<Session> old;
    {
        std::unique_lock lock(fClientLock);
        old = std::move(fSession);
    }
    old->gone.store(true);
    {
        CollectJackText unheard;
        jack_deactivate(old->client);
        jack_client_close(old->client);
    }
    std::lock_guard lock(fSendLock);
    fRing.Clear();
}

std::string JackMidiService::Trouble() const
{
    if (fAccepting.load())
        return {};
    std::shared_lock lock(fClientLock);
    if (LiveSession() != nullptr)
        return {};
    return fJoined ? "JACK server lost, reconnecting" : "waiting for a JACK server";
}

void JackMidiService::RenameClient(const char* name)
{
    {
        std::lock_guard lock(fPublicationLock);
        fRequestedName = name;
        fPublication.links.clear();
    }
    {
        std::lock_guard lock(fWakeLock);
        fRename = true;
    }
    fWake.notify_one();
}

std::vector<std::string> JackMidiService::KeptLinks(int32 producerId)
{
    if (producerId == 0 || producerId != fProducerId.load())
        return {};
    std::set<std::string> links;
    {
        std::lock_guard lock(fPublicationLock);
        links = fPublication.links;
    }
    // The graph as the client sees it now too: the notice of a link made by
    // another tool may still be on its way.
    std::shared_lock lock(fClientLock);
    if (jack_port_t* port = OutputOf(producerId)) {
        if (const char** linked = jack_port_get_connections(port)) {
            for (size_t i = 0; linked[i] != nullptr; ++i)
                links.insert(linked[i]);
            jack_free(linked);
        }
    }
    return { links.begin(), links.end() };
}

void JackMidiService::KeepLinks(int32 producerId, const std::vector<std::string>& consumers)
{
    if (producerId == 0 || producerId != fProducerId.load())
        return;
    const std::set<std::string> kept(consumers.begin(), consumers.end());
    {
        std::shared_lock lock(fClientLock);
        if (jack_port_t* port = OutputOf(producerId)) {
            CollectJackText unheard;
            if (const char** linked = jack_port_get_connections(port)) {
                for (size_t i = 0; linked[i] != nullptr; ++i) {
                    if (!kept.contains(linked[i]))
                        jack_disconnect(fSession->client, jack_port_name(port), linked[i]);
                }
                jack_free(linked);
            }
        }
    }
    {
        std::lock_guard lock(fPublicationLock);
        fPublication.links = kept;
    }
    WakeSupervisor(true);
}

void JackMidiService::CloseLostSession(std::unique_ptr<Session> lost)
{
    lost->gone.store(true);
    if (LibraryIsPipeWires()) {
        // PipeWire's library delivers its notices on its own loop thread,
        // which the close stops itself, so there is nothing to wait for
        // (version 1.4 calls only the first of the two shutdown callbacks).
        // But when it closes a client whose server is gone, it frees the
        // buffers of a linked port twice: with the connection's memory pool,
        // and then with the port (1.4.2; a heap corruption that aborted the
        // program). Unregistering the port first frees them once, while the
        // pool still holds them, and the close then finds none.
        const auto deadline = std::chrono::steady_clock::now() + kNotifierWait;
        while (lost->inCycle.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CollectJackText unheard;
        for (std::atomic<jack_port_t*>* ported : { &lost->output, &lost->input }) {
            if (jack_port_t* port = ported->exchange(nullptr))
                jack_port_unregister(lost->client, port);
        }
        jack_client_close(lost->client);
        return;
    }
    // Closing cancels the client's notification thread, and jackd's library
    // deadlocks for good (every later client open included) when the cancel
    // lands while that thread handles a client the stopping server removed:
    // it holds a process-wide lock then. A server stopped in order goes on
    // removing its clients after it said it stops. So the client is closed
    // once that thread said its last word or has ended; a server stuck on its
    // way down is not waited for beyond a limit.
    const auto deadline = std::chrono::steady_clock::now() + kNotifierWait;
    while (!lost->notifierDone.load() && tgkill(getpid(), lost->notifier, 0) == 0
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CollectJackText unheard;
    jack_client_close(lost->client);
}

bool JackMidiService::LibraryIsPipeWires()
{
    // "3.1.4.2 (using PipeWire 1.4.2)"; jackd's says "1.9.22".
    static const bool pipeWires = std::strstr(jack_get_version_string(), "PipeWire") != nullptr;
    return pipeWires;
}

bool JackMidiService::RestoreLinks()
{
    std::set<std::string> links;
    {
        std::lock_guard lock(fPublicationLock);
        links = fPublication.links;
    }
    std::shared_lock lock(fClientLock);
    Session* session = LiveSession();
    jack_port_t* output = session ? session->output.load() : nullptr;
    if (output == nullptr)
        return true;
    bool allRestored = true;
    for (const std::string& consumer : links) {
        if (jack_port_by_name(session->client, consumer.c_str()) == nullptr
            || jack_port_connected_to(output, consumer.c_str()))
            continue;
        // A consumer not yet active refuses; it is tried again shortly, and
        // what the library says about it is no news to anyone.
        CollectJackText collected;
        const int error = jack_connect(session->client, jack_port_name(output), consumer.c_str());
        if (error != 0 && error != EEXIST) {
            allRestored = false;
            RetireIfWounded(*session);
        }
    }
    return allRestored;
}

void JackMidiService::RetryMetadata()
{
    std::lock_guard metadataLock(fMetadataLock);
    Publication publication;
    {
        std::lock_guard lock(fPublicationLock);
        publication = fPublication;
    }
    std::shared_lock lock(fClientLock);
    Session* session = LiveSession();
    if (session == nullptr || !session->metadataPending.load())
        return;
    if (ApplyMetadata(*session, publication.prettyName, publication.properties, false) == B_OK)
        std::fprintf(stderr, "JACK metadata published: the server takes it now\n");
}

void JackMidiService::WakeSupervisor(bool restoreLinks)
{
    {
        std::lock_guard lock(fWakeLock);
        fRestoreLinks = fRestoreLinks || restoreLinks;
    }
    fWake.notify_one();
}

std::string JackMidiService::Description() const
{
    std::shared_lock lock(fClientLock);
    if (!fSession)
        return std::string("JACK, no server answers yet: client \"") + fClientName
            + "\" registers when one does (Zimbrel does not start one)";
    return std::string("JACK, client \"") + fClientName + "\"";
}

int JackMidiService::Process(jack_nframes_t frames, void* arg)
{
    auto* session = static_cast<Session*>(arg);
    // Sequentially consistent, as the closing thread sets `gone` and then
    // reads `inCycle`: one of the two sees the other.
    session->inCycle.store(true);
    if (session->gone.load()) {
        session->inCycle.store(false);
        return 0;
    }
    JackMidiService* self = session->service;
    if (jack_port_t* input = session->input.load(std::memory_order_acquire))
        self->TakeInput(input, frames);
    jack_port_t* port = session->output.load(std::memory_order_acquire);
    void* buffer = port ? jack_port_get_buffer(port, frames) : nullptr;
    if (buffer)
        jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(session->client);
    jack_nframes_t offset = 0;
    EventRing::Record record;
    while (self->fRing.Pop(&record)) {
        if (buffer == nullptr) {
            self->fDropped.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        // Frames from this cycle's start to the moment of sending: negative
        // for messages sent during an earlier cycle, which go out first thing.
        const auto sentAt = int64(int32(jack_time_to_frames(session->client, record.sentAt) - cycleStart));
        offset = jack_nframes_t(std::clamp<int64>(sentAt, offset, int64(frames) - 1));
        if (jack_midi_event_write(buffer, offset, record.bytes, record.size) != 0)
            self->CountFellBehind();
    }
    self->fCycles.fetch_add(1, std::memory_order_release);
    session->inCycle.store(false, std::memory_order_release);
    return 0;
}

namespace {

// The length of the channel message that `status` starts, or 0 for any
// other byte: system messages and running status are not taken.
size_t ChannelMessageLength(uint8 status)
{
    if (status < 0x80 || status >= 0xF0)
        return 0;
    const uint8 kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

} // namespace

void JackMidiService::TakeInput(jack_port_t* input, jack_nframes_t frames)
{
    void* buffer = jack_port_get_buffer(input, frames);
    if (buffer == nullptr)
        return;
    bool took = false;
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0
            || event.size != ChannelMessageLength(event.buffer[0]))
            continue;
        EventRing::Record record { 0, {}, uint8(event.size) };
        std::memcpy(record.bytes, event.buffer, event.size);
        // A full ring means nobody reads: what comes on is dropped.
        took = fInputRing.Push(record) || took;
    }
    if (took)
        sem_post(&fInputArrived);
}

void JackMidiService::Receive()
{
    NameCurrentThread("jack-input");
    for (;;) {
        while (sem_wait(&fInputArrived) != 0 && errno == EINTR) { }
        if (fStopReceiving.load())
            return;
        MidiReceiver receive;
        {
            std::lock_guard lock(fInputLock);
            receive = fReceive;
        }
        EventRing::Record record;
        while (fInputRing.Pop(&record)) {
            if (receive)
                receive(record.bytes, record.size);
        }
    }
}

bool JackMidiService::RegisterInput(Session& session, const std::string& name, std::string* error)
{
    CollectJackText collected;
    jack_port_t* port
        = jack_port_register(session.client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (port == nullptr) {
        *error = "cannot register JACK port \"" + name + "\": " + collected.Or("the server refused it");
        return false;
    }
    session.input.store(port, std::memory_order_release);
    return true;
}

status_t JackMidiService::PublishConsumer(int32 consumerId, const char* name, MidiReceiver receive)
{
    const std::string portName = name && *name ? name : "input";
    {
        std::lock_guard lock(fInputLock);
        if (fConsumerId.load() != 0) {
            std::fprintf(stderr,
                "cannot register JACK port \"%s\": the JACK service carries one consumer and another one "
                "is registered\n",
                portName.c_str());
            return B_BUSY;
        }
        fInputName = portName;
        fReceive = std::move(receive);
        fConsumerId = consumerId;
    }
    std::shared_lock lock(fClientLock);
    Session* session = LiveSession();
    if (session == nullptr)
        return B_OK; // registered with the client, when a server answers
    std::string error;
    if (!RegisterInput(*session, portName, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        RetireIfWounded(*session);
        std::lock_guard inputLock(fInputLock);
        fConsumerId = 0;
        fReceive = nullptr;
        return B_ERROR;
    }
    return B_OK;
}

void JackMidiService::WithdrawConsumer(int32 consumerId)
{
    {
        std::lock_guard lock(fInputLock);
        if (consumerId == 0 || consumerId != fConsumerId.load())
            return;
        fConsumerId = 0;
        fReceive = nullptr;
    }
    std::shared_lock lock(fClientLock);
    Session* session = LiveSession();
    jack_port_t* port = session ? session->input.exchange(nullptr, std::memory_order_acq_rel) : nullptr;
    if (port != nullptr)
        UnregisterPort(*session, port);
}

void JackMidiService::ShutDown(jack_status_t, const char* reason, void* session)
{
    // jackd's first notice. A server that stops in order sends it and then
    // tells of each client it removes; a killed one is noticed by the
    // notification thread just before it ends.
    NoteLoss(*static_cast<Session*>(session), reason ? reason : "", gettid());
}

void JackMidiService::ShutDownWithoutReason(void* arg)
{
    // jackd's notification thread calls this last, as it ends; PipeWire's
    // library 0.3 calls only this.
    auto* session = static_cast<Session*>(arg);
    session->notifierDone.store(true);
    NoteLoss(*session, "the connection to the server broke", gettid());
}

void JackMidiService::NoteLoss(Session& session, const char* reason, pid_t notifier)
{
    // Runs on one of JACK's threads, or the supervisor's: no JACK request
    // here, the supervisor does the rest. Sending goes on meanwhile: if the
    // server still runs, nothing is lost, and if it does not, the supervisor
    // drops what waits. A wake-up lost to the race with its wait costs at
    // most one reconnect interval.
    if (session.lossClaimed.exchange(true))
        return;
    session.lossReason = reason;
    session.notifier = notifier;
    session.lossNoticed.store(true);
    session.service->fWake.notify_one();
}

void JackMidiService::RetireIfWounded(Session& session)
{
    if (!session.wounded.load())
        return;
    session.retire = true;
    NoteLoss(session, "the JACK library refuses every request since it reported the server gone", gettid());
}

void JackMidiService::PortRegistered(jack_port_id_t id, int registered, void* arg)
{
    auto* session = static_cast<Session*>(arg);
    JackMidiService* self = session->service;
    if (registered) {
        // Perhaps a consumer the producer was linked to before it went away.
        self->WakeSupervisor(true);
        return;
    }
    // Forget a vanished port at once, so that its id can never reach a port
    // registered later under the same name.
    if (jack_port_t* port = jack_port_by_id(session->client, id)) {
        std::lock_guard lock(self->fPortLock);
        self->fIds.Retire(jack_port_name(port));
    }
}

void JackMidiService::PortConnected(jack_port_id_t a, jack_port_id_t b, int connected, void* arg)
{
    // Links made or broken by other tools count as the user's choice too, so
    // the ones to restore after a restart follow every change seen here.
    auto* session = static_cast<Session*>(arg);
    jack_port_t* output = session->output.load();
    jack_port_t* source = jack_port_by_id(session->client, a);
    if (output == nullptr || session->gone.load() || source == nullptr
        || !jack_port_is_mine(session->client, source))
        return;
    if (jack_port_t* consumer = jack_port_by_id(session->client, b))
        session->service->RememberLink(jack_port_name(consumer), connected != 0);
}

void JackMidiService::RememberLink(const std::string& consumer, bool linked)
{
    std::lock_guard lock(fPublicationLock);
    if (linked)
        fPublication.links.insert(consumer);
    else
        fPublication.links.erase(consumer);
}

JackMidiService::Session* JackMidiService::LiveSession() const
{
    return fSession && !fSession->gone.load() ? fSession.get() : nullptr;
}

jack_port_t* JackMidiService::OutputOf(int32 producerId) const
{
    Session* session = LiveSession();
    if (producerId == 0 || producerId != fProducerId.load() || session == nullptr)
        return nullptr;
    return session->output.load();
}

std::vector<MidiPortInfo> JackMidiService::Consumers()
{
    std::vector<MidiPortInfo> consumers;
    std::vector<std::string> present;
    std::shared_lock clientLock(fClientLock);
    Session* session = LiveSession();
    const char** names = session
        ? jack_get_ports(session->client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)
        : nullptr;
    std::lock_guard lock(fPortLock);
    for (size_t i = 0; names && names[i]; ++i) {
        jack_port_t* port = jack_port_by_name(session->client, names[i]);
        if (port == nullptr || jack_port_is_mine(session->client, port))
            continue;
        present.emplace_back(names[i]);
        consumers.push_back({ fIds.Track(names[i], names[i]), names[i] });
    }
    jack_free(names);
    // Without a server every port is gone: ids listed before never come back.
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
    std::shared_lock lock(fClientLock);
    Session* session = LiveSession();
    if (fProducerId.load() != 0) {
        std::fprintf(stderr,
            "cannot register JACK port \"%s\": the JACK service carries one "
            "producer and another one is registered\n",
            portName);
        return B_BUSY;
    }
    if (session == nullptr) {
        // Registered with the client, when a server answers.
        std::lock_guard publicationLock(fPublicationLock);
        fPublication = Publication { portName, {}, {}, false, {} };
        fProducerId = producerId;
        return B_OK;
    }
    CollectJackText collected;
    jack_port_t* port
        = jack_port_register(session->client, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port == nullptr) {
        std::fprintf(stderr, "cannot register JACK port \"%s\": %s\n", portName,
            collected.Or("the server refused it").c_str());
        RetireIfWounded(*session);
        return B_ERROR;
    }
    {
        std::lock_guard publicationLock(fPublicationLock);
        fPublication = Publication { portName, {}, {}, false, {} };
    }
    fProducerId = producerId;
    session->output.store(port, std::memory_order_release);
    fAccepting = true;
    return B_OK;
}

void JackMidiService::WithdrawProducer(int32 producerId)
{
    if (producerId == 0 || producerId != fProducerId.load())
        return;
    fProducerId = 0;
    fAccepting = false;
    {
        std::lock_guard lock(fPublicationLock);
        fPublication = Publication {};
    }
    std::shared_lock lock(fClientLock);
    Session* session = LiveSession();
    jack_port_t* port = session ? session->output.exchange(nullptr, std::memory_order_acq_rel) : nullptr;
    if (port != nullptr)
        UnregisterPort(*session, port);
}

void JackMidiService::UnregisterPort(Session& session, jack_port_t* port)
{
    WaitForProcessCycles(session);
    CollectJackText collected;
    if (jack_port_unregister(session.client, port) != 0) {
        std::fprintf(stderr, "cannot unregister JACK port: %s\n", collected.Or("the server refused").c_str());
        RetireIfWounded(session);
    }
}

void JackMidiService::WaitForProcessCycles(const Session& session) const
{
    // A cycle already running when the port was taken out ends with one
    // count; the next count comes from a cycle that never saw the port. A
    // stalled server is not waited for beyond the time limit.
    const uint64 start = fCycles.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (fCycles.load(std::memory_order_acquire) < start + 2 && !session.gone.load()
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

status_t JackMidiService::RenameProducer(int32 producerId, const char* name)
{
    if (name == nullptr || *name == '\0' || producerId == 0 || producerId != fProducerId.load())
        return B_BAD_VALUE;
    {
        // Kept for the next server even while this one is away.
        std::lock_guard lock(fPublicationLock);
        fPublication.portName = name;
    }
    std::shared_lock lock(fClientLock);
    jack_port_t* port = OutputOf(producerId);
    if (port == nullptr)
        return B_OK;
    CollectJackText collected;
    if (jack_port_rename(fSession->client, port, name) != 0) {
        std::fprintf(stderr, "cannot rename JACK port to \"%s\": %s\n", name,
            collected.Or("the server refused").c_str());
        RetireIfWounded(*fSession);
        return B_ERROR;
    }
    return B_OK;
}

status_t JackMidiService::PublishProperties(int32 producerId, const char* name, const BMessage& properties)
{
    if (producerId == 0 || producerId != fProducerId.load())
        return B_NO_INIT;
    std::lock_guard metadataLock(fMetadataLock);
    {
        std::lock_guard lock(fPublicationLock);
        fPublication.prettyName = name ? name : "";
        fPublication.properties = properties;
        fPublication.hasProperties = true;
    }
    std::shared_lock lock(fClientLock);
    if (OutputOf(producerId) == nullptr)
        return B_OK; // published when a server answers again
    return ApplyMetadata(*fSession, name ? name : "", properties, true);
}

status_t JackMidiService::ApplyMetadata(
    Session& session, const std::string& name, const BMessage& properties, bool report)
{
    jack_client_t* client = session.client;
    char* uuidText = jack_get_uuid_for_client_name(client, jack_get_client_name(client));
    jack_uuid_t subject;
    const bool parsed = uuidText && jack_uuid_parse(uuidText, &subject) == 0;
    jack_free(uuidText);
    if (!parsed) {
        if (report)
            std::fprintf(stderr, "cannot publish JACK metadata: the client has no UUID\n");
        session.metadataPending = true;
        return B_ERROR;
    }
    status_t result = B_OK;
    if (!name.empty()
        && SetMetadata(client, subject, JACK_METADATA_PRETTY_NAME, name, "text/plain", report) != B_OK)
        result = B_ERROR;
    struct Icon {
        const char* entry;
        type_code type;
        uint32 side;
        const char* key;
    };
    const Icon icons[] = { { "be:large_icon", 'ICON', 32, JACK_METADATA_ICON_LARGE },
        { "be:mini_icon", 'MICN', 16, JACK_METADATA_ICON_SMALL } };
    for (const Icon& icon : icons) {
        const void* data = nullptr;
        ssize_t size = 0;
        if (properties.FindData(icon.entry, icon.type, &data, &size) != B_OK
            || size != ssize_t(icon.side * icon.side))
            continue;
        const std::string png = EncodeBase64(Cmap8IconToPng(static_cast<const uint8*>(data), icon.side));
        if (SetMetadata(client, subject, icon.key, png, "image/png;base64", report) != B_OK)
            result = B_ERROR;
    }
    session.metadataPending = result != B_OK;
    if (result != B_OK)
        RetireIfWounded(session);
    return result;
}

status_t JackMidiService::SetMetadata(jack_client_t* client, jack_uuid_t subject, const char* key,
    const std::string& value, const char* type, bool report)
{
    CollectJackText collected;
    if (jack_set_property(client, subject, key, value.c_str(), type) != 0) {
        if (report) {
            std::fprintf(stderr, "cannot publish JACK metadata %s: %s; Zimbrel tries again while it runs\n",
                key, collected.Or("the server refused").c_str());
        }
        return B_ERROR;
    }
    return B_OK;
}

status_t JackMidiService::Connect(int32 producerId, int32 consumerId)
{
    const std::string consumer = ConsumerName(consumerId);
    std::shared_lock lock(fClientLock);
    jack_port_t* port = OutputOf(producerId);
    if (port == nullptr || consumer.empty()) {
        std::fprintf(stderr, "cannot connect to MIDI consumer %d: %s\n", int(consumerId),
            LiveSession() ? "it no longer exists" : "the JACK server has shut down");
        return B_BAD_VALUE;
    }
    CollectJackText collected;
    const int error = jack_connect(fSession->client, jack_port_name(port), consumer.c_str());
    if (error != 0 && error != EEXIST) {
        std::fprintf(stderr, "cannot connect %s to %s: %s\n", jack_port_name(port), consumer.c_str(),
            collected.Or("the server refused").c_str());
        RetireIfWounded(*fSession);
        return B_ERROR;
    }
    WaitForLink(*fSession, port, consumer, true);
    RememberLink(consumer, true);
    return B_OK;
}

status_t JackMidiService::Disconnect(int32 producerId, int32 consumerId)
{
    const std::string consumer = ConsumerName(consumerId);
    std::shared_lock lock(fClientLock);
    jack_port_t* port = OutputOf(producerId);
    if (port == nullptr || consumer.empty()) {
        std::fprintf(stderr, "cannot disconnect from MIDI consumer %d: %s\n", int(consumerId),
            LiveSession() ? "it no longer exists" : "the JACK server has shut down");
        return B_BAD_VALUE;
    }
    CollectJackText collected;
    if (jack_disconnect(fSession->client, jack_port_name(port), consumer.c_str()) != 0) {
        std::fprintf(stderr, "cannot disconnect %s from %s: %s\n", jack_port_name(port), consumer.c_str(),
            collected.Or("the server refused").c_str());
        RetireIfWounded(*fSession);
        return B_ERROR;
    }
    WaitForLink(*fSession, port, consumer, false);
    RememberLink(consumer, false);
    return B_OK;
}

void JackMidiService::WaitForLink(
    const Session& session, jack_port_t* port, const std::string& consumer, bool linked) const
{
    // jackd answers before its engine takes the new graph, and a busy
    // engine can put that off for many cycles (over 200 ms seen); PipeWire
    // answers first and shows the change in the graph a moment later. Until
    // the graph shows it, what is sent goes where it went before: a message
    // sent right after Disconnect reached the consumer. The cycle running
    // when the graph changed may still have used the old one, so it is let
    // finish too.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((jack_port_connected_to(port, consumer.c_str()) != 0) != linked
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    WaitForProcessCycles(session);
}

bool JackMidiService::IsConnected(int32 producerId, int32 consumerId)
{
    const std::string consumer = ConsumerName(consumerId);
    std::shared_lock lock(fClientLock);
    jack_port_t* port = OutputOf(producerId);
    return port && !consumer.empty() && jack_port_connected_to(port, consumer.c_str());
}

void JackMidiService::Send(int32 producerId, const uint8* bytes, size_t size)
{
    // While no server runs nothing is kept for later: a Control Change is
    // only worth something now.
    if (!fAccepting.load() || producerId == 0 || producerId != fProducerId.load() || size == 0 || size > 3) {
        fDropped.fetch_add(1);
        return;
    }
    EventRing::Record record { jack_get_time(), {}, uint8(size) };
    std::memcpy(record.bytes, bytes, size);
    std::lock_guard lock(fSendLock);
    if (!fRing.Push(record))
        CountFellBehind();
}

} // namespace

std::unique_ptr<MidiService> OpenJackMidiService(
    const std::string& clientName, bool waitForServer, std::string* error)
{
    jack_set_error_function(HandleJackError);
    jack_set_info_function(IgnoreJackInfo);
    auto service = std::make_unique<JackMidiService>(clientName);
    if (!service->Start(waitForServer, error))
        return nullptr;
    return service;
}
