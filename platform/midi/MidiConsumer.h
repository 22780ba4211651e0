#pragma once

// BMidiConsumer: an endpoint that receives. The roster lists consumers of
// other programs as remote BMidiConsumer objects; each such object is a handle
// on a port that the other program may close at any time (IsValid() then
// turns false and connecting to it fails harmlessly).
//
// Thread rules: as BMidiEndpoint.

#include "platform/midi/MidiEndpoint.h"

class BMidiConsumer : public BMidiEndpoint {
protected:
    BMidiConsumer(const char* name, int32 id, bool isLocal);

private:
    friend class MidiKit;
};
