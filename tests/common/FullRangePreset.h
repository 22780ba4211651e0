#pragma once

// A preset for tests and benchmarks that play the pointer: channel 1,
// Horizontal on controller 7, Vertical on 8, Red, Green and Blue on 20, 21
// and 22, each over the full range, Pressure off.

#include "mapping/PresetFile.h"

#include <filesystem>
#include <string>

// Saves the preset as `name` in `folder`; 0 or an errno value.
inline int WriteFullRangePreset(const std::string& folder, const std::string& name)
{
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    PresetMapping mapping {};
    mapping.channel = 0;
    mapping.pressure = cfg { 128, 127, 0, false };
    mapping.x = cfg { 7, 127, 0, true };
    mapping.y = cfg { 8, 127, 0, true };
    mapping.red = cfg { 20, 127, 0, true };
    mapping.green = cfg { 21, 127, 0, true };
    mapping.blue = cfg { 22, 127, 0, true };
    BMessage preset('bsav');
    AddMapping(&preset, mapping);
    return WritePreset((folder + "/" + name).c_str(), preset);
}
