#include "platform/session/SessionClient.h"

#include "platform/support/ThreadName.h"

#include <lo/lo.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kCapabilities = ":switch:dirty:optional-gui:";
constexpr int kApiMajor = 1;
constexpr int kApiMinor = 1;
// How long the manager has to answer the announce, and then to send the
// first open: a manager answers at once, so a silent one is not one.
constexpr auto kAnswerWait = std::chrono::seconds(3);
constexpr auto kOpenWait = std::chrono::seconds(10);
constexpr auto kTickInterval = std::chrono::seconds(1);

// liblo's arguments lie in the message's bytes, aligned to 4 only: they
// are read as bytes, never through the 8-aligned union.
const char* StringArgument(lo_arg* const* argv, int index)
{
    return reinterpret_cast<const char*>(argv[index]);
}

int32_t IntArgument(lo_arg* const* argv, int index)
{
    int32_t value;
    std::memcpy(&value, argv[index], sizeof value);
    return value;
}

const char* RequestPath(uint32 request)
{
    return request == kSessionOpen ? "/nsm/client/open" : "/nsm/client/save";
}

} // namespace

// The socket, the manager's address and the thread that reads and writes.
struct SessionClient::Connection {
    lo_server server = nullptr;
    lo_address manager = nullptr;
    int wake = -1;
    std::thread thread;

    std::mutex lock;
    std::condition_variable changed;
    bool stopping = false;
    // Messages waiting to go out, built by the caller.
    std::deque<std::pair<std::string, lo_message>> outgoing;
    // The announce's answer: nothing yet, then "" when welcomed or the
    // manager's error.
    std::optional<std::string> answer;
    std::string managerName;
    // Requests not yet handed to a target.
    std::vector<BMessage> pending;
    BMessenger target;
    bool hasTarget = false;
    std::optional<bool> dirty;
    std::optional<bool> guiShown;

    ~Connection()
    {
        {
            std::lock_guard guard(lock);
            stopping = true;
        }
        Wake();
        if (thread.joinable())
            thread.join();
        for (auto& [path, message] : outgoing)
            lo_message_free(message);
        if (manager != nullptr)
            lo_address_free(manager);
        if (server != nullptr)
            lo_server_free(server);
        if (wake >= 0)
            close(wake);
    }

    void Wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake, &one, sizeof one);
    }

    void Queue(const char* path, lo_message message)
    {
        {
            std::lock_guard guard(lock);
            outgoing.emplace_back(path, message);
        }
        Wake();
    }

    // Sends `yes` or `no` when `state` is not `value` yet.
    void SendOnChange(std::optional<bool> Connection::*state, bool value, const char* yes, const char* no)
    {
        {
            std::lock_guard guard(lock);
            if (this->*state == value)
                return;
            this->*state = value;
        }
        Queue(value ? yes : no, lo_message_new());
    }

    void Deliver(BMessage request)
    {
        std::lock_guard guard(lock);
        if (hasTarget)
            target.SendMessage(&request);
        else
            pending.push_back(std::move(request));
        changed.notify_all();
    }

    void Run()
    {
        NameCurrentThread("session");
        pollfd descriptors[2] = { { lo_server_get_socket_fd(server), POLLIN, 0 }, { wake, POLLIN, 0 } };
        auto ticked = std::chrono::steady_clock::now();
        for (;;) {
            poll(descriptors, 2, int(std::chrono::milliseconds(kTickInterval).count()));
            if (const auto now = std::chrono::steady_clock::now(); now - ticked >= kTickInterval) {
                ticked = now;
                std::lock_guard guard(lock);
                if (hasTarget)
                    target.SendMessage(kSessionTick);
            }
            if (descriptors[1].revents & POLLIN) {
                uint64_t count;
                [[maybe_unused]] const ssize_t read = ::read(wake, &count, sizeof count);
            }
            while (lo_server_recv_noblock(server, 0) > 0) { }
            std::deque<std::pair<std::string, lo_message>> sending;
            {
                std::lock_guard guard(lock);
                if (stopping)
                    return;
                sending.swap(outgoing);
            }
            for (auto& [path, message] : sending) {
                if (lo_send_message_from(manager, server, path.c_str(), message) < 0)
                    std::fprintf(stderr, "session manager: cannot send %s: %s\n", path.c_str(),
                        lo_address_errstr(manager));
                lo_message_free(message);
            }
        }
    }

    static int Answered(const char*, const char* types, lo_arg** argv, int argc, lo_message, void* data)
    {
        auto* self = static_cast<Connection*>(data);
        if (argc < 1 || types[0] != 's' || std::strcmp(StringArgument(argv, 0), "/nsm/server/announce") != 0)
            return 0;
        std::lock_guard guard(self->lock);
        if (std::strcmp(types, "ssss") == 0) {
            self->managerName = StringArgument(argv, 2);
            self->answer = "";
        } else if (std::strcmp(types, "sis") == 0) {
            self->answer = std::string(StringArgument(argv, 2)) + " (error " + std::to_string(IntArgument(argv, 1)) + ")";
        } else {
            self->answer = std::string("an answer of types \"") + types + "\"";
        }
        self->changed.notify_all();
        return 0;
    }

    static int Opened(const char*, const char*, lo_arg** argv, int, lo_message, void* data)
    {
        BMessage open(kSessionOpen);
        open.AddString("path", StringArgument(argv, 0));
        open.AddString("display name", StringArgument(argv, 1));
        open.AddString("client id", StringArgument(argv, 2));
        static_cast<Connection*>(data)->Deliver(std::move(open));
        return 0;
    }

    static int Asked(const char* path, const char*, lo_arg**, int, lo_message, void* data)
    {
        const uint32 what = std::strcmp(path, "/nsm/client/save") == 0 ? kSessionSave
            : std::strcmp(path, "/nsm/client/show_optional_gui") == 0  ? kSessionShowGui
                                                                       : kSessionHideGui;
        static_cast<Connection*>(data)->Deliver(BMessage(what));
        return 0;
    }
};

