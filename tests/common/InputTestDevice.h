#pragma once

// The test's side of one device of X.Org's inputtest input driver (see
// XorgServer.h): it connects to the device's socket, agrees on the protocol
// version and sends proximity, motion and button events with absolute
// positions and pressure. Each call returns once the server has processed
// the event (the driver's WAIT_FOR_SYNC), so what a test checks next sees
// its effect. The driver takes one connection for its whole life: keep the
// object for the whole test.

#include "tests/common/WaitUntil.h"

#include <xorg/xf86-input-inputtest-protocol.h>

#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

class InputTestDevice {
public:
    // The device's axes: "Abs X" and "Abs Y" span the screen with 0..65535,
    // "Abs Pressure" is axis 4 with 0..1000.
    static constexpr int kPressureAxis = 4;
    static constexpr double kPressureMax = 1000.0;

    // `width` and `height` are the screen's, to turn pixels into axis values.
    InputTestDevice(const std::string& socketPath, int width, int height)
        : fWidth(width)
        , fHeight(height)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (socketPath.size() >= sizeof address.sun_path) {
            fError = "socket path too long: " + socketPath;
            return;
        }
        std::strcpy(address.sun_path, socketPath.c_str());
        // The driver makes its socket as the server enables the device.
        const bool connected = WaitUntil(
            [&] {
                if (fSocket < 0)
                    fSocket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (connect(fSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
                    return true;
                close(fSocket);
                fSocket = -1;
                return false;
            },
            std::chrono::seconds(10));
        if (!connected) {
            fError = "cannot connect to the inputtest socket " + socketPath;
            return;
        }
        // A server that stopped answering fails the call instead of hanging it.
        const timeval timeout { 10, 0 };
        setsockopt(fSocket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        xf86ITEventClientVersion version {};
        version.header = { sizeof version, XF86IT_EVENT_CLIENT_VERSION };
        version.major = XF86IT_PROTOCOL_VERSION_MAJOR;
        version.minor = XF86IT_PROTOCOL_VERSION_MINOR;
        xf86ITResponseServerVersion answer {};
        if (!Send(&version, sizeof version) || !Receive(&answer, sizeof answer)
            || answer.header.type != XF86IT_RESPONSE_SERVER_VERSION)
            fError = "the inputtest driver at " + socketPath + " did not answer the version handshake";
    }

    ~InputTestDevice()
    {
        if (fSocket >= 0)
            close(fSocket);
    }

    InputTestDevice(const InputTestDevice&) = delete;
    InputTestDevice& operator=(const InputTestDevice&) = delete;

    bool IsReady() const { return fError.empty(); }
    const std::string& Error() const { return fError; }

    // The tool comes near the tablet at screen pixel (x, y), or leaves it.
    bool Proximity(bool in, int x, int y, double pressure)
    {
        xf86ITEventProximity event {};
        event.header = { sizeof event, XF86IT_EVENT_PROXIMITY };
        event.is_prox_in = in;
        Fill(event.valuators, x, y, pressure);
        return Send(&event, sizeof event) && Sync();
    }

    // Moves the tool to screen pixel (x, y) with `pressure` (0.0..1.0).
    bool MoveTo(int x, int y, double pressure)
    {
        xf86ITEventMotion event {};
        event.header = { sizeof event, XF86IT_EVENT_MOTION };
        event.is_absolute = 1;
        Fill(event.valuators, x, y, pressure);
        return Send(&event, sizeof event) && Sync();
    }

    // Presses or releases `button` (1: the tip) at screen pixel (x, y).
    bool Button(int button, bool press, int x, int y, double pressure)
    {
        xf86ITEventButton event {};
        event.header = { sizeof event, XF86IT_EVENT_BUTTON };
        event.is_absolute = 1;
        event.button = button;
        event.is_press = press;
        Fill(event.valuators, x, y, pressure);
        return Send(&event, sizeof event) && Sync();
    }

private:
    // The axis value whose pixel is `pixel`: the server maps 0..65535 onto
    // the screen's pixels as 0..extent, so the middle of the pixel is aimed at.
    static double Axis(int pixel, int extent) { return (pixel + 0.5) * 65536.0 / extent; }

    void Fill(xf86ITValuatorData& valuators, int x, int y, double pressure) const
    {
        const auto set = [&](int axis, double value) {
            valuators.mask[axis / 8] |= uint8_t(1u << (axis % 8));
            valuators.valuators[axis] = value;
        };
        set(0, Axis(x, fWidth));
        set(1, Axis(y, fHeight));
        set(kPressureAxis, pressure * kPressureMax);
    }

    // Waits until the server has processed everything sent so far.
    bool Sync()
    {
        xf86ITEventWaitForSync sync {};
        sync.header = { sizeof sync, XF86IT_EVENT_WAIT_FOR_SYNC };
        xf86ITResponseSyncFinished finished {};
        return Send(&sync, sizeof sync) && Receive(&finished, sizeof finished)
            && finished.header.type == XF86IT_RESPONSE_SYNC_FINISHED;
    }

    bool Send(const void* data, size_t size)
    {
        const char* bytes = static_cast<const char*>(data);
        while (fSocket >= 0 && size > 0) {
            const ssize_t sent = send(fSocket, bytes, size, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            bytes += sent;
            size -= size_t(sent);
        }
        return size == 0;
    }

    bool Receive(void* data, size_t size)
    {
        char* bytes = static_cast<char*>(data);
        while (fSocket >= 0 && size > 0) {
            const ssize_t got = recv(fSocket, bytes, size, 0);
            if (got <= 0)
                return false;
            bytes += got;
            size -= size_t(got);
        }
        return size == 0;
    }

    int fWidth;
    int fHeight;
    int fSocket = -1;
    std::string fError;
};
