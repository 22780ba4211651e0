#pragma once

// The server the JACK tests run against: PipeWire when
// ZIMBREL_TEST_JACK_SERVER is "pipewire" (set by the PipeWire runs, which
// also start the test under pw-jack), else jackd with the dummy driver.

#include "tests/common/DummyJackServer.h"
#include "tests/common/PipeWireServer.h"

#include <cstdlib>
#include <memory>
#include <string>

inline std::unique_ptr<JackTestServer> ChooseJackTestServer()
{
    const char* choice = std::getenv("ZIMBREL_TEST_JACK_SERVER");
    if (choice && std::string(choice) == "pipewire")
        return std::make_unique<PipeWireServer>();
    return std::make_unique<DummyJackServer>();
}
