// zimbrel_floor: the least a program can do to turn pointer motions into
// Control Changes, to measure zimbrel against. One thread waits for XInput 2
// raw motions on the root window; per batch of pending events it asks the
// pointer where it is (XIQueryPointer), reads the pixel under it (a 1 x 1
// XGetImage) and writes the Horizontal value as Control Change 7 on channel 1
// into a lock-free ring that its JACK process callback empties. No toolkit,
// no messages, no second thread of its own.
//
//   zimbrel_floor CONSUMER_PORT
//
// connects its output "zimbrel-floor:out" to CONSUMER_PORT and runs until
// SIGTERM or SIGINT. It prints "ready" on standard output once connected.

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/signalfd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>

namespace {

struct Record {
    unsigned char bytes[3];
};

jack_port_t* gOutput = nullptr;
jack_ringbuffer_t* gRing = nullptr;

int Process(jack_nframes_t frames, void*)
{
    void* buffer = jack_port_get_buffer(gOutput, frames);
    jack_midi_clear_buffer(buffer);
    Record record;
    while (jack_ringbuffer_read_space(gRing) >= sizeof record) {
        jack_ringbuffer_read(gRing, reinterpret_cast<char*>(&record), sizeof record);
        jack_midi_event_write(buffer, 0, record.bytes, sizeof record.bytes);
    }
    return 0;
}

bool SelectRawMotion(Display* display)
{
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)
        || XIQueryVersion(display, &major, &minor) != Success)
        return false;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask { XIAllMasterDevices, int(sizeof bits), bits };
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
    return true;
}

// Takes every pending event; the master pointer of the last raw motion, or
// 0 when none came.
int DrainEvents(Display* display)
{
    int master = 0;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == GenericEvent && XGetEventData(display, &event.xcookie)) {
            if (event.xcookie.evtype == XI_RawMotion)
                master = static_cast<XIRawEvent*>(event.xcookie.data)->deviceid;
            XFreeEventData(display, &event.xcookie);
        }
    }
    return master;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zimbrel_floor CONSUMER_PORT\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || !SelectRawMotion(display)) {
        std::fprintf(stderr, "zimbrel_floor: no X server with XInput 2.2\n");
        return 1;
    }
    jack_client_t* client = jack_client_open("zimbrel-floor", JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "zimbrel_floor: no JACK server\n");
        return 1;
    }
    gOutput = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    gRing = jack_ringbuffer_create(4096 * sizeof(Record));
    jack_ringbuffer_mlock(gRing);
    jack_set_process_callback(client, Process, nullptr);
    if (gOutput == nullptr || jack_activate(client) != 0
        || jack_connect(client, jack_port_name(gOutput), argv[1]) != 0) {
        std::fprintf(stderr, "zimbrel_floor: cannot connect to %s\n", argv[1]);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    pollfd watched[2] = { { ConnectionNumber(display), POLLIN, 0 }, { signalfd(-1, &stop, 0), POLLIN, 0 } };
    const Window root = DefaultRootWindow(display);
    const int width = DisplayWidth(display, DefaultScreen(display));
    unsigned long pixelSum = 0;
    while ((watched[1].revents & POLLIN) == 0) {
        const int master = DrainEvents(display);
        if (master != 0) {
            Window rootReturn = 0;
            Window child = 0;
            double x = 0;
            double y = 0;
            double windowX = 0;
            double windowY = 0;
            XIButtonState buttons {};
            XIModifierState modifiers {};
            XIGroupState group {};
            XIQueryPointer(display, master, root, &rootReturn, &child, &x, &y, &windowX, &windowY, &buttons,
                &modifiers, &group);
            XFree(buttons.mask);
            if (XImage* image = XGetImage(display, root, int(x), int(y), 1, 1, AllPlanes, ZPixmap)) {
                pixelSum += XGetPixel(image, 0, 0);
                XDestroyImage(image);
            }
            const Record record { { 0xb0, 7, (unsigned char)(int(x) * 127 / (width - 1)) } };
            if (jack_ringbuffer_write_space(gRing) >= sizeof record)
                jack_ringbuffer_write(gRing, reinterpret_cast<const char*>(&record), sizeof record);
            continue;
        }
        poll(watched, 2, -1);
    }
    jack_client_close(client);
    XCloseDisplay(display);
    // The pixels were read to do the work a real program does; say so, so
    // that the reads cannot be left out.
    std::printf("pixel sum %lu\n", pixelSum);
    return 0;
}
