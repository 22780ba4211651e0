#include "platform/input/portal/PortalScreenCast.h"

#include "platform/input/portal/PipeWireCastReader.h"
#include "platform/input/portal/RestoreToken.h"
#include "platform/support/ThreadName.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
constexpr uint32 kMonitors = 1;
constexpr uint32 kCursorMetadata = 4;
constexpr uint32 kPersistUntilRevoked = 2;
// A portal that is started by the bus answers within this; a missing one
// must not hold up the program's start for long.
constexpr uint64 kProbeTimeoutMicroseconds = 5'000'000;
constexpr uint64 kCallTimeoutMicroseconds = 10'000'000;
// The wake pipe stops the thread at once; the timeout only bounds how long
// a lost wake-up could keep it.
constexpr int kPollTimeoutMs = 500;

constexpr char kWakeStop = 's';
constexpr char kWakeStreamsEnded = 'e';
constexpr char kWakeAskAgain = 'a';

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Bus = std::unique_ptr<sd_bus, BusUnref>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

// The error's own text, else the errno text of `result`.
std::string ErrorText(const sd_bus_error& error, int result)
{
    if (error.message != nullptr)
        return error.message;
    return std::strerror(result < 0 ? -result : result);
}

// Calls `each(key)` for every entry of the a{sv} at the message's read
// position; `each` reads the entry's variant or returns false to skip it.
int ForEachOption(sd_bus_message* message, const std::function<bool(const char*)>& each)
{
    int r = sd_bus_message_enter_container(message, 'a', "{sv}");
    if (r < 0)
        return r;
    while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(message, "s", &key)) < 0)
            return r;
        if (!each(key) && (r = sd_bus_message_skip(message, "v")) < 0)
            return r;
        if ((r = sd_bus_message_exit_container(message)) < 0)
            return r;
    }
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(message);
}

// Reads a string or object-path variant (portals differ in which they send).
bool ReadText(sd_bus_message* message, std::string* text)
{
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(message, &type, &contents) < 0 || contents == nullptr
        || (std::strcmp(contents, "s") != 0 && std::strcmp(contents, "o") != 0))
        return false;
    const char* value = nullptr;
    if (sd_bus_message_read(message, "v", contents, &value) < 0)
        return false;
    *text = value;
    return true;
}

struct StreamPlace {
    uint32 node = 0;
    int32 x = 0;
    int32 y = 0;
};

// The "streams" result of Start: a(ua{sv}), each with an optional
// "position" (ii) on the desktop.
bool ReadStreams(sd_bus_message* message, std::vector<StreamPlace>* streams)
{
    if (sd_bus_message_enter_container(message, 'v', "a(ua{sv})") <= 0
        || sd_bus_message_enter_container(message, 'a', "(ua{sv})") < 0)
        return false;
    int r;
    while ((r = sd_bus_message_enter_container(message, 'r', "ua{sv}")) > 0) {
        StreamPlace stream;
        if (sd_bus_message_read(message, "u", &stream.node) < 0)
            return false;
        r = ForEachOption(message, [&](const char* key) {
            return std::strcmp(key, "position") == 0
                && sd_bus_message_read(message, "v", "(ii)", &stream.x, &stream.y) >= 0;
        });
        if (r < 0 || sd_bus_message_exit_container(message) < 0)
            return false;
        streams->push_back(stream);
    }
    return r >= 0 && sd_bus_message_exit_container(message) >= 0 && sd_bus_message_exit_container(message) >= 0;
}

} // namespace

// One conversation with the portal, on the portal thread: from
// CreateSession to the session's end.
class PortalScreenCast::Session {
public:
    explicit Session(PortalScreenCast& owner)
        : fOwner(owner)
    {
    }

    ~Session()
    {
        // The reader goes before the cores it feeds.
        fReader.reset();
        fOwner.fScreen.Clear();
        if (fBus == nullptr || fSessionHandle.empty() || fClosed)
            return;
        // The next session waits until the desktop has closed this one; a
        // quit does not, so that a portal that hangs cannot hold it.
        sd_bus_message* close = nullptr;
        if (sd_bus_message_new_method_call(
                fBus.get(), &close, kPortal, fSessionHandle.c_str(), kSessionInterface, "Close")
            < 0)
            return;
        Message owned(close);
        Message reply;
        std::string why;
        if (fOwner.fStop.load())
            sd_bus_send(fBus.get(), close, nullptr);
        else
            Call(close, &reply, &why);
    }

