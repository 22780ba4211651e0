#include "platform/input/x11/X11EventReader.h"

#include "platform/support/ThreadName.h"
#include "platform/support/XServerLoss.h"

#include "platform/app/HostedSource.h"
#include "platform/input/x11/X11Connection.h"

#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The wake pipe stops the thread at once; the timeout only bounds how long a
// lost wake-up could keep it.
constexpr int kPollTimeoutMs = 500;

// The most raw events one batch takes before the pointer is asked where it is.
constexpr int kMaxBatch = 8192;

bigtime_t MonotonicMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// The reader as a host's looper sees it. The reader outlives every Read
// (it stops the hosting before it goes); HostClosed may come from the
// host's thread while the reader is going, so it is cut off first.
class X11EventReader::Hosting final : public HostedSource {
public:
    Hosting(X11EventReader& reader, int descriptor) : fReader(reader), fDescriptor(descriptor) { }

    int Descriptor() const override { return fDescriptor; }
    bool Read() override { return fReader.ReadAvailable(); }

    void HostClosed() override
    {
        std::lock_guard lock(fLock);
        if (fAttached)
            fReader.HostClosed(this);
    }

    void Detach()
    {
        std::lock_guard lock(fLock);
        fAttached = false;
    }

private:
    X11EventReader& fReader;
    const int fDescriptor;
    std::mutex fLock;
    bool fAttached = true;
};

X11EventReader::X11EventReader(
    const char* displayName, PointerBroadcaster& pointer, ScreenChangeBroadcaster& screenChanges)
    : fPointer(pointer)
    , fScreenChanges(screenChanges)
    , fConnection(std::make_unique<X11Connection>(displayName))
{
    if (!fConnection->IsOpen()) {
        std::fprintf(stderr,
            "zimbrel: cannot connect to the X server at DISPLAY=%s for pointer events: "
            "no pointer capture\n",
            displayName);
        return;
    }
    fReadsPointer = SelectPointerEvents();
    SelectScreenChanges();

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("zimbrel: cannot make the pointer reader's wake pipe");
        fReadsPointer = false;
        return;
    }
    fWakeRead = wake[0];
    fWakeWrite = wake[1];
    {
        std::lock_guard lock(fPlaceLock);
        StartOwnThread();
    }
    // Outside fPlaceLock: an offer runs under the broadcaster's lock and
    // takes fPlaceLock, so that is the only order the two are taken in.
    fPointer.SetHostOffer([this](const BMessenger& listener) { MoveOnto(listener); });
}

X11EventReader::~X11EventReader()
{
    if (fWakeRead < 0)
        return;
    fPointer.SetHostOffer(nullptr);
    std::shared_ptr<Hosting> hosting;
    {
        std::lock_guard lock(fPlaceLock);
        hosting = fHosting;
    }
    if (hosting != nullptr)
        hosting->Detach();
    {
        std::lock_guard lock(fPlaceLock);
        if (fHosting != nullptr)
            fHost.StopHosting(fHosting.get());
        StopOwnThread();
    }
    close(fWakeRead);
    close(fWakeWrite);
}

void X11EventReader::StartOwnThread()
{
    char drained[16];
    while (read(fWakeRead, drained, sizeof drained) > 0) {
    }
    fStop = false;
    fThread = std::thread(&X11EventReader::ThreadMain, this);
}

void X11EventReader::StopOwnThread()
{
    if (!fThread.joinable())
        return;
    fStop = true;
    const char wake = 0;
    [[maybe_unused]] const ssize_t written = write(fWakeWrite, &wake, 1);
    fThread.join();
}

void X11EventReader::MoveOnto(const BMessenger& listener)
{
    std::lock_guard lock(fPlaceLock);
    if (fHosting != nullptr || !fThread.joinable())
        return;
    StopOwnThread();
    // The thread ends by itself when the connection is lost.
    if (fConnection->IsLost())
        return;
    auto hosting = std::make_shared<Hosting>(*this, ConnectionNumber(fConnection->Get()));
    if (listener.Host(hosting)) {
        fHosting = std::move(hosting);
        fHost = listener;
        return;
    }
    StartOwnThread();
}

void X11EventReader::HostClosed(const Hosting* hosting)
{
    std::lock_guard lock(fPlaceLock);
    if (fHosting.get() != hosting)
        return;
    fHosting.reset();
    fHost = BMessenger();
    if (!fConnection->IsLost())
        StartOwnThread();
}

