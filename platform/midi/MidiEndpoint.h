#pragma once

// BMidiEndpoint: a producer or consumer of MIDI messages, either local (made
// by this process) or remote (a port of another program, as a service lists
// it). Endpoints are reference counted: whoever creates a local endpoint or
// obtains one from the roster holds one reference and gives it back with
// Release(). Dropping the last reference unregisters the endpoint, breaks its
// connections and deletes it.
//
// Ids are never 0, are never given to two endpoints during the process's life,
// and a remote endpoint's id names the same port for as long as it exists.
//
// Thread rules: Acquire, Release, ID and the Is... queries may be called from
// any thread. Name, SetName, Register, Unregister, GetProperties and
// SetProperties belong to the thread that uses the endpoint (the program's
// main window thread); Name() stays valid until the next SetName.

#include "platform/app/Message.h"
#include "platform/support/SupportDefs.h"

#include <atomic>
#include <string>

class MidiKit;

class BMidiEndpoint {
public:
    BMidiEndpoint(const BMidiEndpoint&) = delete;
    BMidiEndpoint& operator=(const BMidiEndpoint&) = delete;

    const char* Name() const { return fName.c_str(); }
    // Renames the endpoint; a published producer's port follows. A remote
    // endpoint's name belongs to its program and does not change.
    void SetName(const char* name);

    int32 ID() const { return fId; }
    bool IsProducer() const { return fIsProducer; }
    bool IsConsumer() const { return !fIsProducer; }
    bool IsRemote() const { return !fIsLocal; }
    bool IsLocal() const { return fIsLocal; }
    // A local endpoint is valid while it exists; a remote one while its
    // program still offers the port.
    bool IsValid() const;

    status_t Acquire();
    status_t Release();

    // Makes a local endpoint visible in the roster and, for a producer, to
    // other programs through the MIDI service. B_NO_INIT when no service is
    // available, B_NOT_ALLOWED for remote endpoints.
    status_t Register();
    status_t Unregister();
    bool IsRegistered() const { return fRegistered; }

    // The endpoint's properties are kept here; SetProperties replaces them
    // and, for a registered producer, publishes name and icons where the
    // service can (JACK metadata). Remote endpoints have none and refuse.
    status_t GetProperties(BMessage* properties) const;
    status_t SetProperties(const BMessage* properties);

protected:
    BMidiEndpoint(const char* name, int32 id, bool isProducer, bool isLocal);
    // Only Release() deletes an endpoint.
    virtual ~BMidiEndpoint() = default;

private:
    friend class MidiKit;

    std::string fName;
    const int32 fId;
    const bool fIsProducer;
    const bool fIsLocal;
    std::atomic<bool> fRegistered{false};
    // Changed only while MidiKit's lock is held, so that a roster lookup
    // never acquires an endpoint that is being deleted.
    std::atomic<int32> fReferences{1};
    BMessage fProperties;
};
