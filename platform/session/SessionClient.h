#pragma once

// SessionClient: the program as a client of a session manager that speaks
// the NSM protocol (API 1.1.2: RaySession, New Session Manager, Agordejo).
// The manager starts the program with NSM_URL set, tells it where to keep
// its state and what to call its MIDI client, asks it to save, to show or
// hide its windows, and ends it with SIGTERM.
//
// Join announces the program and waits for the first open, before any MIDI
// client exists; later requests arrive as messages to the target, in the
// order the manager sent them:
//
//   kSessionOpen     "path", "display name", "client id" (a switch)
//   kSessionSave
//   kSessionShowGui, kSessionHideGui
//   kSessionTick     about once a second, for what the program notices only
//                    by looking (links another tool made, say)
//
// Each open and save is answered with Reply or Fail once done. Everything
// goes out from the socket the announce went from, as the protocol wants.
//
// Thread rules: any thread. A thread of its own reads and sends; the calls
// below only queue, so none waits for the network.

#include "platform/app/Message.h"
#include "platform/app/Messenger.h"

#include <memory>
#include <string>

enum : uint32 {
    kSessionOpen = 'sOPN',
    kSessionSave = 'sSAV',
    kSessionShowGui = 'sSHW',
    kSessionHideGui = 'sHID',
    kSessionTick = 'sTIC',
};

// The manager's error codes the program answers with.
constexpr int32 kSessionErrorGeneral = -1;
constexpr int32 kSessionErrorBadProject = -9;
constexpr int32 kSessionErrorCreateFailed = -10;
constexpr int32 kSessionErrorSaveFailed = -99;

class SessionClient {
public:
    // Announces `application` (the name its JACK client would have),
    // started as `executable`, to the manager at `url`, and waits a few
    // seconds for the answer and then for the first open, which fills
    // `open` (a kSessionOpen message). nullptr when the manager is
    // unreachable, silent, or refuses, with `why` saying so: the program
    // then runs without it.
    static std::unique_ptr<SessionClient> Join(
        const char* url, const char* application, const char* executable, BMessage* open, std::string* why);
    ~SessionClient();

    SessionClient(const SessionClient&) = delete;
    SessionClient& operator=(const SessionClient&) = delete;

    // Where requests after the first open go; those that came before are
    // handed over now.
    void SetTarget(BMessenger target);

    // The answer to an open or a save (`request` kSessionOpen or
    // kSessionSave): done, or failed with one of the error codes above and
    // a reason a person can read.
    void Reply(uint32 request, const char* message);
    void Fail(uint32 request, int32 code, const char* message);
    // Tells the manager whether there are changes since the last save or
    // open; only a change of state is sent.
    void SetDirty(bool dirty);
    // Tells the manager whether the windows are shown; only a change of
    // state is sent, the first call always.
    void SetGuiShown(bool shown);

    // The manager's own name, as it gave it.
    const std::string& ManagerName() const;

    struct Connection;

private:
    explicit SessionClient(std::unique_ptr<Connection> connection);

    std::unique_ptr<Connection> fConnection;
};