bool X11EventReader::SelectPointerEvents()
{
    Display* display = fConnection->Get();
    int firstEvent = 0;
    int firstError = 0;
    if (!XQueryExtension(display, "XInputExtension", &fInputOpcode, &firstEvent, &firstError)) {
        std::fputs("zimbrel: the X server has no XInput extension: no pointer capture\n", stderr);
        return false;
    }
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2)) {
        std::fprintf(
            stderr, "zimbrel: the X server offers XInput %d.%d, not 2.2: no pointer capture\n", major, minor);
        return false;
    }

    unsigned char rawMask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(rawMask, XI_RawMotion);
    XISetMask(rawMask, XI_RawButtonPress);
    XISetMask(rawMask, XI_RawButtonRelease);
    unsigned char hierarchyMask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(hierarchyMask, XI_HierarchyChanged);
    XIEventMask masks[2] = {
        { XIAllMasterDevices, int(sizeof rawMask), rawMask },
        { XIAllDevices, int(sizeof hierarchyMask), hierarchyMask },
    };
    const uint64 errorsBefore = fConnection->ErrorCount();
    XISelectEvents(display, fConnection->Root(), masks, 2);
    XSync(display, False);
    if (fConnection->ErrorCount() != errorsBefore) {
        std::fputs("zimbrel: the X server refused raw pointer events: no pointer capture\n", stderr);
        return false;
    }
    ReadDevices();
    return true;
}

void X11EventReader::SelectScreenChanges()
{
    int firstEvent = 0;
    int firstError = 0;
    if (!XRRQueryExtension(fConnection->Get(), &firstEvent, &firstError))
        return;
    fRandREventBase = firstEvent;
    XRRSelectInput(fConnection->Get(), fConnection->Root(), RRScreenChangeNotifyMask);
}

void X11EventReader::ReadDevices()
{
    Display* display = fConnection->Get();
    const Atom pressureLabel = XInternAtom(display, "Abs Pressure", True);
    const Atom eraserType = XInternAtom(display, "ERASER", True);

    std::vector<TabletDevices::Device> devices;
    std::vector<PointerBroadcaster::Device> named;
    int count = 0;
    XIDeviceInfo* info = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        if (info[i].use != XISlavePointer && info[i].use != XIFloatingSlave)
            continue;
        named.push_back({ info[i].deviceid, info[i].name });
        TabletDevices::Device device;
        device.id = info[i].deviceid;
        device.eraser = TabletDevices::IsEraserName(info[i].name);
        for (int c = 0; c < info[i].num_classes; ++c) {
            if (info[i].classes[c]->type != XIValuatorClass)
                continue;
            const auto* valuator = reinterpret_cast<const XIValuatorClassInfo*>(info[i].classes[c]);
            if (pressureLabel != None && valuator->label == pressureLabel) {
                device.pressureValuator = valuator->number;
                device.pressureMin = valuator->min;
                device.pressureMax = valuator->max;
            }
        }
        devices.push_back(device);
    }
    if (info != nullptr)
        XIFreeDeviceInfo(info);

    // Both tablet drivers give the eraser its own device of XI1 type ERASER.
    if (eraserType != None) {
        XDeviceInfo* list = XListInputDevices(display, &count);
        for (int i = 0; i < count; ++i) {
            if (list[i].type != eraserType)
                continue;
            for (TabletDevices::Device& device : devices) {
                if (device.id == int(list[i].id))
                    device.eraser = true;
            }
        }
        if (list != nullptr)
            XFreeDeviceList(list);
    }

    std::erase_if(
        devices, [](const TabletDevices::Device& d) { return d.pressureValuator < 0 && !d.eraser; });
    fTablets.Reset(std::move(devices));
    fPointer.SetDevices(std::move(named));
}

void X11EventReader::ThreadMain()
{
    NameCurrentThread("pointer-input");
    Display* display = fConnection->Get();
    pollfd watched[2] = { { ConnectionNumber(display), POLLIN, 0 }, { fWakeRead, POLLIN, 0 } };
    while (!fStop.load()) {
        if (!ReadAvailable())
            return;
        if (poll(watched, 2, kPollTimeoutMs) < 0 && errno != EINTR) {
            std::perror("zimbrel: pointer reader cannot wait for the X server");
            return;
        }
    }
}

