#pragma once

// A local consumer that records every message it receives, for tests and
// benchmarks of the MIDI kit.

#include "platform/midi/MidiLocalConsumer.h"

#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

struct ReceivedMessage {
    char kind = '?'; // 'C' control change, 'N' note on, 'F' note off
    uchar channel = 0;
    uchar data1 = 0;
    uchar data2 = 0;
    bigtime_t time = 0;

    bool operator==(const ReceivedMessage&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ReceivedMessage& message)
{
    return out << message.kind << "(ch " << int(message.channel) << ", " << int(message.data1)
               << ", " << int(message.data2) << ", t " << message.time << ")";
}

class RecordingConsumer : public BMidiLocalConsumer {
public:
    explicit RecordingConsumer(const char* name = "recorder", bool* destroyed = nullptr)
        : BMidiLocalConsumer(name), fDestroyed(destroyed)
    {
    }

    void ControlChange(uchar channel, uchar control, uchar value, bigtime_t time) override
    {
        Record({'C', channel, control, value, time});
    }
    void NoteOn(uchar channel, uchar note, uchar velocity, bigtime_t time) override
    {
        Record({'N', channel, note, velocity, time});
    }
    void NoteOff(uchar channel, uchar note, uchar velocity, bigtime_t time) override
    {
        Record({'F', channel, note, velocity, time});
    }

    std::vector<ReceivedMessage> Received() const
    {
        std::lock_guard lock(fLock);
        return fReceived;
    }
    std::vector<std::thread::id> Threads() const
    {
        std::lock_guard lock(fLock);
        return fThreads;
    }

protected:
    ~RecordingConsumer() override
    {
        if (fDestroyed)
            *fDestroyed = true;
    }

private:
    void Record(const ReceivedMessage& message)
    {
        std::lock_guard lock(fLock);
        fReceived.push_back(message);
        fThreads.push_back(std::this_thread::get_id());
    }

    bool* fDestroyed;
    mutable std::mutex fLock;
    std::vector<ReceivedMessage> fReceived;
    std::vector<std::thread::id> fThreads;
};
