#pragma once

// PortIdTable: kit ids for the ports of other programs. A service names each
// port by a key of its own (a JACK port name, an ALSA address with names);
// the table gives each key a fresh kit id the first time it is seen and
// keeps it while the port exists. Once a port is retired its id is never
// handed out again, so a stale id can never reach a port that came later,
// even one with the same name.
//
// Every operation but retiring by prefix takes time independent of the number
// of ports (amortised), so listing a studio's hundreds of ports stays linear.
//
// Thread rules: none of its own; the owning service guards it.

#include "platform/support/SupportDefs.h"

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

class PortIdTable {
public:
    struct Port {
        int32 id = 0;
        std::string key;
        std::string name;
    };

    // The id of the port `key`, tracking it under `name` if it is new.
    int32 Track(const std::string& key, const std::string& name);
    // The port an id names, or nullptr when the id is unknown or retired.
    const Port* Find(int32 id) const;
    // Forgets a port that has gone. Unknown keys are ignored.
    void Retire(const std::string& key);
    // Forgets every port whose key starts with `prefix` (an ALSA client).
    void RetireByPrefix(const std::string& prefix);
    // Forgets every port not among `present` (the ports listed just now).
    void RetireAllBut(const std::vector<std::string>& present);

private:
    void Erase(std::map<int32, Port>::iterator port);

    std::map<int32, Port> fPorts; // by id
    std::unordered_map<std::string, int32> fIdsByKey;
};
