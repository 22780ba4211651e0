#include "tests/integration/relay_pointer_driver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace relay_test {

PointerDriver::PointerDriver(const std::string& display)
    : fDisplay(XOpenDisplay(display.c_str()))
{
}

PointerDriver::~PointerDriver()
{
    if (fDisplay != nullptr)
        XCloseDisplay(fDisplay);
}

bool PointerDriver::IsReady() const
{
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return fDisplay != nullptr && XTestQueryExtension(fDisplay, &event, &error, &major, &minor);
}

void PointerDriver::MoveTo(int x, int y)
{
    QueueMoveTo(x, y);
    Flush();
}

void PointerDriver::Press(unsigned int button)
{
    XTestFakeButtonEvent(fDisplay, button, True, CurrentTime);
    Flush();
}

void PointerDriver::Release(unsigned int button)
{
    XTestFakeButtonEvent(fDisplay, button, False, CurrentTime);
    Flush();
}

void PointerDriver::TypeKey(unsigned long keysym)
{
    const KeyCode key = XKeysymToKeycode(fDisplay, keysym);
    XTestFakeKeyEvent(fDisplay, key, True, CurrentTime);
    XTestFakeKeyEvent(fDisplay, key, False, CurrentTime);
    Flush();
}

void PointerDriver::PaintRoot(unsigned long rgb)
{
    const Window root = DefaultRootWindow(fDisplay);
    XSetWindowBackground(fDisplay, root, rgb);
    XClearWindow(fDisplay, root);
    Flush();
}

void PointerDriver::PaintRectangle(int x, int y, unsigned int width, unsigned int height, unsigned long rgb)
{
    const Window root = DefaultRootWindow(fDisplay);
    GC gc = XCreateGC(fDisplay, root, 0, nullptr);
    XSetForeground(fDisplay, gc, rgb);
    XFillRectangle(fDisplay, root, gc, x, y, width, height);
    XFreeGC(fDisplay, gc);
    Flush();
}

void PointerDriver::Close(unsigned long window)
{
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(fDisplay, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(fDisplay, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(fDisplay, window, False, NoEventMask, &event);
    Flush();
}

int PointerDriver::LightPixels(int x, int y, unsigned int width, unsigned int height)
{
    XImage* image = XGetImage(fDisplay, DefaultRootWindow(fDisplay), x, y, width, height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return 0;
    int light = 0;
    for (unsigned int row = 0; row < height; ++row)
        for (unsigned int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, int(column), int(row));
            light += (pixel >> 16 & 0xff) > 200 && (pixel >> 8 & 0xff) > 200 && (pixel & 0xff) > 200;
        }
    XDestroyImage(image);
    return light;
}

void PointerDriver::QueueMoveTo(int x, int y)
{
    XTestFakeMotionEvent(fDisplay, 0, x, y, CurrentTime);
}

void PointerDriver::Flush()
{
    XSync(fDisplay, False);
}

} // namespace relay_test
