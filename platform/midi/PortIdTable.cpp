#include "platform/midi/PortIdTable.h"

#include "platform/midi/MidiKit.h"

#include <algorithm>

int32 PortIdTable::Track(const std::string& key, const std::string& name)
{
    const auto found = std::find_if(fPorts.begin(), fPorts.end(),
                                    [&](const Port& port) { return port.key == key; });
    if (found != fPorts.end())
        return found->id;
    fPorts.push_back({MidiKit::NewEndpointId(), key, name});
    return fPorts.back().id;
}

const PortIdTable::Port* PortIdTable::Find(int32 id) const
{
    const auto found = std::find_if(fPorts.begin(), fPorts.end(),
                                    [id](const Port& port) { return port.id == id; });
    return found != fPorts.end() ? &*found : nullptr;
}

void PortIdTable::Retire(const std::string& key)
{
    std::erase_if(fPorts, [&](const Port& port) { return port.key == key; });
}

void PortIdTable::RetireByPrefix(const std::string& prefix)
{
    std::erase_if(fPorts, [&](const Port& port) { return port.key.starts_with(prefix); });
}

void PortIdTable::RetireAllBut(const std::vector<std::string>& present)
{
    std::erase_if(fPorts, [&](const Port& port) {
        return std::find(present.begin(), present.end(), port.key) == present.end();
    });
}
