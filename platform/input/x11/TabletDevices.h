#pragma once

// The tablet tools among the X server's input devices: which ones have a
// pressure axis (and its range, which differs between drivers: 0..65536 for
// wacom, 0..2047 for libinput), which one is an eraser, and the last pressure
// each reported. Raw events carry only the valuators that changed, so the
// last pressure is kept per device.
//
// The table is fed plain values, so it works (and is tested) without a
// server; X11EventReader reads the devices and the events.
//
// Thread rules: used by one thread (the reader's).

#include "platform/app/Message.h"

#include <string_view>
#include <vector>

class TabletDevices {
public:
    struct Device {
        int id = 0;
        // The valuator number of the pressure axis; -1 when there is none.
        int pressureValuator = -1;
        double pressureMin = 0.0;
        double pressureMax = 0.0;
        bool eraser = false;
    };

    // Replaces the table (after the device hierarchy changed). Devices that
    // stay keep their last pressure.
    void Reset(std::vector<Device> devices);

    // Takes the valuators of a raw event from `deviceId`: `mask` holds
    // `maskLength` bytes with bit n set for valuator n, and `values` one
    // value for each set bit, in valuator order.
    void Update(int deviceId, const unsigned char* mask, int maskLength, const double* values);

    // Adds "be:tablet_pressure" (0.0..1.0) and "be:tablet_eraser" to
    // `message` when `deviceId` is a tablet tool; plain mice add nothing.
    void AddFields(int deviceId, BMessage* message) const;

    // Whether a device's name marks it as an eraser, for drivers that do not
    // give the eraser its XI1 type: "... eraser" or "... Eraser (0x1234)".
    static bool IsEraserName(std::string_view name);

private:
    struct Entry {
        Device device;
        float pressure = 0.0f;
    };

    const Entry* Find(int deviceId) const;

    std::vector<Entry> fEntries;
};
