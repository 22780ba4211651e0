#pragma once

// Drives an X server from the test's side, on a connection of its own: moves
// and clicks the pointer and types keys with XTest (which, unlike an absolute
// `xdotool mousemove`, makes the raw events a real mouse makes) and paints
// the root window. Xlib stays inside the source file: its macros (None, Bool, Status)
// and its Display type clash with the test framework and the platform.

#include <string>

struct _XDisplay;

namespace relay_test {

class PointerDriver {
public:
    explicit PointerDriver(const std::string& display);
    ~PointerDriver();

    PointerDriver(const PointerDriver&) = delete;
    PointerDriver& operator=(const PointerDriver&) = delete;

    // False when the server cannot be reached or has no XTest.
    bool IsReady() const;

    // Each of these has reached the server when it returns.
    void MoveTo(int x, int y);
    void Press(unsigned int button);
    void Release(unsigned int button);
    // Presses and releases the key that types `keysym` (an X keysym such
    // as XK_Escape).
    void TypeKey(unsigned long keysym);
    // Paints the whole root window, or a rectangle of it, in `rgb`
    // (0xRRGGBB on a 24-bit screen).
    void PaintRoot(unsigned long rgb);
    void PaintRectangle(int x, int y, unsigned int width, unsigned int height, unsigned long rgb);

    // Asks a window to close, as a window manager's close button does.
    void Close(unsigned long window);
    // How many pixels of the screen rectangle are nearly white.
    int LightPixels(int x, int y, unsigned int width, unsigned int height);

    // Queues a motion without waiting for the server, for bursts; Flush()
    // waits until the server has taken all queued requests.
    void QueueMoveTo(int x, int y);
    void Flush();

private:
    _XDisplay* fDisplay;
};

} // namespace relay_test