    // True when the session ended because the desktop refused the kept
    // token, which is then gone: the next session asks afresh.
    bool TokenRefused() const { return fTokenRefused; }

    void Run()
    {
        sd_bus* bus = nullptr;
        if (const int r = sd_bus_open_user(&bus); r < 0) {
            Fail(std::string("cannot reach the session bus: ") + std::strerror(-r));
            return;
        }
        fBus.reset(bus);
        // Every call is answered at once (the dialog's answer comes as a
        // signal); a portal that hangs is given up on after this.
        sd_bus_set_method_call_timeout(bus, kCallTimeoutMicroseconds);
        const char* unique = nullptr;
        if (sd_bus_get_unique_name(bus, &unique) < 0) {
            Fail("cannot learn this program's name on the session bus");
            return;
        }
        // The portal names request objects after the caller: ":1.42" as "1_42".
        fSender = unique + 1;
        for (char& c : fSender)
            c = c == '.' ? '_' : c;

        Say(kPointerAsking, "Asking to share the screen, to follow the pointer everywhere",
            "Asking the desktop to share the screen, so that Zimbrel can follow the pointer and the colour "
            "under it over every window");
        Message results;
        if (!CreateSession(&results) || !SelectSources() || !Start(&results) || !OpenStreams())
            return;
        Say(kPointerFollowing, "Following the whole screen through the desktop's sharing",
            "Following the whole screen through the desktop's screen sharing");
        if (!WaitFor([this] { return fClosed || fStreamsEnded; }))
            return;
        // Said once, whichever of the two the desktop made known first.
        if (fClosed && !fStreamsEnded)
            std::fputs("zimbrel: the desktop ended screen sharing: the whole screen is no longer followed\n", stderr);
        fOwner.fPointer.SetStatus(kPointerEnded, "Screen sharing ended: the canvas plays. Open Picture\u2026");
    }

private:
    bool CreateSession(Message* results)
    {
        const std::string sessionToken = NewToken();
        const int response = Request("CreateSession", [&](sd_bus_message* m) {
            return sd_bus_message_append(m, "{sv}", "session_handle_token", "s", sessionToken.c_str());
        }, results);
        if (response != 0)
            return Refused(response, "CreateSession");
        ForEachOption(results->get(), [&](const char* key) {
            return std::strcmp(key, "session_handle") == 0 && ReadText(results->get(), &fSessionHandle);
        });
        if (fSessionHandle.empty())
            return Fail("the portal's CreateSession gave no session handle");
        sd_bus_slot* slot = nullptr;
        sd_bus_match_signal(fBus.get(), &slot, kPortal, fSessionHandle.c_str(), kSessionInterface, "Closed",
            [](sd_bus_message*, void* data, sd_bus_error*) {
                static_cast<Session*>(data)->fClosed = true;
                return 0;
            },
            this);
        fClosedMatch.reset(slot);
        return true;
    }

    bool SelectSources()
    {
        const std::string token = RestoreToken::Load();
        Message results;
        std::string failure;
        const int response = Request("SelectSources", [&](sd_bus_message* m) {
            int r = sd_bus_message_append(m, "{sv}{sv}{sv}{sv}", "types", "u", kMonitors, "multiple", "b", 1,
                "cursor_mode", "u", kCursorMetadata, "persist_mode", "u", kPersistUntilRevoked);
            if (r >= 0 && !token.empty())
                r = sd_bus_message_append(m, "{sv}", "restore_token", "s", token.c_str());
            return r;
        }, &results, nullptr, token.empty() ? nullptr : &failure);
        if (response == 0)
            return true;
        // Without the token the same call may well succeed.
        if (!token.empty() && (response == 2 || !failure.empty())) {
            RestoreToken::Drop("the desktop refused it: "
                + (failure.empty() ? std::string("SelectSources ended with code 2") : failure));
            fTokenRefused = true;
            return false;
        }
        return Refused(response, "SelectSources");
    }

