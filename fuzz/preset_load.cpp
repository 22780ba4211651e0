// Loading a preset file from untrusted bytes: nothing may crash, a refusal
// leaves the mapping as it was and says why, and what is accepted is a
// mapping the engine can use, which saves and loads again unchanged.

#include "mapping/PresetFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fault(const char* what)
{
    std::fprintf(stderr, "preset load: %s\n", what);
    std::abort();
}

bool Usable(const PresetMapping& mapping)
{
    if (!((mapping.channel >= 0 && mapping.channel <= 15) || mapping.channel == 128))
        return false;
    for (const cfg* record :
        { &mapping.x, &mapping.y, &mapping.pressure, &mapping.red, &mapping.green, &mapping.blue }) {
        if (record->controller < 0 || record->controller > 128 || record->lorange > 127 || record->hirange > 127)
            return false;
    }
    for (const RowOutput& output : mapping.outputs)
        if (!IsValid(output))
            return false;
    return mapping.soloRow >= -1 && mapping.soloRow <= 5;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Values no load may produce, so that a refusal that touched them shows.
    const cfg untouched { 999, 999, 999, true };
    PresetMapping before { -1, untouched, untouched, untouched, untouched, untouched, untouched };
    for (RowOutput& output : before.outputs)
        output = RowOutput { OutputKind(99), -1, CurveKind(99), -1, -1, -1 };
    before.soloRow = 99;
    PresetMapping mapping = before;
    std::string why;
    if (ReadPreset(data, size, &mapping, &why) != B_OK) {
        if (!(mapping == before))
            Fault("a refused file changed the mapping");
        if (why.empty())
            Fault("a refused file gave no reason");
        return 0;
    }
    if (!Usable(mapping))
        Fault("an accepted file gave a value the engine cannot use");
    BMessage saved('bsav');
    AddMapping(&saved, mapping);
    const std::vector<char> bytes = saved.Flatten();
    PresetMapping again = before;
    if (ReadPreset(bytes.data(), bytes.size(), &again, &why) != B_OK || !(again == mapping))
        Fault("an accepted mapping does not save and load again unchanged");
    return 0;
}
