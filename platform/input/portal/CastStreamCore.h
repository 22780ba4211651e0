#pragma once

// What one screen-cast stream tells about the desktop: where the pointer is
// and the last picture of the stream's part of the desktop. The stream's
// thread hands it each buffer; any thread reads pixels.
//
// Buffers are reused by the stream, so a picture is copied as it arrives; a
// buffer without picture data (a cursor update) copies nothing, and a cursor
// that has not moved yields nothing.
//
// Thread rules: SetFormat, Take and End on the stream's thread only; Frame
// and ReadPixels from any thread. The two sides share only the last
// picture, handed over as a whole under a lock that no side holds for
// longer than one copy out of it.

#include "platform/input/portal/CastBuffer.h"
#include "platform/support/Point.h"
#include "platform/support/Rect.h"

#include <mutex>
#include <optional>
#include <vector>

class CastStreamCore {
public:
    // `place`: the stream's top-left corner on the desktop.
    explicit CastStreamCore(BPoint place);

    // The format the stream agreed on. A picture of another size or layout
    // is no longer valid, so it is dropped.
    void SetFormat(CastPixelFormat format, int32 width, int32 height);
    // Takes one buffer; returns the pointer's position on the desktop when
    // the buffer moved it there. A picture whose size or stride does not
    // fit the format is refused (false in `pictureRefused`) and the last
    // good one kept.
    std::optional<BPoint> Take(const CastBuffer& buffer, bool* pictureRefused = nullptr);
    // The stream has ended: no picture and no frame any more.
    void End();

    // The stream's part of the desktop, inclusive; invalid before a format
    // and after the end.
    BRect Frame() const;
    // As ScreenSource::ReadPixels, for an area inside Frame(), in desktop
    // coordinates. B_NO_INIT before the first picture and after the end.
    status_t ReadPixels(int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow) const;

private:
    struct Picture {
        CastPixelFormat format = CastPixelFormat::BGRx;
        int32 width = 0;
        int32 height = 0;
        // Rows packed, width * 4 bytes each.
        std::vector<uint8> bytes;
    };

    bool CopyPicture(const CastBuffer& buffer);

    const BPoint fPlace;

    // The stream's thread only.
    CastPixelFormat fFormat = CastPixelFormat::BGRx;
    int32 fWidth = 0;
    int32 fHeight = 0;
    std::optional<BPoint> fLastCursor;
    Picture fBack;

    mutable std::mutex fLock;
    Picture fFront;
    BRect fFrame;
};