    bool Start(Message* results)
    {
        const int response = Request("Start", nullptr, results, "");
        if (response != 0)
            return Refused(response, "Start");
        std::string token;
        ForEachOption(results->get(), [&](const char* key) {
            if (std::strcmp(key, "streams") == 0)
                return ReadStreams(results->get(), &fStreams);
            return std::strcmp(key, "restore_token") == 0 && ReadText(results->get(), &token);
        });
        if (!token.empty())
            RestoreToken::Save(token);
        if (fStreams.empty())
            return Fail("the portal shared no monitor");
        return true;
    }

    bool OpenStreams()
    {
        sd_bus_message* call = nullptr;
        int r = sd_bus_message_new_method_call(
            fBus.get(), &call, kPortal, kPortalPath, kScreenCast, "OpenPipeWireRemote");
        Message owned(call);
        if (r >= 0)
            r = sd_bus_message_append(call, "oa{sv}", fSessionHandle.c_str(), 0);
        std::string why;
        Message reply;
        if (r >= 0)
            r = Call(call, &reply, &why);
        else
            why = std::strerror(-r);
        int fd = -1;
        if (r == 0 && (r = sd_bus_message_read(reply.get(), "h", &fd)) < 0)
            why = std::strerror(-r);
        // The descriptor belongs to the message: keep a copy of our own.
        if (r >= 0 && (fd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0) {
            r = -errno;
            why = std::strerror(errno);
        }
        if (r == -ECANCELED)
            return false;
        if (r < 0)
            return Fail("the portal's OpenPipeWireRemote failed: " + why);

        std::vector<std::unique_ptr<CastStreamCore>> cores;
        std::vector<PipeWireCastReader::Stream> streams;
        for (const StreamPlace& place : fStreams) {
            cores.push_back(std::make_unique<CastStreamCore>(BPoint(float(place.x), float(place.y))));
            streams.push_back({ place.node, cores.back().get() });
        }
        fOwner.fScreen.SetStreams(std::move(cores));
        fReader = std::make_unique<PipeWireCastReader>(fd, streams, fOwner.fPointer, fOwner.fScreenChanges,
            fOwner.fScreen, [&owner = fOwner] { owner.Wake(kWakeStreamsEnded); });
        if (!fReader->Error().empty())
            return Fail(fReader->Error());
        return true;
    }

    std::string NewToken() { return "zimbrel" + std::to_string(getpid()) + "_" + std::to_string(++fTokens); }

    // Sends `call` and runs the bus until its reply comes, so that a stop
    // ends the wait at once. 0 with the reply; -ECANCELED when the thread
    // was stopped; else a negative errno value and `why`.
    int Call(sd_bus_message* call, Message* reply, std::string* why)
    {
        Message answer;
        sd_bus_slot* slot = nullptr;
        int r = sd_bus_call_async(fBus.get(), &slot, call,
            [](sd_bus_message* m, void* data, sd_bus_error*) {
                static_cast<Message*>(data)->reset(sd_bus_message_ref(m));
                return 0;
            },
            &answer, 0);
        Slot pending(slot);
        if (r < 0) {
            *why = std::strerror(-r);
            return r;
        }
        if (!WaitFor([&] { return answer != nullptr; }))
            return -ECANCELED;
        if (const sd_bus_error* error = sd_bus_message_get_error(answer.get())) {
            *why = error->message != nullptr ? error->message : error->name;
            return -std::max(1, sd_bus_message_get_errno(answer.get()));
        }
        *reply = std::move(answer);
        return 0;
    }

    // Calls `method` on the ScreenCast portal with the session handle (when
    // there is one), `text` (when given) and options that `fill` completes,
    // and waits for its Response. Returns the response code (0 success, 1
    // cancelled by the user, 2 other), or -1 when the call failed or the
    // thread was stopped. A failed call is said, or with `failure` given,
    // put there instead.
    int Request(const char* method, const std::function<int(sd_bus_message*)>& fill, Message* results,
        const char* text = nullptr, std::string* failure = nullptr)
    {
        const std::string token = NewToken();
        const std::string path = std::string(kPortalPath) + "/request/" + fSender + "/" + token;
        struct Answer {
            bool arrived = false;
            uint32 code = 2;
            Message results;
        } answer;
        sd_bus_slot* slot = nullptr;
        int r = sd_bus_match_signal(fBus.get(), &slot, kPortal, path.c_str(), "org.freedesktop.portal.Request",
            "Response",
            [](sd_bus_message* m, void* data, sd_bus_error*) {
                auto* answer = static_cast<Answer*>(data);
                answer->arrived = true;
                if (sd_bus_message_read(m, "u", &answer->code) >= 0)
                    answer->results.reset(sd_bus_message_ref(m));
                return 0;
            },
            &answer);
        Slot match(slot);

        sd_bus_message* call = nullptr;
        if (r >= 0)
            r = sd_bus_message_new_method_call(fBus.get(), &call, kPortal, kPortalPath, kScreenCast, method);
        Message owned(call);
        if (r >= 0 && !fSessionHandle.empty())
            r = sd_bus_message_append(call, "o", fSessionHandle.c_str());
        if (r >= 0 && text != nullptr)
            r = sd_bus_message_append(call, "s", text);
        if (r >= 0)
            r = sd_bus_message_open_container(call, 'a', "{sv}");
        if (r >= 0)
            r = sd_bus_message_append(call, "{sv}", "handle_token", "s", token.c_str());
        if (r >= 0 && fill)
            r = fill(call);
        if (r >= 0)
            r = sd_bus_message_close_container(call);
        std::string why = r < 0 ? std::strerror(-r) : "";
        Message reply;
        if (r >= 0)
            r = Call(call, &reply, &why);
        if (r == -ECANCELED)
            return -1;
        if (r < 0) {
            why = std::string("the portal's ") + method + " failed: " + why;
            if (failure != nullptr)
                *failure = why;
            else
                Fail(why);
            return -1;
        }
        // The user may take as long as they like over the dialog.
        if (!WaitFor([&] { return answer.arrived; }))
            return -1;
        if (answer.code == 0)
            *results = std::move(answer.results);
        return int(answer.code);
    }

    // Runs the bus until `done` holds; false when the thread is stopped or
    // the bus fails first.
    bool WaitFor(const std::function<bool()>& done)
    {
        for (;;) {
            int r;
            while ((r = sd_bus_process(fBus.get(), nullptr)) > 0) {
                if (done())
                    return true;
            }
            if (r < 0) {
                Fail(std::string("lost the session bus: ") + std::strerror(-r));
                return false;
            }
            if (done())
                return true;
            pollfd watched[2] = { { sd_bus_get_fd(fBus.get()), short(sd_bus_get_events(fBus.get())), 0 },
                { fOwner.fWakeRead, POLLIN, 0 } };
            if (poll(watched, 2, kPollTimeoutMs) < 0 && errno != EINTR) {
                std::perror("zimbrel: the portal thread cannot wait for the session bus");
                return false;
            }
            char wake[16];
            ssize_t count;
            while ((count = read(fOwner.fWakeRead, wake, sizeof wake)) > 0) {
                for (ssize_t i = 0; i < count; ++i)
                    fStreamsEnded = fStreamsEnded || wake[i] == kWakeStreamsEnded;
            }
            if (fOwner.fStop.load())
                return false;
        }
    }

    // A response other than success: the user said no (1) or the desktop
    // could not do it (2).
    bool Refused(int response, const char* step)
    {
        if (response < 0)
            return false;
        if (response == 1) {
            std::fputs("zimbrel: screen sharing was refused: the whole screen is not followed; the canvas "
                       "still is\n",
                stderr);
            fOwner.fPointer.SetStatus(kPointerRefused, "Screen sharing refused: the canvas plays. Open Picture\u2026");
            return false;
        }
        return Fail(std::string("the desktop could not share the screen (") + step + " ended with code "
            + std::to_string(response) + ")");
    }

    bool Fail(const std::string& why)
    {
        std::fprintf(stderr, "zimbrel: %s: the whole screen is not followed\n", why.c_str());
        fOwner.fPointer.SetStatus(kPointerRefused, "This desktop cannot share the screen. Open Picture\u2026");
        return false;
    }

    // `line` is the status, short enough for one line of the main window;
    // standard error gets the whole `sentence`.
    void Say(PointerServiceState state, const char* line, const char* sentence)
    {
        std::fprintf(stderr, "zimbrel: %s\n", sentence);
        fOwner.fPointer.SetStatus(state, line);
    }

    PortalScreenCast& fOwner;
    Bus fBus;
    std::string fSender;
    std::string fSessionHandle;
    Slot fClosedMatch;
    bool fClosed = false;
    bool fStreamsEnded = false;
    bool fTokenRefused = false;
    unsigned fTokens = 0;
    std::vector<StreamPlace> fStreams;
    std::unique_ptr<PipeWireCastReader> fReader;
};

bool PortalScreenCast::Offered(std::string* why)
{
    sd_bus* raw = nullptr;
    if (const int r = sd_bus_open_user(&raw); r < 0) {
        *why = std::string("there is no session bus to reach the desktop's screen-sharing portal (")
            + std::strerror(-r) + ")";
        return false;
    }
    Bus bus(raw);
    sd_bus_set_method_call_timeout(raw, kProbeTimeoutMicroseconds);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    uint32 modes = 0;
    const int r = sd_bus_get_property_trivial(
        raw, kPortal, kPortalPath, kScreenCast, "AvailableCursorModes", &error, 'u', &modes);
    if (r < 0) {
        *why = "the desktop has no ScreenCast portal (" + ErrorText(error, r) + ")";
        sd_bus_error_free(&error);
        return false;
    }
    if ((modes & kCursorMetadata) == 0) {
        *why = "the desktop's ScreenCast portal does not give the pointer's position (its cursor modes are "
            + std::to_string(modes) + ", without metadata, 4)";
        return false;
    }
    return true;
}

PortalScreenCast::PortalScreenCast(
    PointerBroadcaster& pointer, ScreenChangeBroadcaster& screenChanges, CastScreen& screen)
    : fPointer(pointer)
    , fScreenChanges(screenChanges)
    , fScreen(screen)
{
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("zimbrel: cannot make the portal thread's wake pipe");
        return;
    }
    fWakeRead = wake[0];
    fWakeWrite = wake[1];
    fThread = std::thread(&PortalScreenCast::ThreadMain, this);
    fPointer.SetConsentRequest([this] { Wake(kWakeAskAgain); });
}

