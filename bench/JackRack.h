#pragma once

// A synthesizer rack for benchmarks: one JACK client with many MIDI inputs
// ("rack:in0", "rack:in1", ...), on the server JACK_DEFAULT_SERVER names.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <string>

class JackRack {
public:
    JackRack() = default;
    JackRack(const JackRack&) = delete;
    JackRack& operator=(const JackRack&) = delete;
    ~JackRack()
    {
        if (fClient != nullptr)
            jack_client_close(fClient);
    }

    // Empty on success, else what went wrong.
    std::string Open(int inputs)
    {
        fClient = jack_client_open("rack", JackNoStartServer, nullptr);
        if (fClient == nullptr)
            return "cannot open the rack's JACK client";
        for (int i = 0; i < inputs; ++i) {
            const std::string name = "in" + std::to_string(i);
            if (jack_port_register(fClient, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0)
                == nullptr)
                return "cannot register rack:" + name;
        }
        return jack_activate(fClient) == 0 ? "" : "cannot activate the rack";
    }

private:
    jack_client_t* fClient = nullptr;
};