bool X11EventReader::ReadAvailable()
{
    Display* display = fConnection->Get();
    for (;;) {
        // XPending also reads what the socket holds, so events that arrived
        // together with a reply are not left waiting for the next poll.
        const int queued = XPending(display);
        if (fConnection->IsLost()) {
            if (ClaimXServerLossReport())
                std::fputs("zimbrel: lost the connection to the X server: pointer capture has stopped\n", stderr);
            return false;
        }
        if (queued == 0)
            return true;
        ReadBatch(queued);
    }
}

void X11EventReader::ReadBatch(int count)
{
    Display* display = fConnection->Get();
    // A batch takes everything the socket already holds, not just what the
    // first read brought in: each batch costs a round trip for the pointer's
    // position, and a burst of motions would otherwise pay one per read.
    // The cap keeps the position fresh under an endless stream.
    int taken = 0;
    while (count > 0 && taken < kMaxBatch && !fConnection->IsLost()) {
        for (int i = 0; i < count && !fConnection->IsLost(); ++i, ++taken) {
            XEvent event;
            XNextEvent(display, &event);
            HandleEvent(event);
        }
        count = XEventsQueued(display, QueuedAfterReading);
    }
    if (fConnection->IsLost())
        return;
    if (!fBatch.IsEmpty())
        FinishPointerBatch();
}

void X11EventReader::HandleEvent(XEvent& event)
{
    Display* display = fConnection->Get();
    if (event.type == GenericEvent && event.xcookie.extension == fInputOpcode
        && XGetEventData(display, &event.xcookie)) {
        const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
        switch (event.xcookie.evtype) {
        case XI_RawMotion:
        case XI_RawButtonPress:
        case XI_RawButtonRelease: {
            const RawPointerEvents::Kind kind = event.xcookie.evtype == XI_RawMotion
                ? RawPointerEvents::Kind::Motion
                : event.xcookie.evtype == XI_RawButtonPress ? RawPointerEvents::Kind::Press
                                                            : RawPointerEvents::Kind::Release;
            // Servers before XInput 2.2 left the source at zero.
            const int source = raw->sourceid != 0 ? raw->sourceid : raw->deviceid;
            fTablets.Update(source, raw->valuators.mask, raw->valuators.mask_len, raw->valuators.values);
            fBatch.Add(kind, raw->detail, source);
            fMasterPointer = raw->deviceid;
            break;
        }
        case XI_HierarchyChanged:
            // A tablet tool came or went (libinput adds the eraser on its
            // first approach).
            ReadDevices();
            break;
        default: break;
        }
        XFreeEventData(display, &event.xcookie);
        return;
    }
    if (fRandREventBase >= 0 && event.type == fRandREventBase + RRScreenChangeNotify) {
        // Pointer events from before the change go out first, so that
        // listeners measure each position against the screen it was on.
        if (!fBatch.IsEmpty())
            FinishPointerBatch();
        XRRUpdateConfiguration(&event);
        BroadcastScreenFrame();
    }
}

void X11EventReader::FinishPointerBatch()
{
    Window root = 0;
    Window child = 0;
    double rootX = 0;
    double rootY = 0;
    double windowX = 0;
    double windowY = 0;
    XIButtonState buttons {};
    XIModifierState modifiers {};
    XIGroupState group {};
    const Bool found = XIQueryPointer(fConnection->Get(), fMasterPointer, fConnection->Root(), &root, &child,
        &rootX, &rootY, &windowX, &windowY, &buttons, &modifiers, &group);
    int32 mask = 0;
    for (int button = 1; button <= 31 && button < buttons.mask_len * 8; ++button) {
        if (XIMaskIsSet(buttons.mask, button))
            mask |= RawPointerEvents::ButtonBit(button);
    }
    if (buttons.mask != nullptr)
        XFree(buttons.mask);
    if (!found) {
        fBatch.Discard();
        return;
    }
    // Listeners get whole pixels, as the screen is read in whole pixels.
    const BPoint where(float(std::floor(rootX)), float(std::floor(rootY)));
    for (const BMessage& message : fBatch.Finish(where, mask, fTablets, MonotonicMicroseconds()))
        fPointer.Broadcast(message);
}

void X11EventReader::BroadcastScreenFrame()
{
    const BRect frame = fConnection->RootFrame();
    if (frame.IsValid())
        fScreenChanges.Broadcast(frame, B_RGB32);
}
