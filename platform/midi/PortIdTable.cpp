#include "platform/midi/PortIdTable.h"

#include "platform/midi/MidiKit.h"

#include <unordered_set>

int32 PortIdTable::Track(const std::string& key, const std::string& name)
{
    if (const auto found = fIdsByKey.find(key); found != fIdsByKey.end())
        return found->second;
    const int32 id = MidiKit::NewEndpointId();
    fPorts.emplace(id, Port { id, key, name });
    fIdsByKey.emplace(key, id);
    return id;
}

const PortIdTable::Port* PortIdTable::Find(int32 id) const
{
    const auto found = fPorts.find(id);
    return found != fPorts.end() ? &found->second : nullptr;
}

void PortIdTable::Retire(const std::string& key)
{
    if (const auto found = fIdsByKey.find(key); found != fIdsByKey.end())
        Erase(fPorts.find(found->second));
}

void PortIdTable::RetireByPrefix(const std::string& prefix)
{
    for (auto port = fPorts.begin(); port != fPorts.end();) {
        const auto next = std::next(port);
        if (port->second.key.starts_with(prefix))
            Erase(port);
        port = next;
    }
}

void PortIdTable::RetireAllBut(const std::vector<std::string>& present)
{
    const std::unordered_set<std::string> kept(present.begin(), present.end());
    for (auto port = fPorts.begin(); port != fPorts.end();) {
        const auto next = std::next(port);
        if (!kept.contains(port->second.key))
            Erase(port);
        port = next;
    }
}

void PortIdTable::Erase(std::map<int32, Port>::iterator port)
{
    fIdsByKey.erase(port->second.key);
    fPorts.erase(port);
}
