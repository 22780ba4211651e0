#pragma once

// A source of events that a looper reads on its own thread while it waits
// for messages: the looper watches the source's descriptor beside its queue
// and calls Read() when the descriptor is readable. Events that all go to
// one looper (the X server's pointer events to the cursor relay) are then
// read where they are handled, and a batch of them wakes one thread once
// instead of a reading thread and the looper each.
//
// Thread rules: Read() runs on the hosting looper's thread, one call at a
// time. HostClosed() runs once, on the thread that closed the host's queue,
// after the last Read(); the source then has to be read elsewhere.
class HostedSource {
public:
    virtual ~HostedSource() = default;

    virtual int Descriptor() const = 0;
    // Reads what the descriptor holds; false when the source has ended for
    // good, and then it is no longer watched.
    virtual bool Read() = 0;
    virtual void HostClosed() = 0;
};
