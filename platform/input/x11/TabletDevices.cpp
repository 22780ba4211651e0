#include "platform/input/x11/TabletDevices.h"

#include <algorithm>
#include <cctype>

void TabletDevices::Reset(std::vector<Device> devices)
{
    std::vector<Entry> entries;
    for (Device& device : devices) {
        const Entry* known = Find(device.id);
        entries.push_back(Entry { device, known != nullptr ? known->pressure : 0.0f });
    }
    fEntries = std::move(entries);
}

void TabletDevices::Update(int deviceId, const unsigned char* mask, int maskLength, const double* values)
{
    auto* entry = const_cast<Entry*>(Find(deviceId));
    if (entry == nullptr || entry->device.pressureValuator < 0)
        return;
    const int wanted = entry->device.pressureValuator;
    if (wanted / 8 >= maskLength || (mask[wanted / 8] & (1 << (wanted % 8))) == 0)
        return;
    // The values are packed: the pressure's index is the number of set bits
    // below it.
    int index = 0;
    for (int valuator = 0; valuator < wanted; ++valuator) {
        if ((mask[valuator / 8] & (1 << (valuator % 8))) != 0)
            ++index;
    }
    const double range = entry->device.pressureMax - entry->device.pressureMin;
    const double normalised = range > 0 ? (values[index] - entry->device.pressureMin) / range : 0.0;
    entry->pressure = float(std::clamp(normalised, 0.0, 1.0));
}

void TabletDevices::AddFields(int deviceId, BMessage* message) const
{
    const Entry* entry = Find(deviceId);
    if (entry == nullptr)
        return;
    message->AddFloat("be:tablet_pressure", entry->pressure);
    message->AddBool("be:tablet_eraser", entry->device.eraser);
}

bool TabletDevices::IsEraserName(std::string_view name)
{
    // Drop a trailing " (0x...)" tool serial.
    const size_t serial = name.rfind(" (0x");
    if (serial != std::string_view::npos && name.ends_with(")"))
        name = name.substr(0, serial);
    constexpr std::string_view kEraser = "eraser";
    if (name.size() < kEraser.size())
        return false;
    const std::string_view tail = name.substr(name.size() - kEraser.size());
    return std::equal(tail.begin(), tail.end(), kEraser.begin(),
        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

const TabletDevices::Entry* TabletDevices::Find(int deviceId) const
{
    auto entry = std::find_if(
        fEntries.begin(), fEntries.end(), [&](const Entry& e) { return e.device.id == deviceId; });
    return entry != fEntries.end() ? &*entry : nullptr;
}
