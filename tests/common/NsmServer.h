#pragma once

// A stand-in session manager: the server's side of the NSM protocol (API
// 1.1.2) on a loopback UDP port, with liblo as real managers use it. It
// records every message a client sends, answers the announce (or keeps
// silent, as a dead manager would), and sends the client what a manager
// sends: open, save, show and hide, from the socket the client talks to.

#include "tests/common/WaitUntil.h"

#include <lo/lo.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

class NsmServer {
public:
    // One message a client sent: its path and its arguments as text.
    struct Received {
        std::string path;
        std::string types;
        std::vector<std::string> arguments;
    };

    explicit NsmServer(bool answers = true) : fAnswers(answers)
    {
        fThread = lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr);
        if (fThread == nullptr)
            return;
        lo_server_thread_add_method(fThread, nullptr, nullptr, Record, this);
        lo_server_thread_start(fThread);
    }

    ~NsmServer()
    {
        if (fThread != nullptr)
            lo_server_thread_free(fThread);
        if (fClient != nullptr)
            lo_address_free(fClient);
    }

    bool IsRunning() const { return fThread != nullptr; }

    // Where a client finds the manager: the NSM_URL a manager sets.
    std::string Url() const
    {
        return "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(fThread)) + "/";
    }

    std::vector<Received> Messages() const
    {
        std::lock_guard lock(fLock);
        return fReceived;
    }

    // Waits for the first message at `path` after the first `from` ones;
    // its index, or -1.
    int WaitFor(const std::string& path, size_t from = 0, std::chrono::milliseconds patience = std::chrono::seconds(10)) const
    {
        int found = -1;
        WaitUntil(
            [&] {
                std::lock_guard lock(fLock);
                for (size_t index = from; index < fReceived.size(); ++index)
                    if (fReceived[index].path == path) {
                        found = int(index);
                        return true;
                    }
                return false;
            },
            patience);
        return found;
    }

    size_t Count() const
    {
        std::lock_guard lock(fLock);
        return fReceived.size();
    }

    void Open(const std::string& path, const std::string& displayName, const std::string& clientId)
    {
        Send("/nsm/client/open", { path, displayName, clientId });
    }

    // "/nsm/client/save", "/nsm/client/show_optional_gui", ...
    void Send(const std::string& path, const std::vector<std::string>& arguments = {})
    {
        lo_message message = lo_message_new();
        for (const std::string& argument : arguments)
            lo_message_add_string(message, argument.c_str());
        std::lock_guard lock(fLock);
        if (fClient != nullptr)
            lo_send_message_from(fClient, lo_server_thread_get_server(fThread), path.c_str(), message);
        lo_message_free(message);
    }

private:
    static int Record(const char* path, const char* types, lo_arg** argv, int argc, lo_message message, void* data)
    {
        auto* self = static_cast<NsmServer*>(data);
        Received received { path, types, {} };
        for (int index = 0; index < argc; ++index) {
            // Arguments are aligned to 4 bytes only: read as bytes.
            if (types[index] == 's') {
                received.arguments.emplace_back(reinterpret_cast<const char*>(argv[index]));
            } else if (types[index] == 'i') {
                int32_t value;
                std::memcpy(&value, argv[index], sizeof value);
                received.arguments.push_back(std::to_string(value));
            } else
                received.arguments.emplace_back("?");
        }
        std::lock_guard lock(self->fLock);
        if (received.path == "/nsm/server/announce") {
            lo_address source = lo_message_get_source(message);
            if (self->fClient != nullptr)
                lo_address_free(self->fClient);
            self->fClient = lo_address_new(lo_address_get_hostname(source), lo_address_get_port(source));
            if (self->fAnswers)
                lo_send_from(self->fClient, lo_server_thread_get_server(self->fThread), LO_TT_IMMEDIATE, "/reply",
                    "ssss", "/nsm/server/announce", "Welcome", "Stand-in Session Manager", ":optional-gui:");
        }
        self->fReceived.push_back(std::move(received));
        return 0;
    }

    const bool fAnswers;
    lo_server_thread fThread = nullptr;
    mutable std::mutex fLock;
    std::vector<Received> fReceived;
    // Where the client's announce came from: everything to it goes there.
    lo_address fClient = nullptr;
};
