#pragma once

// BMidiProducer: an endpoint that sends. Every producer is local (made by this
// process); consumers may be local or offered by other programs.
//
// Thread rules: Connect, Disconnect and IsConnected may be called from any
// thread but a real-time one; they ask the real graph each time, so a
// connection made by another tool (jack_connect, aconnect, a patchbay) reads
// as connected. Errors go to standard error as one line each.

#include "platform/midi/MidiEndpoint.h"

class BMidiConsumer;

class BMidiProducer : public BMidiEndpoint {
public:
    // B_OK when connected afterwards (already being connected included).
    // A remote consumer needs this producer to be registered (B_NO_INIT).
    status_t Connect(BMidiConsumer* consumer);
    // B_OK when no longer connected afterwards; B_ERROR when the service
    // could not break the link.
    status_t Disconnect(BMidiConsumer* consumer);
    bool IsConnected(BMidiConsumer* consumer) const;

protected:
    BMidiProducer(const char* name, int32 id);

    // Runs after Connect or Disconnect changed the graph, on the calling
    // thread.
    virtual void ConnectionChanged(BMidiConsumer* consumer, bool connected) = 0;

private:
    friend class MidiKit;
};