PortalScreenCast::~PortalScreenCast()
{
    fPointer.SetConsentRequest({});
    if (fThread.joinable()) {
        fStop = true;
        Wake(kWakeStop);
        fThread.join();
    }
    if (fWakeRead >= 0) {
        close(fWakeRead);
        close(fWakeWrite);
    }
}

void PortalScreenCast::Wake(char why)
{
    [[maybe_unused]] const ssize_t written = write(fWakeWrite, &why, 1);
}

void PortalScreenCast::ThreadMain()
{
    NameCurrentThread("portal");
    // A session lasts until the user refuses or stops sharing; then the
    // user may ask for another.
    for (bool again = true; again;) {
        Session session(*this);
        session.Run();
        again = session.TokenRefused() ? !fStop.load() : WaitToAskAgain();
    }
}

bool PortalScreenCast::WaitToAskAgain()
{
    pollfd watched { fWakeRead, POLLIN, 0 };
    for (;;) {
        // The session may have read the stop's wake already.
        if (fStop.load())
            return false;
        if (poll(&watched, 1, -1) < 0 && errno != EINTR)
            return false;
        char wake[16];
        bool askAgain = false;
        ssize_t count;
        // A streams-ended wake the last session did not read means nothing now.
        while ((count = read(fWakeRead, wake, sizeof wake)) > 0)
            askAgain = askAgain || std::memchr(wake, kWakeAskAgain, size_t(count)) != nullptr;
        if (askAgain && !fStop.load())
            return true;
    }
}