std::unique_ptr<SessionClient> SessionClient::Join(
    const char* url, const char* application, const char* executable, BMessage* open, std::string* why)
{
    auto connection = std::make_unique<Connection>();
    connection->manager = lo_address_new_from_url(url);
    if (connection->manager == nullptr) {
        *why = std::string("NSM_URL \"") + url + "\" is no OSC address";
        return nullptr;
    }
    // The reply goes to where the announce came from, so the socket speaks
    // the protocol the manager's address names.
    connection->server = lo_server_new_with_proto(nullptr, lo_address_get_protocol(connection->manager), nullptr);
    connection->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (connection->server == nullptr || connection->wake < 0) {
        *why = "cannot open a socket to answer the session manager on";
        return nullptr;
    }
    lo_server_add_method(connection->server, "/reply", nullptr, Connection::Answered, connection.get());
    lo_server_add_method(connection->server, "/error", nullptr, Connection::Answered, connection.get());
    lo_server_add_method(connection->server, "/nsm/client/open", "sss", Connection::Opened, connection.get());
    for (const char* path : { "/nsm/client/save", "/nsm/client/show_optional_gui", "/nsm/client/hide_optional_gui" })
        lo_server_add_method(connection->server, path, "", Connection::Asked, connection.get());
    connection->thread = std::thread(&Connection::Run, connection.get());

    lo_message announce = lo_message_new();
    lo_message_add_string(announce, application);
    lo_message_add_string(announce, kCapabilities);
    lo_message_add_string(announce, executable);
    lo_message_add_int32(announce, kApiMajor);
    lo_message_add_int32(announce, kApiMinor);
    lo_message_add_int32(announce, int32_t(getpid()));
    connection->Queue("/nsm/server/announce", announce);

    std::unique_lock guard(connection->lock);
    if (!connection->changed.wait_for(guard, kAnswerWait, [&] { return connection->answer.has_value(); })) {
        *why = std::string("the session manager at ") + url + " did not answer";
        return nullptr;
    }
    if (!connection->answer->empty()) {
        *why = "the session manager refused Zimbrel: " + *connection->answer;
        return nullptr;
    }
    if (!connection->changed.wait_for(guard, kOpenWait, [&] { return !connection->pending.empty(); })) {
        *why = "the session manager " + connection->managerName + " never opened a session";
        return nullptr;
    }
    *open = std::move(connection->pending.front());
    connection->pending.erase(connection->pending.begin());
    guard.unlock();
    return std::unique_ptr<SessionClient>(new SessionClient(std::move(connection)));
}

SessionClient::SessionClient(std::unique_ptr<Connection> connection) : fConnection(std::move(connection)) { }

SessionClient::~SessionClient() = default;

void SessionClient::SetTarget(BMessenger target)
{
    std::lock_guard guard(fConnection->lock);
    fConnection->target = target;
    fConnection->hasTarget = true;
    for (const BMessage& request : fConnection->pending)
        target.SendMessage(&request);
    fConnection->pending.clear();
}

void SessionClient::Reply(uint32 request, const char* message)
{
    lo_message reply = lo_message_new();
    lo_message_add_string(reply, RequestPath(request));
    lo_message_add_string(reply, message);
    fConnection->Queue("/reply", reply);
}

void SessionClient::Fail(uint32 request, int32 code, const char* message)
{
    lo_message error = lo_message_new();
    lo_message_add_string(error, RequestPath(request));
    lo_message_add_int32(error, code);
    lo_message_add_string(error, message);
    fConnection->Queue("/error", error);
}

void SessionClient::SetDirty(bool dirty)
{
    fConnection->SendOnChange(&Connection::dirty, dirty, "/nsm/client/is_dirty", "/nsm/client/is_clean");
}

void SessionClient::SetGuiShown(bool shown)
{
    fConnection->SendOnChange(&Connection::guiShown, shown, "/nsm/client/gui_is_shown", "/nsm/client/gui_is_hidden");
}

const std::string& SessionClient::ManagerName() const
{
    return fConnection->managerName;
}
